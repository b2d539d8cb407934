#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <chrono>
#include <functional>
#include <thread>

#include "package/package_writer.h"
#include "paths/run_folder.h"
#include "reading/reading_places.h"
#include "shell/page_view.h"
#include "shell/window_harness.h"

namespace pagewend::shell {
namespace {

namespace fs = std::filesystem;
using package::PackageWriter;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::WindowHarness;

QRect Screen() { return QGuiApplication::primaryScreen()->geometry(); }
QRect Available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

// 900 × 600 inside, or as much of it as the screen has, centred on the screen's free area by its
// outer corner as a window is moved.
bool CentredWindow(const QWidget& window) {
  const QRect s = Available();
  const QSize size = QSize(900, 600).boundedTo(s.size());
  return window.size() == size &&
         window.frameGeometry().topLeft() ==
             QPoint(s.x() + (s.width() - size.width()) / 2, s.y() + (s.height() - size.height()) / 2);
}

TEST(FitWithin, MovesAndShrinksAWindowOntoTheScreen) {
  const QRect screen(0, 30, 1000, 700);
  EXPECT_EQ(FitWithin(QRect(100, 100, 400, 300), screen), QRect(100, 100, 400, 300));
  EXPECT_EQ(FitWithin(QRect(800, 600, 400, 300), screen), QRect(600, 430, 400, 300));
  EXPECT_EQ(FitWithin(QRect(-50, 0, 400, 300), screen), QRect(0, 30, 400, 300));
  EXPECT_EQ(FitWithin(QRect(-50, 500, 1200, 900), screen), screen);
}

TEST(MainWindow, FirstFrameWearsTheBooksTitleAndBackgroundAtItsPlayingSize) {
  WindowHarness h;
  pagewend::shell::testing::WriteBookPackage(h.run.bookFile, "Ein Buch – ünïcode", {},
                                             "<background><color>3368601</color></background>");
  h.Rebuild();
  // Before it is ever shown, the window is where the movie will play (full screen), with the
  // book's title over the strip's bar on the book's own background.
  EXPECT_TRUE(h.window->BorderNone());
  EXPECT_EQ(h.window->geometry(), Screen());
  EXPECT_EQ(h.window->windowTitle(), QStringLiteral("Ein Buch – ünïcode"));
  EXPECT_EQ(h.window->StripTitle(), QStringLiteral("Ein Buch – ünïcode"));
  EXPECT_TRUE(h.window->StripVisible());
  h.window->show();
  const QImage first = h.window->grab().toImage();
  EXPECT_EQ(first.size(), Screen().size());
  EXPECT_EQ(QColor(first.pixel(2, 2)), QColor(0x33, 0x66, 0x99));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  auto* box = h.window->findChild<QWidget*>("stripBox");
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_LE((box->mapTo(h.window.get(), box->rect().center()) - h.window->rect().center()).manhattanLength(),
            2);
  EXPECT_LT(box->width(), Screen().width());
  // The box in the desktop's colours, not the book's.
  const QImage laidOut = h.window->grab().toImage();
  const QPoint inBox = box->mapTo(h.window.get(), QPoint(1, 1));
  EXPECT_EQ(QColor(laidOut.pixel(inBox)), QApplication::palette().color(QPalette::Window));
  EXPECT_EQ(QColor(laidOut.pixel(inBox - QPoint(3, 3))), QColor(0x33, 0x66, 0x99));
  // The strip stays over the movie until its first frame, and the size never changes on the way.
  QSignalSpy loaded(h.window.get(), &MainWindow::BookLoaded);
  ASSERT_TRUE(loaded.wait(20000));
  EXPECT_TRUE(h.window->StripVisible());
  EXPECT_EQ(h.window->geometry(), Screen());
  h.host->Start();
  EXPECT_FALSE(h.window->StripVisible());
}

TEST(MainWindow, ShowsProgressAndTitle) {
  WindowHarness h;
  h.window->ShowProgress(55, 100);
  EXPECT_EQ(h.window->Percent(), 55);
  h.window->ShowProgress(1, 3);  // integer division: 33, not 33.3 rounded up
  EXPECT_EQ(h.window->Percent(), 33);
  h.window->ShowTitle(QStringLiteral("Ein Buch – ünïcode"));
  EXPECT_EQ(h.window->windowTitle(), QStringLiteral("Ein Buch – ünïcode"));
  EXPECT_EQ(h.window->StripTitle(), QStringLiteral("Ein Buch – ünïcode"));
}

TEST(MainWindow, LoadingRunsTheStartSequenceAndPlaysBookSwfFullScreen) {
  WindowHarness h;
  ASSERT_TRUE(h.ShowLoaded());
  const fs::path w = h.window->Paths().Root();
  EXPECT_EQ(w, h.dir / "{RUN}");
  EXPECT_TRUE(fs::is_directory(w / "files" / "res" / "thumbnails"));
  // The log is created beside the book's files, with the program's own Log folder rotated.
  ASSERT_TRUE(h.log);
  EXPECT_EQ(h.log->FileName(), w / "files" / "Log" / "log1.txt");
  EXPECT_FALSE(h.window->windowTitle().isEmpty());
  EXPECT_EQ(h.window->Percent(), 100);
  h.host->Start();
  EXPECT_FALSE(h.window->StripVisible());
  EXPECT_EQ(h.host->Movie(), w / "files" / "book.swf");
  EXPECT_EQ(h.host->Sets(), 1);
  EXPECT_TRUE(h.window->BorderNone());
  EXPECT_EQ(h.window->geometry(), Screen());
  EXPECT_TRUE(h.window->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_FALSE(h.window->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_DOUBLE_EQ(h.window->windowOpacity(), 1.0);
  EXPECT_TRUE(h.window->isVisible());
}

TEST(MainWindow, EscapeLeavesFullScreenOnlyForTheReadersWindowOnTheScreen) {
  WindowHarness h;
  ASSERT_TRUE(h.ShowLoaded());
  QTest::keyClick(h.host, Qt::Key_Escape);  // the movie has the focus, the window still sees it
  EXPECT_FALSE(h.window->BorderNone());
  EXPECT_TRUE(CentredWindow(*h.window))
      << h.window->frameGeometry().x() << "," << h.window->frameGeometry().y();
  EXPECT_FALSE(h.window->windowFlags() & Qt::FramelessWindowHint);
  QTest::keyClick(h.host, Qt::Key_Escape);  // windowed: nothing
  EXPECT_FALSE(h.window->BorderNone());
  QTest::keyClick(h.host, Qt::Key_F);  // no other key does anything
  EXPECT_FALSE(h.window->BorderNone());
  h.window->ToggleFullScreen();
  EXPECT_EQ(h.window->geometry(), Screen());
  // The reader's own size and place come back from full screen.
  h.window->ToggleFullScreen();
  h.window->setGeometry(Available().x() + 10, Available().y() + 10, 300, 200);
  h.window->ToggleFullScreen();
  QTest::keyClick(h.host, Qt::Key_Escape);
  EXPECT_FALSE(h.window->BorderNone());
  EXPECT_EQ(h.window->geometry(), QRect(Available().x() + 10, Available().y() + 10, 300, 200));
  // A window left partly off the screen comes back wholly on it.
  h.window->setGeometry(Available().right() - 100, Available().bottom() - 50, 300, 200);
  h.window->ToggleFullScreen();
  h.window->ToggleFullScreen();
  EXPECT_EQ(h.window->size(), QSize(300, 200));
  EXPECT_TRUE(Available().contains(h.window->frameGeometry())) << h.window->frameGeometry().x();
}

TEST(MainWindow, PopupMenuTogglesAndExits) {
  WindowHarness h;
  ASSERT_TRUE(h.ShowLoaded());
  const QList<QAction*> items = h.window->ContextMenu()->actions();
  ASSERT_EQ(items.size(), 7);
  EXPECT_EQ(items[0]->text(), "Fullscreen");
  EXPECT_EQ(items[1]->text(), "Exit");
  EXPECT_EQ(items[2]->text(), "Page view");
  EXPECT_EQ(items[3]->text(), "Export as PDF\u2026");
  EXPECT_EQ(items[4]->text(), "Find\u2026");
  EXPECT_EQ(items[5]->text(), "Presentation");
  EXPECT_EQ(items[6]->text(), "Open");
  items[0]->trigger();
  EXPECT_FALSE(h.window->BorderNone());
  items[0]->trigger();
  EXPECT_TRUE(h.window->BorderNone());
  // The menu opens where the movie area asked for it (a right click, the menu key).
  const QPoint at = h.host->mapToGlobal(QPoint(30, 20));
  QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(30, 20), at);
  QApplication::sendEvent(h.host, &request);
  EXPECT_TRUE(h.window->ContextMenu()->isVisible());
  EXPECT_TRUE(h.window->ContextMenu()->geometry().contains(at + QPoint(1, 1)));
  h.window->ContextMenu()->hide();
  items[1]->trigger();
  EXPECT_FALSE(h.window->isVisible());
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButton button = Qt::NoButton) {
  QMouseEvent event(type, target->mapFromGlobal(QPointF(global)), QPointF(global), button,
                    button == Qt::NoButton ? Qt::NoButton : button, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

TEST(MainWindow, ScreenSaverStaysOnTopHidesTheCursorAndEndsOnInput) {
  auto loadedSaver = [](WindowHarness& h) {
    EXPECT_TRUE(h.ShowLoaded());
    EXPECT_TRUE(h.window->isVisible());
  };
  {
    WindowHarness h(true);
    loadedSaver(h);
    EXPECT_TRUE(h.window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(h.window->BorderNone());
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
    const QPoint saved = h.window->SavedCursor();
    // Along one axis only: the saver stays.
    SendMouse(h.host, QEvent::MouseMove, saved + QPoint(0, 40));
    SendMouse(h.host, QEvent::MouseMove, saved + QPoint(-25, 0));
    EXPECT_TRUE(h.window->isVisible());
    SendMouse(h.host, QEvent::MouseMove, saved + QPoint(3, 4));
    EXPECT_FALSE(h.window->isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // shown again on close
  }
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
    WindowHarness h(true);
    loadedSaver(h);
    SendMouse(h.host, QEvent::MouseButtonPress, h.window->SavedCursor(), button);
    EXPECT_FALSE(h.window->isVisible()) << button;
  }
  for (Qt::Key key : {Qt::Key_A, Qt::Key_Escape, Qt::Key_Shift}) {
    WindowHarness h(true);
    loadedSaver(h);
    QTest::keyPress(h.host, key);
    EXPECT_FALSE(h.window->isVisible()) << key;
  }
  // An ordinary run ignores all of that.
  WindowHarness h;
  ASSERT_TRUE(h.ShowLoaded());
  SendMouse(h.host, QEvent::MouseMove, QPoint(7, 9));
  SendMouse(h.host, QEvent::MouseButtonPress, QPoint(7, 9), Qt::LeftButton);
  QTest::keyClick(h.host, Qt::Key_A);
  EXPECT_TRUE(h.window->isVisible());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Whatever keeps a book from playing, the window says which file and what is wrong in a sentence,
// keeps the run's log where the sentence says, and the run counts as failed.
TEST(MainWindow, ABookThatCannotPlaySaysWhyAndKeepsItsLog) {
  const auto problem = [](const std::function<void(WindowHarness&)>& prepare) {
    WindowHarness h;
    h.run.keptLogFolder = h.dir / "state";
    prepare(h);
    h.Rebuild();
    h.window->show();
    for (int i = 0; i < 200 && !h.window->Failed(); ++i) QTest::qWait(50);
    EXPECT_TRUE(h.window->Failed());
    EXPECT_EQ(h.window->windowTitle(), "The book could not be opened");
    EXPECT_FALSE(h.window->StripVisible());
    EXPECT_GE(h.window->width(), 400);
    const std::string text = h.window->ProblemText().toStdString();
    EXPECT_THAT(text, HasSubstr("The run's log is kept in " + (h.dir / "state/log1.txt").string()));
    const fs::path w = h.window->Paths().Root();
    h.window.reset();
    EXPECT_FALSE(fs::exists(w));
    EXPECT_TRUE(fs::exists(h.dir / "state/log1.txt"));  // the log outlives the run's folder
    return text;
  };
  const auto package = [](std::string book, std::string project) {
    return [=](WindowHarness& h) {
      PackageWriter writer(h.run.bookFile);
      writer.Finish(book, project);
    };
  };
  EXPECT_THAT(problem([](WindowHarness& h) { h.run.bookFile = "/no/such/book.exe"; }),
              StartsWith("/no/such/book.exe does not exist."));
  EXPECT_THAT(problem([](WindowHarness& h) { pagewend::testing::WriteFile(h.run.bookFile, "abc"); }),
              HasSubstr("book.exe is not a book (no package found at its end)."));
  EXPECT_THAT(problem(package("<book><Chapters>", "<project/>")),
              HasSubstr("is damaged: its contents could not be read."));
  EXPECT_THAT(problem(package("<book/>", "<project/>")),
              HasSubstr("has no start movie, so there is nothing to play."));
  // A movie that never starts gives way to the pages when there are any (the page view's tests).
}

// A book reopens where the reader left it: its page, its view and its window, whatever its file
// is called; a damaged record of places costs the places, not the run.
TEST(MainWindow, EachBookReopensWhereTheReaderLeftIt) {
  WindowHarness h;
  pagewend::shell::testing::WritePagedBook(h.run.bookFile, 14, /*withMovie=*/true);
  h.run.stateFolder = h.dir / "state";
  h.Rebuild();
  ASSERT_TRUE(h.ShowLoaded());
  EXPECT_EQ(h.host->Sets(), 1);  // a book never read: its movie, full screen
  EXPECT_TRUE(h.window->BorderNone());
  QTest::keyClick(h.host, Qt::Key_F2);
  h.window->Pages()->GoToPage(11);
  h.window->ToggleFullScreen();
  h.window->resize(700, 500);
  h.window->close();

  // The same book under another name.
  const fs::path copy = h.dir / "copy.pagewend";
  fs::copy_file(h.run.bookFile, copy);
  const fs::path first = h.run.bookFile;
  h.run.bookFile = copy;
  h.Rebuild();
  // Its pages open in the reader's window, which has its size before it is shown, on the screen.
  EXPECT_FALSE(h.window->BorderNone());
  EXPECT_EQ(h.window->size(), QSize(700, 500));
  EXPECT_TRUE(Available().contains(h.window->frameGeometry()));
  ASSERT_TRUE(h.ShowLoaded());
  EXPECT_TRUE(h.window->ShowsPages());
  EXPECT_EQ(h.host->Sets(), 0);
  EXPECT_TRUE(h.window->Pages()->CurrentSpread().Shows(11));
  EXPECT_FALSE(h.window->BorderNone());
  EXPECT_EQ(h.window->size(), QSize(700, 500));
  // The book left before is a recent one in the Open menu, which opens it in a player of its
  // own and gives it this window's place; so does a book file dropped on the window.
  EXPECT_EQ(h.window->RecentBooks(), QStringList{QString::fromStdString(first.string())});
  std::vector<QString> opened;
  h.window->SetBookOpener([&](const QString& file) {
    opened.push_back(file);
    return true;
  });
  QMimeData dropped;
  dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(first.string()))});
  QWidget* canvas = h.window->Pages()->Canvas();
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(canvas, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(canvas, &drop);
  for (int i = 0; i < 100 && opened.empty(); ++i) QTest::qWait(10);
  EXPECT_EQ(opened, std::vector<QString>{QString::fromStdString(first.string())});
  EXPECT_FALSE(h.window->isVisible());

  const fs::path file = h.run.stateFolder / reading::kReadingPlacesFile;
  pagewend::testing::WriteFile(file, "{\"books\": [{\"identity\": \"");
  h.Rebuild();
  ASSERT_TRUE(h.ShowLoaded());
  EXPECT_FALSE(h.window->ShowsPages());  // as a book never read
  EXPECT_EQ(h.host->Sets(), 1);
  EXPECT_TRUE(h.window->BorderNone());
  h.window->close();
  const auto kept = reading::ReadingPlaces::Load(h.run.stateFolder).Find(reading::BookIdentity(copy));
  ASSERT_TRUE(kept);  // written whole again
  EXPECT_FALSE(kept->pageView);
  EXPECT_TRUE(kept->fullScreen);
}

TEST(MainWindow, ClosingWhileTheLoaderWaitsForTheWindowLeavesNothingBehind) {
  WindowHarness h;
  // No events are processed, so the loader is stuck handing its first message to this thread:
  // the case where waiting for it naively would hang for ever.
  h.window->show();
  const fs::path w = h.window->Paths().Root();
  ASSERT_TRUE(fs::is_directory(w));
  // The run has begun once its log is there; its first message then waits for this thread.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(w / layout::kRunLog) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  ASSERT_TRUE(fs::exists(w / layout::kRunLog));
  pagewend::testing::WriteFile(w / "files" / "book.swf", "already unpacked");
  h.window.reset();
  EXPECT_FALSE(fs::exists(w));
  QCoreApplication::processEvents();  // a late delivery to the gone window must be harmless
}

TEST(MainWindow, ClosingAfterLoadingDeletesTheWorkingFolder) {
  WindowHarness h;
  ASSERT_TRUE(h.ShowLoaded());
  const fs::path w = h.window->Paths().Root();
  pagewend::testing::WriteFile(w / "files" / "res" / "pages" / "1.jpg", "page");
  h.window->close();
  h.window.reset();
  EXPECT_FALSE(fs::exists(w));
}

}  // namespace
}  // namespace pagewend::shell
