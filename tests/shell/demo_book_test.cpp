#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include "shell/flash_request_parser.h"
#include "shell/main_window.h"
#include "shell/ruffle_movie_host.h"
#include "testing/temp_dir.h"

namespace pagewend::shell {
namespace {

namespace fs = std::filesystem;

// Where a point of the demo movie (600 x 860 pixels, shown whole and centred) lies in the host.
QPoint OnScreen(const QWidget& host, double x, double y) {
  const double scale = std::min(host.width() / 600.0, host.height() / 860.0);
  return {static_cast<int>((host.width() - 600 * scale) / 2 + x * scale),
          static_cast<int>((host.height() - 860 * scale) / 2 + y * scale)};
}

QColor Sample(QWidget& host, double x, double y) {
  return host.grab().toImage().pixelColor(OnScreen(host, x, y));
}

void Click(RuffleMovieHost& host, double x, double y) {
  auto* view = host.findChild<QWebEngineView*>();
  QWidget* target = view && view->focusProxy() ? view->focusProxy() : &host;
  const QPoint at = target->mapFrom(&host, OnScreen(host, x, y));
  QTest::mouseMove(target, at);
  QTest::qWait(50);
  QTest::mousePress(target, Qt::LeftButton, {}, at);
  QTest::qWait(50);
  QTest::mouseRelease(target, Qt::LeftButton, {}, at);
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  for (int waited = 0; waited < ms && !done(); waited += 100) QTest::qWait(100);
  return done();
}

// The project's demo book, as the build packs it: it unpacks, its movie plays, the next button
// turns the page, and the full-screen button asks the player to leave full screen.
TEST(DemoBook, PlaysTurnsPagesAndTogglesFullScreen) {
#ifdef PAGEWEND_SANITIZED
  GTEST_SKIP() << "Chromium (QtWebEngine) is not built for AddressSanitizer";
#endif
  if (!fs::exists(PAGEWEND_DEMO_BOOK)) GTEST_SKIP() << "no demo book at " << PAGEWEND_DEMO_BOOK;
  pagewend::testing::TempDir dir;
  PlayerRun run;
  run.bookFile = PAGEWEND_DEMO_BOOK;
  run.programFolder = dir / "program";
  run.workingFolder = dir / "{RUN}";
  std::shared_ptr<const RunLog> log;
  auto* host = new RuffleMovieHost();
  MainWindow window(run, host, log);
  QSignalSpy loaded(&window, &MainWindow::BookLoaded);
  QSignalSpy started(host, &RuffleMovieHost::MovieStarted);
  QSignalSpy calls(host, &MovieHost::FlashCall);
  window.show();
  ASSERT_TRUE(loaded.count() > 0 || loaded.wait(30000));
  EXPECT_EQ(window.windowTitle(), "Pagewend demo book");
  EXPECT_TRUE(fs::exists(run.workingFolder / "files/res/thumbnails/thumb_11.png"));
  ASSERT_TRUE(started.count() > 0 || started.wait(60000));
  EXPECT_TRUE(window.BorderNone());

  // Page one's title band, then the next page's, which has another colour.
  const auto drawn = [&] {
    const QColor c = Sample(*host, 300, 50);
    return c != QColor(Qt::black) && c != QColor(Qt::white);
  };
  ASSERT_TRUE(WaitUntil(drawn, 20000)) << "the first page was not drawn";
  QTest::qWait(500);
  const QColor first = Sample(*host, 300, 50);
  Click(*host, 505, 830);
  EXPECT_TRUE(WaitUntil([&] { return Sample(*host, 300, 50) != first; }, 10000)) << "the page did not turn";
  Click(*host, 90, 830);
  EXPECT_TRUE(WaitUntil([&] { return Sample(*host, 300, 50) == first; }, 10000))
      << "the page did not turn back: " << first.name().toStdString() << " vs "
      << Sample(*host, 300, 50).name().toStdString();

  Click(*host, 300, 830);
  ASSERT_TRUE(calls.count() > 0 || calls.wait(10000));
  EXPECT_EQ(FlashRequestParser(calls[0][0].toString().toStdString()).GetName(), "fullscreen_error");
  EXPECT_FALSE(window.BorderNone());
}

}  // namespace
}  // namespace pagewend::shell
