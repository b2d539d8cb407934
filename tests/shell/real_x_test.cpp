// The player as a person uses it: the built program on a real X server with a window manager,
// driven by the X server's own input (xdotool) and watched on screenshots.
#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <cstdio>

#include "shell/real_x_session.h"
#include "shell/shell_fixtures.h"
#include "shell/viewer_book.h"
#include "swf/swf_writer.h"
#include "testing/temp_dir.h"

namespace pagewend::shell::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const QColor kBlue(0x33, 0x66, 0xCC);
const QColor kGreen(0x33, 0x99, 0x33);
const QSize kWindowed(900, 600);
const QSize kFullScreen(RealDisplay::kWidth, RealDisplay::kHeight);

// A tall movie (full screen leaves wide margins beside it) of two frames, blue then green. As a
// viewer's keys do, the right arrow turns to the next frame and "k" asks the player to toggle
// full screen; no click is needed first.
std::string KeyMovie() {
  swf::SwfWriter writer(10, {0, 300 * 20, 0, 400 * 20}, 24);
  writer.SetBackgroundColor({0xFF, 0xFF, 0xFF});
  writer.DefineRectangle(1, {0, 300 * 20, 0, 400 * 20}, {0x33, 0x66, 0xCC});
  writer.DefineRectangle(2, {0, 300 * 20, 0, 400 * 20}, {0x33, 0x99, 0x33});
  writer.DefineRectangle(3, {0, 10 * 20, 0, 10 * 20}, {0, 0, 0});
  swf::SwfActions toggle;
  toggle.CallExternal("fullscreen_error");
  swf::SwfActions next;
  next.NextFrame();
  writer.DefineButton(4, 3, {}, {{'k', toggle}, {2, next}});
  swf::SwfActions stop;
  stop.Stop();
  writer.PlaceObject(1, 1);
  writer.PlaceObject(2, 4);
  writer.DoAction(stop);
  writer.ShowFrame();
  writer.RemoveObject(1);
  writer.PlaceObject(1, 2);
  writer.DoAction(stop);
  writer.ShowFrame();
  return writer.Finish();
}

fs::path Artefact(const std::string& name) { return fs::path(PAGEWEND_REAL_X_ARTEFACTS) / name; }

// The middle of the player's menu's item at index: "Fullscreen", "Exit", the view switch,
// "Export as PDF…", "Find…", "Presentation", then "Open".
QPoint MenuItem(const QRect& menu, int index) {
  constexpr int kItems = 7;
  return {menu.center().x(), menu.top() + menu.height() * (2 * index + 1) / (2 * kItems)};
}

class RealX : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(display_.Problem().isEmpty()) << display_.Problem().toStdString(); }

  // Starts command and waits until its movie shows in its window.
  RealPlayer& Start(const QStringList& command) {
    player_ = std::make_unique<RealPlayer>(display_, command, dir_ / "run");
    EXPECT_TRUE(player_->WaitForMovie(90s)) << player_->Diagnostics().toStdString();
    // Under load the window manager may map the window well after the first frame.
    EXPECT_TRUE(player_->WaitForWindow(30s)) << player_->Diagnostics().toStdString();
    return *player_;
  }

  QRect Geometry() { return display_.WindowGeometry(player_->Window()); }
  bool SizeBecomes(QSize size, std::chrono::milliseconds limit = 10s) {
    return WaitUntil([&] { return Geometry().size() == size; }, limit);
  }
  QColor ColourAt(QPoint at, const std::string& shot = "last.png") {
    return display_.Screenshot(Artefact(shot)).pixelColor(at);
  }
  bool ColourBecomes(QPoint at, const QColor& colour) {
    return WaitUntil([&] { return ColourAt(at) == colour; }, 15s);
  }

  // Right-clicks at, waits for the player's menu and saves the screen with it as shot; the menu's
  // place on the screen, or an empty rectangle if none opened.
  QRect OpenMenu(QPoint at, const std::string& shot) {
    display_.Click(at, 3);
    QString menu;
    WaitUntil(
        [&] {
          for (const QString& window : display_.Windows(player_->Program().Pid()))
            if (window != player_->Window()) menu = window;
          return !menu.isEmpty();
        },
        5s);
    if (menu.isEmpty()) return {};
    display_.Screenshot(Artefact(shot));
    return display_.WindowGeometry(menu);
  }

  RealDisplay display_;
  pagewend::testing::TempDir dir_;
  std::unique_ptr<RealPlayer> player_;
};

// A generated book: keys reach the movie as soon as it plays; Escape leaves full screen and does
// nothing in the window; a right click on the movie or on the margin beside it opens the player's
// menu in both states, whose "Fullscreen" toggles and whose "Exit" ends the run cleanly.
TEST_F(RealX, KeysEscapeAndTheMenuWorkAsAPersonUsesThem) {
  const fs::path book = dir_ / "book.pwb";
  WriteBookPackage(book, "Keys and menu", KeyMovie());
  RealPlayer& player = Start({PAGEWEND_PLAYER_PATH, QString::fromStdString(book.string())});
  ASSERT_FALSE(player.Window().isEmpty());
  EXPECT_EQ(display_.WindowName(player.Window()).toStdString(), "Keys and menu");
  ASSERT_TRUE(SizeBecomes(kFullScreen)) << Geometry().width() << "x" << Geometry().height();
  const QPoint centre(RealDisplay::kWidth / 2, RealDisplay::kHeight / 2);
  ASSERT_TRUE(ColourBecomes(centre, kBlue))
      << "the movie is not shown: " << player.Diagnostics().toStdString();

  // No click into the movie first: it has the keyboard once it plays.
  display_.Key("Right");
  EXPECT_TRUE(ColourBecomes(centre, kGreen)) << "the right arrow did not reach the movie";
  display_.Key("k");
  ASSERT_TRUE(SizeBecomes(kWindowed)) << "the movie's key did not leave full screen";
  display_.Key("Escape");
  EXPECT_FALSE(SizeBecomes(kFullScreen, 2s)) << "Escape in the window changed it";
  EXPECT_EQ(Geometry().size(), kWindowed);

  // The menu on the movie in the window; its first item goes to full screen.
  const QRect windowed = Geometry();
  QRect menu = OpenMenu(windowed.center(), "menu-window.png");
  ASSERT_FALSE(menu.isEmpty()) << "no menu on a right click in the window";
  EXPECT_LT((menu.topLeft() - windowed.center()).manhattanLength(), 20);
  display_.Click(MenuItem(menu, 0));
  ASSERT_TRUE(SizeBecomes(kFullScreen)) << "Fullscreen did not go to full screen";
  display_.Key("Escape");
  ASSERT_TRUE(SizeBecomes(kWindowed)) << "Escape did not leave full screen";
  display_.Key("k");  // still the movie's after the menu
  ASSERT_TRUE(SizeBecomes(kFullScreen)) << "a key after the menu did not reach the movie";

  // The black margin beside the movie, full screen; "Exit" ends the run.
  const QPoint margin(60, RealDisplay::kHeight / 2);
  EXPECT_TRUE(WaitUntil([&] { return ColourAt(margin) == QColor(Qt::black); }, 10s))
      << "the margin beside the movie is " << ColourAt(margin).name().toStdString();
  menu = OpenMenu(margin, "menu-full-screen-margin.png");
  ASSERT_FALSE(menu.isEmpty()) << "no menu on a right click beside the movie in full screen";
  const std::optional<fs::path> working = player.WorkingFolder();
  ASSERT_TRUE(working);
  display_.Click(MenuItem(menu, 1));
  const std::optional<int> status = player.Program().WaitForExit(20s);
  ASSERT_TRUE(status) << "Exit did not end the player: " << player.Diagnostics().toStdString();
  EXPECT_EQ(*status, 0);
  EXPECT_FALSE(fs::exists(*working)) << *working;
}

// The project's demo book, a program of its own: its caption is its title, its viewer reads the
// book and shows its cover, a click on the cover turns the page on the screen, and the menu's Exit
// ends it.
TEST_F(RealX, DemoBookTurnsItsPageOnAClick) {
  if (!fs::exists(PAGEWEND_DEMO_BOOK)) GTEST_SKIP() << "no demo book at " << PAGEWEND_DEMO_BOOK;
  RealPlayer& player = Start({PAGEWEND_DEMO_BOOK});
  ASSERT_FALSE(player.Window().isEmpty());
  EXPECT_EQ(display_.WindowName(player.Window()).toStdString(), "Pagewend demo book");
  ASSERT_TRUE(SizeBecomes(kFullScreen));
  // The viewer lays out pages of 600 x 800 two pages wide above its bar of 56 pixels; the cover
  // is the right-hand page, and each page's title band has a colour of its own.
  constexpr int kBar = 56;
  const double scale =
      std::min((RealDisplay::kWidth - 48) / 1200.0, (RealDisplay::kHeight - kBar - 48) / 800.0);
  const int top = static_cast<int>((RealDisplay::kHeight - kBar - 800 * scale) / 2);
  const QPoint band(static_cast<int>(RealDisplay::kWidth / 2 + 300 * scale),
                    top + static_cast<int>(8 * scale));
  ASSERT_TRUE(WaitUntil([&] { return ColourAt(band).saturation() > 40; }, 20s)) << "the cover was not drawn";
  const QColor first = ColourAt(band, "demo-first-page.png");
  display_.Click({band.x(), top + static_cast<int>(400 * scale)});
  EXPECT_TRUE(WaitUntil([&] { return ColourAt(band, "demo-next-page.png") != first; }, 10s))
      << "the page did not turn";

  const QRect menu = OpenMenu({band.x(), top + static_cast<int>(600 * scale)}, "demo-menu.png");
  ASSERT_FALSE(menu.isEmpty()) << "no menu on a right click on the demo's page";
  display_.Click(MenuItem(menu, 1));
  const std::optional<int> status = player.Program().WaitForExit(20s);
  ASSERT_TRUE(status) << player.Diagnostics().toStdString();
  EXPECT_EQ(*status, 0);
}

// A movie the emulator cannot play gives way to the book's pages as soon as the emulator says
// so, not after the time a movie that says nothing is given.
TEST_F(RealX, ADamagedMovieGivesWayToThePagesAtOnce) {
  std::string damaged("CWS\x0a\x00\x10\x00\x00", 8);
  damaged += std::string(4000, '\x5a');
  const fs::path book = dir_ / "damaged.pwb";
  WritePagedBook(book, 6, true, damaged);
  player_ = std::make_unique<RealPlayer>(
      display_, QStringList{PAGEWEND_PLAYER_PATH, QString::fromStdString(book.string())}, dir_ / "run");
  ASSERT_TRUE(player_->WaitForLog(QStringLiteral("the emulator is ready"), 90s))
      << player_->Diagnostics().toStdString();
  const auto ready = std::chrono::steady_clock::now();
  ASSERT_TRUE(player_->WaitForLog(QStringLiteral("could not be played"), 30s))
      << player_->Diagnostics().toStdString();
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - ready);
  EXPECT_LT(waited, 3s) << player_->Diagnostics().toStdString();
  std::printf("the damaged movie gave way %lld ms after the emulator was ready\n",
              static_cast<long long>(waited.count()));
  // The first page on the screen: somewhere along the window's middle row.
  ASSERT_TRUE(player_->WaitForWindow(30s));
  EXPECT_TRUE(WaitUntil(
      [&] {
        const QRect window = Geometry();
        const QImage shot = display_.Screenshot(Artefact("damaged-movie.png"));
        for (int x = window.left(); x < window.right(); x += 4)
          if (shot.pixelColor(x, window.center().y()).rgb() == PageColour(0).rgb()) return true;
        return false;
      },
      10s))
      << "the first page is not shown";
}

// A book whose movies are programs like real books' viewers plays to its success state on the
// screen: the framework, loaded by the preloader, found every file it asked for and painted its
// stage green around the first page; its call to the player left full screen for the window.
TEST_F(RealX, AViewerBookPlaysToItsSuccessState) {
  WriteViewerBook(dir_ / "viewer-book");
  RealPlayer& player = Start({PAGEWEND_PLAYER_PATH, QString::fromStdString((dir_ / "viewer-book").string())});
  ASSERT_FALSE(player.Window().isEmpty());
  ASSERT_TRUE(SizeBecomes(kWindowed, 30s)) << player.Diagnostics().toStdString();
  const QRect window = Geometry();
  const QColor success(0x00, 0xA0, 0x00);
  EXPECT_TRUE(WaitUntil(
      [&] { return ColourAt(QPoint(window.left() + 20, window.center().y()), "viewer-book.png") == success; },
      20s))
      << ColourAt(QPoint(window.left() + 20, window.center().y())).name().toStdString();
}

}  // namespace
}  // namespace pagewend::shell::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Processes only: no window of the tests' own, so no display for the tests themselves.
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
