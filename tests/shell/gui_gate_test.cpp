#include "shell/gui_gate.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

namespace pagewend::shell {
namespace {

using namespace std::chrono_literals;

TEST(GuiGate, SendRunsOnTheGuiThreadAndWaitsUntilItHasRun) {
  QObject context;
  GuiGate gate(&context);
  std::atomic<bool> returned{false};
  QThread* ranOn = nullptr;
  std::thread worker([&] {
    gate.Send([&] { ranOn = QThread::currentThread(); });
    returned = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(returned);  // nothing has run the queue yet: the worker still waits
  for (int i = 0; i < 200 && !returned; ++i) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(5ms);
  }
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(ranOn, context.thread());
  // From the GUI thread itself the call runs at once instead of waiting for itself.
  bool direct = false;
  gate.Send([&] { direct = true; });
  EXPECT_TRUE(direct);
}

}  // namespace
}  // namespace pagewend::shell
