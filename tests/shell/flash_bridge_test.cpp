#include <gtest/gtest.h>

#include <QScreen>

#include "shell/window_harness.h"

namespace pagewend::shell {
namespace {

using testing::Request;

class HandleFlashCall : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(h_.ShowLoaded()); }
  testing::WindowHarness h_;
};

TEST_F(HandleFlashCall, FullscreenErrorTogglesAndTwiceReturns) {
  ASSERT_TRUE(h_.window->BorderNone());  // an ordinary run starts full screen
  h_.host->Call(Request("fullscreen_error"));
  EXPECT_FALSE(h_.window->BorderNone());
  EXPECT_EQ(h_.window->size(),
            QSize(900, 600).boundedTo(QGuiApplication::primaryScreen()->availableGeometry().size()));
  h_.host->Call(Request("fullscreen_error", "<string>ignored</string>"));
  EXPECT_TRUE(h_.window->BorderNone());
}

TEST_F(HandleFlashCall, OtherNamesGuardedOrMalformedRequestsDoNothing) {
  for (const QString& request :
       {Request("Fullscreen_Error"), Request("FULLSCREEN_ERROR"), Request("fullscreen"), Request(""),
        Request("fullscreen_error", "<string>function() { evil(); }</string>"),
        QStringLiteral("<invoke name=\"fullscreen_error\"><arguments>function(</arguments></invoke>"),
        QString(), QStringLiteral("garbage"), QStringLiteral("<invoke name=\"fullscreen_error\"")}) {
    h_.host->Call(request);
    EXPECT_TRUE(h_.window->BorderNone()) << request.toStdString();
  }
}

}  // namespace
}  // namespace pagewend::shell
