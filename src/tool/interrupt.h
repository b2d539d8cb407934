#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "support/unique_fd.h"

namespace pagewend::tool {

// Catches SIGINT, SIGTERM and SIGHUP while it lives, so that a command can clean up what it
// half-wrote instead of dying with it. Make it before the work starts any thread: the signals
// are blocked in the thread that makes it, threads started later inherit that, and one watching
// thread takes them. The handler runs on that thread, which ends the moment the watch goes.
class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  void OnInterrupt(std::function<void(int signal)> handler);
  // The first signal caught, or 0.
  int Signal() const { return signal_.load(); }

 private:
  sigset_t signals_{};
  sigset_t previous_{};
  UniqueFd caught_;  // the signals, as a signalfd
  UniqueFd ending_;  // an eventfd the watch's end is written to
  std::atomic<int> signal_{0};
  std::mutex mutex_;
  std::function<void(int)> handler_;
  std::jthread watcher_;
};

}  // namespace pagewend::tool
