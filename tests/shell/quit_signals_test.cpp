#include "shell/quit_signals.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <csignal>

namespace pagewend::shell {
namespace {

TEST(QuitOnSignals, TerminationRequestsArriveOnTheGuiThreadAndDefaultsComeBack) {
  {
    QuitOnSignals quit;
    QSignalSpy spy(&quit, &QuitOnSignals::Quit);
    ASSERT_EQ(std::raise(SIGTERM), 0);  // would end the test program without the handler
    ASSERT_EQ(std::raise(SIGHUP), 0);
    ASSERT_TRUE(spy.wait(5000));
    if (spy.count() < 2) spy.wait(1000);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[0][0].toInt(), SIGTERM);
    EXPECT_EQ(spy[1][0].toInt(), SIGHUP);
    EXPECT_THROW(QuitOnSignals second, std::logic_error);
  }
  struct sigaction now {};
  ::sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace pagewend::shell
