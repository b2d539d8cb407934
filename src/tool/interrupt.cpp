#include "tool/interrupt.h"

#include <ctime>

namespace pagewend::tool {

InterruptWatch::InterruptWatch() {
  sigemptyset(&signals_);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the caller ignores (nohup, a script's background job) stays ignored.
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
      sigaddset(&signals_, signal);
  }
  pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
  watcher_ = std::jthread([this](std::stop_token stop) {
    while (!stop.stop_requested()) {
      const timespec wait{0, 50'000'000};
      const int caught = sigtimedwait(&signals_, nullptr, &wait);
      if (caught <= 0) continue;
      int none = 0;
      signal_.compare_exchange_strong(none, caught);
      const std::lock_guard lock(mutex_);
      if (handler_) handler_(caught);
    }
  });
}

InterruptWatch::~InterruptWatch() {
  watcher_.request_stop();
  watcher_.join();
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptWatch::OnInterrupt(std::function<void(int)> handler) {
  const std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
  if (const int caught = signal_.load(); caught != 0 && handler_) handler_(caught);
}

}  // namespace pagewend::tool
