#include "tool/interrupt.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

namespace pagewend::tool {
namespace {

// In the test's child process, whose one thread then holds SIGTERM blocked as a command's do.
void BlockTerm() {
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, nullptr);
}

// Waits, up to ten seconds, for the watch to have caught a signal.
void AwaitSignal(const InterruptWatch& watch) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (watch.Signal() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

// A Ctrl-C that comes before a command hands over what it stops reaches that command the moment
// it does.
TEST(InterruptWatch, ASignalCaughtBeforeTheHandlerReachesItAtOnce) {
  EXPECT_EXIT(
      {
        BlockTerm();
        ::kill(::getpid(), SIGTERM);
        InterruptWatch watch;
        AwaitSignal(watch);
        int handled = 0;
        watch.OnInterrupt([&handled](int signal) { handled = signal; });
        std::exit(watch.Signal() == SIGTERM && handled == SIGTERM ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A command ends when its work does, not when the watcher next looks up: twenty watches, each
// gone once it has caught a signal, took a second while the watcher woke every 50 ms.
TEST(InterruptWatch, GoesAtOnce) {
  EXPECT_EXIT(
      {
        BlockTerm();
        std::chrono::steady_clock::duration ending{};
        for (int i = 0; i < 20; ++i) {
          std::optional<InterruptWatch> watch(std::in_place);
          ::kill(::getpid(), SIGTERM);
          AwaitSignal(*watch);
          const auto start = std::chrono::steady_clock::now();
          watch.reset();
          ending += std::chrono::steady_clock::now() - start;
        }
        std::exit(ending < std::chrono::milliseconds(300) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace pagewend::tool
