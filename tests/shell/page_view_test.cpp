#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QWheelEvent>
#include <cstdlib>
#include <filesystem>

#include "shell/main_window.h"
#include "shell/page_cache.h"
#include "shell/page_view.h"
#include "shell/window_harness.h"

namespace pagewend::shell {
namespace {

using testing::PageColour;
using testing::WindowHarness;

// The window over a paged book, loaded, its pages on screen and painted from their images.
struct PagedWindow {
  explicit PagedWindow(bool withMovie, bool pageView = false) {
    testing::WritePagedBook(h.run.bookFile, 9, withMovie);
    h.run.pageView = pageView;
    h.Rebuild();
    h.window->SetLinkOpener([this](const QUrl& url) { opened.push_back(url.toString()); });
    loaded = h.ShowLoaded();
  }
  PageView& View() { return *h.window->Pages(); }
  // Waits for the turn and the spread's images; then what the canvas shows at a page's centre.
  QColor ColourOfPage(int page) {
    for (int i = 0; i < 200 && (View().Turning() || !View().ShowsFinishedSpread()); ++i) QTest::qWait(20);
    for (const auto& placed : View().CurrentPlacement().pages)
      if (placed.page == page)
        return View().Canvas()->grab().toImage().pixelColor(
            static_cast<int>(placed.rect.x + placed.rect.width / 2),
            static_cast<int>(placed.rect.y + placed.rect.height / 2));
    return {};
  }
  QPoint At(int page, double x, double y) {
    for (const auto& placed : View().CurrentPlacement().pages)
      if (placed.page == page)
        return QPoint(static_cast<int>(placed.rect.x + x * placed.rect.width / 600),
                      static_cast<int>(placed.rect.y + y * placed.rect.height / 800));
    return {};
  }

  WindowHarness h;
  std::vector<QString> opened;
  bool loaded = false;
};

bool Near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3 &&
         std::abs(a.blue() - b.blue()) <= 3;
}

// Six blank A4-like pages (600 x 800) in view, shown at size from the first spread.
bool ShowBlankBook(PageView& view, QSize size, bool rightToLeft = false) {
  auto book = std::make_shared<reading::Book>();
  book->pageWidth = 600;
  book->pageHeight = 800;
  book->rightToLeft = rightToLeft;
  book->pages.resize(6);
  view.resize(size);
  view.SetBook(book, 1);
  view.show();
  return QTest::qWaitForWindowExposed(&view);
}

TEST(PageView, ABookWithoutAMovieIsReadFromItsPages) {
  PagedWindow w(/*withMovie=*/false);
  ASSERT_TRUE(w.loaded);
  ASSERT_TRUE(w.h.window->ShowsPages());
  EXPECT_FALSE(w.h.window->Failed());
  EXPECT_THAT(w.View().Note().toStdString(), ::testing::HasSubstr("no start movie"));
  EXPECT_EQ(w.h.window->windowTitle(), "Paged book");
  // The cover alone, from its image; keys turn spreads of two.
  EXPECT_EQ(w.View().CurrentSpread(), (reading::Spread{0, 1}));
  EXPECT_TRUE(Near(w.ColourOfPage(0), PageColour(0)));
  QTest::keyClick(w.View().Canvas(), Qt::Key_Right);
  EXPECT_EQ(w.View().CurrentSpread(), (reading::Spread{1, 2}));
  EXPECT_TRUE(Near(w.ColourOfPage(2), PageColour(2)));
  EXPECT_EQ(w.View().findChild<QLabel*>("pageLabel")->text(), QStringLiteral("–3 of 9"));  // after "2"
  // One notch of the wheel turns one spread.
  QWheelEvent notch(QPointF(50, 50), w.View().Canvas()->mapToGlobal(QPointF(50, 50)), QPoint(),
                    QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w.View().Canvas(), &notch);
  EXPECT_EQ(w.View().CurrentSpread(), (reading::Spread{3, 2}));
  // Ctrl+L reaches the page field; a number and Enter go there and give the keys back to the
  // pages, where Shift+Space goes back.
  QTest::keyClick(w.View().Canvas(), Qt::Key_L, Qt::ControlModifier);
  auto* pageBox = w.View().findChild<QSpinBox*>("pageBox");
  ASSERT_TRUE(pageBox->hasFocus());
  QTest::keyClicks(pageBox, "6");
  QTest::keyClick(pageBox, Qt::Key_Return);
  EXPECT_EQ(w.View().CurrentSpread(), (reading::Spread{5, 2}));
  EXPECT_TRUE(w.View().Canvas()->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space, Qt::ShiftModifier);
  EXPECT_EQ(w.View().CurrentSpread(), (reading::Spread{3, 2}));
  // The thumbnail strip passes the page keys on.
  w.View().Thumbnails()->setFocus();
  QTest::keyClick(w.View().Thumbnails(), Qt::Key_Right);
  EXPECT_EQ(w.View().CurrentSpread(), (reading::Spread{5, 2}));
  QTest::keyClick(w.View().Canvas(), Qt::Key_End);
  EXPECT_EQ(w.View().CurrentSpread(), (reading::Spread{7, 2}));
  EXPECT_TRUE(Near(w.ColourOfPage(8), PageColour(8)));
  QTest::keyClick(w.View().Canvas(), Qt::Key_Home);
  EXPECT_TRUE(Near(w.ColourOfPage(0), PageColour(0)));

  // The cover's links: one to page 5, one out through the desktop's opener.
  QTest::mouseClick(w.View().Canvas(), Qt::LeftButton, {}, w.At(0, 50, 50));
  EXPECT_TRUE(w.View().CurrentSpread().Shows(4));
  EXPECT_TRUE(Near(w.ColourOfPage(4), PageColour(4)));
  w.View().GoToPage(0);
  w.ColourOfPage(0);
  QTest::mouseClick(w.View().Canvas(), Qt::LeftButton, {}, w.At(0, 550, 50));
  EXPECT_EQ(w.opened, std::vector<QString>{"https://example.org/"});

  // The table of contents jumps to its page; a thumbnail to its own.
  QTreeWidget* contents = w.View().Contents();
  ASSERT_EQ(contents->topLevelItemCount(), 1);
  EXPECT_EQ(contents->topLevelItem(0)->text(0), "Middle");
  QTest::mouseClick(contents->viewport(), Qt::LeftButton, {},
                    contents->visualItemRect(contents->topLevelItem(0)).center());
  EXPECT_TRUE(w.View().CurrentSpread().Shows(3));
  QListWidget* strip = w.View().Thumbnails();
  ASSERT_EQ(strip->count(), 9);
  QTest::mouseClick(strip->viewport(), Qt::LeftButton, {}, strip->visualItemRect(strip->item(1)).center());
  EXPECT_TRUE(w.View().CurrentSpread().Shows(1));
  // With no movie, there is nothing to switch to.
  QTest::keyClick(w.View().Canvas(), Qt::Key_F2);
  EXPECT_TRUE(w.h.window->ShowsPages());
}

TEST(PageView, TheReaderSwitchesBetweenThePagesAndTheMovie) {
  PagedWindow w(/*withMovie=*/true, /*pageView=*/true);
  ASSERT_TRUE(w.loaded);
  ASSERT_TRUE(w.h.window->ShowsPages());
  EXPECT_EQ(w.View().Note(), "");
  EXPECT_EQ(w.h.host->Sets(), 0);  // the movie waits until it is asked for
  QTest::keyClick(w.View().Canvas(), Qt::Key_F2);
  EXPECT_FALSE(w.h.window->ShowsPages());
  EXPECT_EQ(w.h.host->Sets(), 1);
  QTest::keyClick(w.h.host, Qt::Key_F2);
  EXPECT_TRUE(w.h.window->ShowsPages());
  QTest::keyClick(w.View().Canvas(), Qt::Key_F2);
  EXPECT_EQ(w.h.host->Sets(), 1);  // started once
}

TEST(PageView, AMovieThatNeverStartsGivesWayToThePages) {
  WindowHarness h;
  testing::WritePagedBook(h.run.bookFile, 3, /*withMovie=*/true);
  h.run.movieStartMs = 300;  // the fake movie area never shows a first frame
  h.Rebuild();
  ASSERT_TRUE(h.ShowLoaded());
  for (int i = 0; i < 100 && !h.window->ShowsPages(); ++i) QTest::qWait(20);
  EXPECT_TRUE(h.window->ShowsPages());
  EXPECT_FALSE(h.window->Failed());
  EXPECT_THAT(h.window->Pages()->Note().toStdString(), ::testing::HasSubstr("did not start within"));
}

// A book read from right to left turns forward at its left edge, and back at its right.
TEST(PageView, ARightToLeftBookTurnsForwardAtItsLeftEdge) {
  PageView view;
  ASSERT_TRUE(ShowBlankBook(view, {1000, 700}, true));
  view.GoToPage(1);
  ASSERT_EQ(view.CurrentSpread(), (reading::Spread{1, 2}));
  const reading::Box bounds = view.CurrentPlacement().bounds;
  const int middle = static_cast<int>(bounds.y + bounds.height / 2);
  QTest::mouseClick(view.Canvas(), Qt::LeftButton, {}, QPoint(static_cast<int>(bounds.x) + 5, middle));
  EXPECT_EQ(view.CurrentSpread(), (reading::Spread{3, 2}));
  QTest::mouseClick(view.Canvas(), Qt::LeftButton, {},
                    QPoint(static_cast<int>(bounds.x + bounds.width) - 5, middle));
  EXPECT_EQ(view.CurrentSpread(), (reading::Spread{1, 2}));
}

// Ctrl+F, from the movie too: the bar finds the pages whose texts or search texts hold the words
// as the reader types them, without their accents; Enter and Shift+Enter go round them.
TEST(PageView, TheFindBarGoesToThePagesThatHoldTheWords) {
  PagedWindow w(/*withMovie=*/true);
  ASSERT_TRUE(w.loaded);
  ASSERT_FALSE(w.h.window->ShowsPages());
  QTest::keyClick(w.h.host, Qt::Key_F, Qt::ControlModifier);
  ASSERT_TRUE(w.h.window->ShowsPages());
  auto* field = w.View().findChild<QLineEdit*>("findField");
  auto* count = w.View().findChild<QLabel*>("findCount");
  ASSERT_TRUE(field->isVisible());
  ASSERT_TRUE(field->hasFocus());
  QTest::keyClicks(field, "brucke");
  EXPECT_TRUE(w.View().CurrentSpread().Shows(2));  // "BRÜCKE" shown on page 3
  EXPECT_EQ(count->text(), "1 of 2 pages");
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_TRUE(w.View().CurrentSpread().Shows(6));  // page 7's search text
  EXPECT_EQ(count->text(), "2 of 2 pages");
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_TRUE(w.View().CurrentSpread().Shows(2));
  QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_TRUE(w.View().CurrentSpread().Shows(6));
  QTest::keyClicks(field, "x");
  EXPECT_EQ(count->text(), "No page holds it");
  // Escape closes the bar, not the full screen, and gives the keys back to the pages.
  ASSERT_TRUE(w.h.window->BorderNone());
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_FALSE(field->isVisible());
  EXPECT_TRUE(w.h.window->BorderNone());
  EXPECT_TRUE(w.View().Canvas()->hasFocus());

  // A book without a word in it says so.
  auto blank = std::make_shared<reading::Book>();
  blank->pageWidth = 600;
  blank->pageHeight = 800;
  blank->pages.resize(3);
  PageView view;
  view.SetBook(blank, 1);
  view.show();
  view.OpenFind();
  EXPECT_EQ(view.findChild<QLabel*>("findCount")->text(), "This book has no text to search.");
  EXPECT_FALSE(view.findChild<QLineEdit*>("findField")->isEnabled());
}

// Fitted to its width, a spread taller than the view is read from its top down to its foot
// before the page turns, and back up to the foot of the one before; the fit and the zoom show.
TEST(PageView, FitWidthReadsDownTheSpreadBeforeTurning) {
  PageView view;
  ASSERT_TRUE(ShowBlankBook(view, {1200, 400}));
  view.GoToPage(1, false);
  auto* fitWidth = view.findChild<QToolButton*>("fitWidth");
  auto* zoom = view.findChild<QLabel*>("zoomLabel");
  EXPECT_TRUE(view.findChild<QToolButton*>("fitPage")->isChecked());
  fitWidth->click();
  EXPECT_TRUE(fitWidth->isChecked());
  EXPECT_FALSE(view.findChild<QToolButton*>("fitPage")->isChecked());
  EXPECT_EQ(zoom->text(), QStringLiteral("%1%").arg(std::lround(view.CurrentPlacement().scale * 100)));
  const double foot = view.Canvas()->height() - 12;  // the view's margin
  EXPECT_DOUBLE_EQ(view.CurrentPlacement().bounds.y, 12);
  int steps = 0;
  double last = view.CurrentPlacement().bounds.y;
  for (; steps < 20 && view.CurrentSpread() == reading::Spread{1, 2}; ++steps) {
    const reading::Box bounds = view.CurrentPlacement().bounds;
    ASSERT_LE(bounds.y, last);
    last = bounds.y;
    QTest::keyClick(view.Canvas(), steps % 2 ? Qt::Key_Space : Qt::Key_Down);
    if (view.CurrentSpread() != reading::Spread{1, 2}) {
      EXPECT_DOUBLE_EQ(bounds.y + bounds.height, foot);  // turned only from the foot
    }
  }
  EXPECT_GE(steps, 3);
  EXPECT_EQ(view.CurrentSpread(), (reading::Spread{3, 2}));
  EXPECT_DOUBLE_EQ(view.CurrentPlacement().bounds.y, 12);
  QTest::keyClick(view.Canvas(), Qt::Key_Up);
  EXPECT_EQ(view.CurrentSpread(), (reading::Spread{1, 2}));
  const reading::Box back = view.CurrentPlacement().bounds;
  EXPECT_DOUBLE_EQ(back.y + back.height, foot);
  // Bare plus and minus zoom.
  const QString fitted = zoom->text();
  QTest::keyClick(view.Canvas(), Qt::Key_Plus);
  EXPECT_GT(zoom->text().chopped(1).toInt(), fitted.chopped(1).toInt());
  QTest::keyClick(view.Canvas(), Qt::Key_Minus);
  EXPECT_EQ(zoom->text(), fitted);
}

// F5: the pages alone on a black full screen, turned by keys and clicks; Escape gives the
// window back as it was.
TEST(PageView, PresentationShowsThePagesAloneUntilEscape) {
  PagedWindow w(/*withMovie=*/false);
  ASSERT_TRUE(w.loaded);
  ASSERT_FALSE(w.h.window->BorderNone());
  const QRect before = w.h.window->geometry();
  QTest::keyClick(w.View().Canvas(), Qt::Key_F5);
  ASSERT_TRUE(w.h.window->Presenting());
  EXPECT_TRUE(w.h.window->BorderNone());
  EXPECT_FALSE(w.View().Thumbnails()->isVisible());
  EXPECT_FALSE(w.View().findChild<QSpinBox*>("pageBox")->isVisible());
  EXPECT_EQ(w.View().Canvas()->size(), w.h.window->size());
  EXPECT_EQ(w.View().Canvas()->grab().toImage().pixelColor(2, 2), QColor(Qt::black));
  // One spread or two pages at a time, as the screen's shape has it.
  QTest::keyClick(w.View().Canvas(), Qt::Key_Right);
  const reading::Spread second = w.View().CurrentSpread();
  EXPECT_EQ(second.first, 1);
  const QPoint middle = w.View().Canvas()->rect().center();
  QTest::mouseClick(w.View().Canvas(), Qt::LeftButton, {}, middle);
  EXPECT_EQ(w.View().CurrentSpread().first, second.first + second.count);
  QTest::mouseClick(w.View().Canvas(), Qt::LeftButton, {}, QPoint(3, middle.y()));
  EXPECT_EQ(w.View().CurrentSpread(), second);
  QTest::keyClick(w.View().Canvas(), Qt::Key_Escape);
  EXPECT_FALSE(w.h.window->Presenting());
  EXPECT_FALSE(w.h.window->BorderNone());
  EXPECT_EQ(w.h.window->geometry(), before);
  EXPECT_TRUE(w.View().Thumbnails()->isVisible());
  EXPECT_TRUE(w.View().CurrentSpread().Shows(1));
}

TEST(PageCache, KeepsWithinItsBudgetButNeverDropsThePagesOnScreen) {
  auto book = std::make_shared<reading::Book>();
  book->pageWidth = 100;
  book->pageHeight = 100;
  book->pages.resize(12);
  const QSize size(100, 100);
  const std::size_t page = 100 * 100 * 4;
  PageCache cache(book, 3 * page, 2);
  const auto settle = [&] {
    for (int i = 0; i < 500 && cache.Busy(); ++i) QTest::qWait(5);
    QCoreApplication::processEvents();
  };
  for (int first = 0; first < 12; first += 2) {
    cache.Want({{first, size}, {first + 1, size}, {first + 2, size}, {first + 3, size}}, 2);
    settle();
    EXPECT_LE(cache.Bytes(), 3 * page);
    EXPECT_NE(cache.Find(first, size), nullptr);
    EXPECT_NE(cache.Find(first + 1, size), nullptr);
  }
  // Pages on screen larger than the whole budget stay all the same.
  cache.Want({{0, QSize(200, 200)}, {1, QSize(200, 200)}}, 2);
  settle();
  EXPECT_NE(cache.Find(0, QSize(200, 200)), nullptr);
  EXPECT_NE(cache.Find(1, QSize(200, 200)), nullptr);
  EXPECT_EQ(cache.Bytes(), 2 * 4 * page);

  // Thumbnails asked for before a turn still come: the turn drops pages no longer wanted only.
  QSignalSpy thumbnails(&cache, &PageCache::ThumbnailReady);
  for (int p = 0; p < 12; ++p) cache.WantThumbnail(p, QSize(20, 20));
  cache.Want({{4, size}, {5, size}}, 2);
  for (int i = 0; i < 500 && thumbnails.count() < 12; ++i) thumbnails.wait(20);
  EXPECT_EQ(thumbnails.count(), 12);
}

// "Export as PDF…" in the menu: the core's writer, to the file the reader names, complete or
// not there at all.
TEST(PageView, TheMenuExportsTheBookAsAPdf) {
  PagedWindow w(/*withMovie=*/false);
  ASSERT_TRUE(w.loaded);
  const std::filesystem::path pdf = w.h.dir / "kept" / "paged";
  std::filesystem::create_directories(pdf.parent_path());
  QString suggested;
  w.h.window->SetPdfFileChooser([&](const QString& name) {
    suggested = name;
    return QString::fromStdString(pdf.string());
  });
  QAction* action = w.h.window->ContextMenu()->findChild<QAction*>("exportPdfAction");
  ASSERT_NE(action, nullptr);
  ASSERT_TRUE(action->isEnabled());
  action->trigger();
  EXPECT_TRUE(suggested.endsWith(".pdf"));
  // The name gets its extension; nothing else is left beside it.
  const std::filesystem::path written = pdf.string() + ".pdf";
  ASSERT_TRUE(std::filesystem::exists(written));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(pdf.parent_path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_EQ(std::system(("pdfinfo '" + written.string() + "' | grep -q '^Pages: *9$'").c_str()), 0);

  // A reader who cancels the dialog gets nothing.
  w.h.window->SetPdfFileChooser([](const QString&) { return QString(); });
  action->trigger();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(pdf.parent_path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace pagewend::shell
