#pragma once

#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <memory>

#include "reading/book_pages.h"
#include "reading/spreads.h"

class QLabel;
class QLineEdit;
class QToolButton;
class QListWidget;
class QSpinBox;
class QTreeWidget;
class QVariantAnimation;

namespace pagewend::reading {
class BookSearch;
}

namespace pagewend::shell {

class PageCache;

// The book read from its own pages, without its movie: spreads on a canvas, a table of contents,
// a strip of thumbnails, page numbers and zoom. What a spread is and where things land comes from
// the reading core; this widget paints pages made on worker threads and turns input into moves.
class PageView : public QWidget {
  Q_OBJECT

 public:
  explicit PageView(QWidget* parent = nullptr);
  ~PageView() override;

  // Shows the book from its first page. workers 0 means two.
  void SetBook(std::shared_ptr<const reading::Book> book, unsigned workers = 0);
  bool HasBook() const { return book_ != nullptr; }
  // A short line above the pages (why the movie is not shown, say); empty hides it.
  void SetNote(const QString& text);
  QString Note() const;

  // Turns to the spread that shows page (0-based), with the turn's animation when it moves
  // and animate asks for it.
  void GoToPage(int page, bool animate = true);
  void NextSpread();
  void PreviousSpread();
  // Reading on (Space, Page Down, Down) goes down a spread taller than the view a screenful at a
  // time, then to the next spread from its top; reading back goes up, then to the foot of the
  // spread before.
  void ReadOn();
  void ReadBack();
  // A fitted spread starts at its top.
  void SetFit(reading::Fit fit);
  reading::Fit FitMode() const { return fit_; }
  void ZoomBy(double factor);

  // The find bar above the pages, its field ready for the words; Enter and Shift+Enter go to
  // the next and the previous page that holds them, the bar counts them, Escape closes it. Not
  // during a presentation, which the window ends first.
  void OpenFind();
  bool FindOpen() const;
  // Pages alone on black, every control hidden; keys and clicks turn.
  void SetPresenting(bool presenting);
  bool Presenting() const { return presenting_; }
  // Escape there belongs to a field of the view (the find field, the page field), not the window.
  bool TakesEscape(const QObject* watched) const;

  reading::Spread CurrentSpread() const;
  // Where the current spread's pages lie on the canvas.
  reading::Placement CurrentPlacement() const;
  QWidget* Canvas() const;
  QTreeWidget* Contents() const { return contents_; }
  QListWidget* Thumbnails() const { return thumbnails_; }
  const PageCache* Cache() const { return cache_.get(); }
  double Zoom() const { return zoom_; }
  bool Turning() const;
  // Every page of the current spread is painted from its image at the size shown.
  bool ShowsFinishedSpread() const;

 signals:
  void LinkRequested(const QString& url);
  void FullScreenRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class SpreadCanvas;
  friend class SpreadCanvas;

  reading::Spreads CurrentSpreads() const;
  void BuildFindBar();
  reading::View CanvasView() const;
  static QRect PixelRect(const reading::Box& rect);
  QSize PixelSize(const reading::Box& rect) const;
  // A spread taller than the view shows its top, or its foot when atFoot.
  void ShowSpread(int index, bool animate, bool atFoot = false);
  void CloseFind();
  // Enter's and Shift+Enter's move to the next (1) or previous (-1) page that matches.
  void FindStep(int direction);
  void ShowFindCount();
  void ShowZoom();
  void Prefetch();
  void Paint(QPainter& painter);
  void PaintSpread(QPainter& painter, const reading::Placement& placement, int offsetX);
  void Click(QPoint at);
  void Drag(QPoint delta);
  void Wheel(QPoint angle, bool control);
  void HoverAt(QPoint at);
  void CanvasResized();
  void UpdateControls();
  void RequestVisibleThumbnails();
  double MaxZoom() const;
  // The keys that turn pages, which work from any focus in the view but the page field.
  static bool IsPageKey(const QKeyEvent& event);

  std::shared_ptr<const reading::Book> book_;
  std::unique_ptr<PageCache> cache_;
  SpreadCanvas* canvas_;
  QLabel* note_;
  QTreeWidget* contents_;
  QListWidget* thumbnails_;
  QSpinBox* pageBox_;
  QLabel* pageLabel_;
  QWidget* controls_;
  QToolButton* fitPage_;
  QToolButton* fitWidth_;
  QLabel* zoomLabel_;
  QWidget* findBar_;
  QLineEdit* findField_;
  QLabel* findCount_;
  // Made the first time the reader looks for something.
  std::unique_ptr<reading::BookSearch> search_;
  std::vector<int> matches_;
  bool presenting_ = false;
  bool contentsShown_ = false;
  QVariantAnimation* turn_;
  QPixmap leaving_;
  int direction_ = 1;
  int spread_ = 0;
  reading::SpreadMode mode_ = reading::SpreadMode::Double;
  reading::Fit fit_ = reading::Fit::Page;
  double zoom_ = 1;
  double panX_ = 0;
  // Infinite until the reader moves the spread: its top (+) or foot (-) at whatever size.
  double panY_ = 0;
  int wheelRest_ = 0;
};

}  // namespace pagewend::shell
