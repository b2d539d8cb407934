#include "tool/interrupt.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace pagewend::tool {

InterruptWatch::InterruptWatch() {
  sigemptyset(&signals_);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the caller ignores (nohup, a script's background job) stays ignored.
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
      sigaddset(&signals_, signal);
  }
  caught_ = UniqueFd(::signalfd(-1, &signals_, SFD_CLOEXEC));
  ending_ = UniqueFd(::eventfd(0, EFD_CLOEXEC));
  if (!caught_.Valid() || !ending_.Valid())
    throw std::system_error(errno, std::generic_category(), "cannot watch for interrupts");
  pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
  // Waits on both without a timeout: the command's end is not held up by a poll's interval.
  watcher_ = std::jthread([this] {
    pollfd watched[2] = {{caught_.Get(), POLLIN, 0}, {ending_.Get(), POLLIN, 0}};
    for (;;) {
      if (::poll(watched, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (watched[1].revents != 0) return;
      signalfd_siginfo info{};
      const ssize_t got = ::read(caught_.Get(), &info, sizeof info);
      if (got < 0 && errno != EINTR && errno != EAGAIN) return;
      if (got != static_cast<ssize_t>(sizeof info)) continue;
      const int caught = static_cast<int>(info.ssi_signo);
      int none = 0;
      signal_.compare_exchange_strong(none, caught);
      const std::lock_guard lock(mutex_);
      if (handler_) handler_(caught);
    }
  });
}

InterruptWatch::~InterruptWatch() {
  const std::uint64_t end = 1;
  while (::write(ending_.Get(), &end, sizeof end) < 0 && errno == EINTR) {
  }
  watcher_.join();
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptWatch::OnInterrupt(std::function<void(int)> handler) {
  const std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
  if (const int caught = signal_.load(); caught != 0 && handler_) handler_(caught);
}

}  // namespace pagewend::tool
