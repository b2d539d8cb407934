#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <utility>

#include "player/flash_request_parser.h"
#include "shell/main_window.h"
#include "shell/movie_input.h"
#include "shell/ruffle_movie_host.h"
#include "testing/temp_dir.h"

namespace pagewend::shell {
namespace {

using player::FlashRequestParser;

namespace fs = std::filesystem;

// The demo's viewer lays itself out on the whole stage, pixel for pixel: pages of 600 x 800 shown
// two pages wide above its bar of 56 pixels, the full-screen button at the bar's right end.
constexpr int kBar = 56;

// The top of the right-hand page's title band, above its title (the cover, then each spread's odd
// page): each page's band has a colour of its own.
QPoint RightPage(const QWidget& host) {
  const double scale = std::min((host.width() - 48) / 1200.0, (host.height() - kBar - 48) / 800.0);
  return {static_cast<int>(host.width() / 2 + 300 * scale),
          static_cast<int>((host.height() - kBar - 800 * scale) / 2 + 8 * scale)};
}

QColor Sample(QWidget& host, QPoint at) { return host.grab().toImage().pixelColor(at); }

bool WaitUntil(const std::function<bool()>& done, int ms) {
  for (int waited = 0; waited < ms && !done(); waited += 100) QTest::qWait(100);
  return done();
}

// The colour at a point once the viewer's slide has come to rest: a page's colour unchanged for
// half a second (a slide takes about as long).
QColor RestingColour(QWidget& host, QPoint at) {
  QColor last = Sample(host, at);
  auto since = std::chrono::steady_clock::now();
  WaitUntil(
      [&] {
        const QColor now = Sample(host, at);
        // A busy machine may show frames of the bare stage (white) between the page's, and
        // draw an animation's frames far apart: at rest is a page's colour that stays a while.
        if (std::exchange(last, now) != now || now.saturation() <= 40)
          since = std::chrono::steady_clock::now();
        return std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(500);
      },
      10000);
  return last;
}

// The project's demo book, as the build packs it: it unpacks, its viewer plays, keys turn its
// pages, and the full-screen button asks the player to leave full screen.
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

  // The viewer reads the kept book document and loads the cover by its Windows name; a key turns to
  // the next spread, whose right-hand page has another colour, and back.
  const QPoint right = RightPage(*host);
  const auto drawn = [&] {
    const QColor c = Sample(*host, right);
    return c.saturation() > 40;
  };
  ASSERT_TRUE(WaitUntil(drawn, 20000)) << "the cover was not drawn";
  const QColor cover = RestingColour(*host, right);
  QTest::keyClick(&testing::MovieInput(*host), Qt::Key_Right);
  EXPECT_TRUE(WaitUntil([&] { return drawn() && Sample(*host, right) != cover; }, 10000))
      << "the page did not turn";
  RestingColour(*host, right);
  QTest::keyClick(&testing::MovieInput(*host), Qt::Key_Left);
  EXPECT_TRUE(WaitUntil([&] { return Sample(*host, right) == cover; }, 10000))
      << "the page did not turn back: " << cover.name().toStdString() << " vs "
      << Sample(*host, right).name().toStdString();

  testing::ClickMovie(*host, {host->width() - 12 - 20, host->height() - kBar / 2});
  ASSERT_TRUE(calls.count() > 0 || calls.wait(10000));
  EXPECT_EQ(FlashRequestParser(calls[0][0].toString().toStdString()).GetName(), "fullscreen_error");
  EXPECT_FALSE(window.BorderNone());
}

}  // namespace
}  // namespace pagewend::shell
