#include "shell/page_view.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "imaging/page_render.h"
#include "reading/search.h"
#include "shell/main_window.h"
#include "shell/page_cache.h"

namespace pagewend::shell {

namespace {

// Decoded pages kept at once: a few spreads ahead and behind at full-screen size.
constexpr std::size_t kCacheBytes = std::size_t{96} << 20;
constexpr int kTurnMs = 220;
// 64 MiB a page, however far it is zoomed.
constexpr double kMaxPagePixels = 4096.0 * 4096.0;
constexpr double kMargin = 12;
// A click this near a spread's outer edge (a share of its width) turns the page.
constexpr double kEdgeShare = 0.12;
constexpr QSize kThumbnailBox{64, 90};
constexpr double kTop = std::numeric_limits<double>::infinity();
// In presentation, a click on this share of the screen at the back edge turns back.
constexpr double kBackShare = 0.25;

QColor Colour(std::uint32_t rgb) { return QColor::fromRgb(rgb); }

}  // namespace

class PageView::SpreadCanvas final : public QWidget {
 public:
  explicit SpreadCanvas(PageView& view) : QWidget(&view), view_(view) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setObjectName("pageCanvas");
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    view_.Paint(painter);
  }
  void resizeEvent(QResizeEvent*) override { view_.CanvasResized(); }
  void keyPressEvent(QKeyEvent* event) override { view_.keyPressEvent(event); }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    pressed_ = event->position().toPoint();
    last_ = pressed_;
    dragged_ = false;
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    const QPoint at = event->position().toPoint();
    if (!(event->buttons() & Qt::LeftButton)) return view_.HoverAt(at);
    if ((at - pressed_).manhattanLength() >= QApplication::startDragDistance()) dragged_ = true;
    if (dragged_) view_.Drag(at - last_);
    last_ = at;
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    if (!dragged_) view_.Click(event->position().toPoint());
  }
  void wheelEvent(QWheelEvent* event) override {
    view_.Wheel(event->angleDelta(), event->modifiers() & Qt::ControlModifier);
    event->accept();
  }

 private:
  PageView& view_;
  QPoint pressed_;
  QPoint last_;
  bool dragged_ = false;
};

PageView::PageView(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0x3A, 0x3A, 0x3A));
  palette.setColor(QPalette::WindowText, Qt::white);
  setPalette(palette);

  note_ = new QLabel(this);
  note_->setObjectName("pageViewNote");
  note_->setWordWrap(true);
  // A note in the desktop's own colours for notes, dark or light.
  note_->setAutoFillBackground(true);
  note_->setBackgroundRole(QPalette::ToolTipBase);
  note_->setForegroundRole(QPalette::ToolTipText);
  note_->setPalette(DesktopPalette());
  note_->setMargin(6);
  note_->hide();

  canvas_ = new SpreadCanvas(*this);
  contents_ = new QTreeWidget(this);
  contents_->setObjectName("contents");
  contents_->setHeaderHidden(true);
  // The contents beside the pages follow the desktop's colours, not the pages' dark backdrop.
  contents_->setPalette(DesktopPalette());
  contents_->hide();
  connect(contents_, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item) { GoToPage(item->data(0, Qt::UserRole).toInt()); });
  connect(contents_, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item) { GoToPage(item->data(0, Qt::UserRole).toInt()); });
  auto* splitter = new QSplitter(this);
  splitter->addWidget(contents_);
  splitter->addWidget(canvas_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({200, 700});

  thumbnails_ = new QListWidget(this);
  thumbnails_->setObjectName("thumbnails");
  // List mode laid out across: the icon mode would lay out the whole strip again for every
  // thumbnail that arrives.
  thumbnails_->setViewMode(QListView::ListMode);
  thumbnails_->setFlow(QListView::LeftToRight);
  thumbnails_->setWrapping(false);
  thumbnails_->setMovement(QListView::Static);
  thumbnails_->setUniformItemSizes(true);
  // Both pages of a spread are marked; a click goes to its page, which marks the spread anew.
  thumbnails_->setSelectionMode(QAbstractItemView::MultiSelection);
  thumbnails_->setIconSize(kThumbnailBox);
  thumbnails_->setFixedHeight(kThumbnailBox.height() + 30);
  thumbnails_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  connect(thumbnails_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { GoToPage(thumbnails_->row(item)); });
  connect(thumbnails_->horizontalScrollBar(), &QScrollBar::valueChanged, this,
          [this] { RequestVisibleThumbnails(); });

  controls_ = new QWidget(this);
  auto* bar = new QHBoxLayout(controls_);
  bar->setContentsMargins(8, 4, 8, 4);
  const auto button = [this, bar](const QVariant& face, const QString& tip, auto action) {
    auto* b = new QToolButton(controls_);
    if (face.typeId() == QMetaType::QString)
      b->setText(face.toString());
    else
      b->setIcon(style()->standardIcon(face.value<QStyle::StandardPixmap>()));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    connect(b, &QToolButton::clicked, this, action);
    bar->addWidget(b);
    return b;
  };
  button(QStringLiteral("Contents"), QStringLiteral("Show or hide the table of contents"),
         [this] { contents_->setVisible(contents_->isHidden() && contents_->topLevelItemCount() > 0); });
  bar->addStretch();
  button(QVariant::fromValue(QStyle::SP_MediaSkipBackward), QStringLiteral("First page (Home)"),
         [this] { GoToPage(0); });
  button(QVariant::fromValue(QStyle::SP_ArrowLeft), QStringLiteral("Previous pages (Left)"),
         [this] { PreviousSpread(); });
  pageBox_ = new QSpinBox(controls_);
  pageBox_->setObjectName("pageBox");
  pageBox_->setKeyboardTracking(false);
  pageBox_->setMinimum(1);
  connect(pageBox_, &QSpinBox::valueChanged, this, [this](int value) {
    if (!CurrentSpread().Shows(value - 1)) GoToPage(value - 1);
  });
  bar->addWidget(pageBox_);
  pageLabel_ = new QLabel(controls_);
  pageLabel_->setObjectName("pageLabel");
  bar->addWidget(pageLabel_);
  button(QVariant::fromValue(QStyle::SP_ArrowRight), QStringLiteral("Next pages (Right)"),
         [this] { NextSpread(); });
  button(QVariant::fromValue(QStyle::SP_MediaSkipForward), QStringLiteral("Last page (End)"),
         [this] { GoToPage(book_ ? static_cast<int>(book_->pages.size()) - 1 : 0); });
  bar->addStretch();
  fitPage_ = button(QStringLiteral("Fit page"), QStringLiteral("Fit the pages in the window (Ctrl+0)"),
                    [this] { SetFit(reading::Fit::Page); });
  fitPage_->setObjectName("fitPage");
  fitWidth_ = button(QStringLiteral("Fit width"), QStringLiteral("Fit the pages' width, read down them"),
                     [this] { SetFit(reading::Fit::Width); });
  fitWidth_->setObjectName("fitWidth");
  for (QToolButton* fit : {fitPage_, fitWidth_}) fit->setCheckable(true);
  button(QStringLiteral("−"), QStringLiteral("Zoom out (minus)"), [this] { ZoomBy(1 / 1.25); });
  zoomLabel_ = new QLabel(controls_);
  zoomLabel_->setObjectName("zoomLabel");
  zoomLabel_->setToolTip(QStringLiteral("The pages' size against the book's own"));
  bar->addWidget(zoomLabel_);
  button(QStringLiteral("+"), QStringLiteral("Zoom in (plus)"), [this] { ZoomBy(1.25); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  BuildFindBar();
  layout->addWidget(note_);
  layout->addWidget(findBar_);
  layout->addWidget(splitter, 1);
  layout->addWidget(thumbnails_);
  layout->addWidget(controls_);

  // The page field gives the keyboard back to the pages once a number is entered or given up;
  // Ctrl+L and Ctrl+G reach it from anywhere in the view. The side panels pass the page keys on.
  pageBox_->installEventFilter(this);
  thumbnails_->installEventFilter(this);
  contents_->installEventFilter(this);
  for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::CTRL | Qt::Key_G)}) {
    auto* goTo = new QShortcut(keys, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(goTo, &QShortcut::activated, this, [this] {
      pageBox_->setFocus(Qt::ShortcutFocusReason);
      pageBox_->selectAll();
    });
  }

  turn_ = new QVariantAnimation(this);
  turn_->setStartValue(0.0);
  turn_->setEndValue(1.0);
  turn_->setDuration(kTurnMs);
  turn_->setEasingCurve(QEasingCurve::OutCubic);
  connect(turn_, &QVariantAnimation::valueChanged, canvas_, qOverload<>(&QWidget::update));
  connect(turn_, &QVariantAnimation::finished, this, [this] {
    leaving_ = QPixmap();
    canvas_->update();
  });
}

void PageView::BuildFindBar() {
  findBar_ = new QWidget(this);
  findBar_->setObjectName("findBar");
  findBar_->setAutoFillBackground(true);
  auto* row = new QHBoxLayout(findBar_);
  row->setContentsMargins(8, 4, 8, 4);
  auto* label = new QLabel(QStringLiteral("Find:"), findBar_);
  findField_ = new QLineEdit(findBar_);
  findField_->setObjectName("findField");
  findField_->setClearButtonEnabled(true);
  findField_->setMaximumWidth(320);
  findCount_ = new QLabel(findBar_);
  findCount_->setObjectName("findCount");
  const auto button = [this, row](const QString& face, const QString& tip, auto action) {
    auto* b = new QToolButton(findBar_);
    b->setText(face);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    connect(b, &QToolButton::clicked, this, action);
    row->addWidget(b);
  };
  row->addWidget(label);
  row->addWidget(findField_, 1);
  button(QStringLiteral("↑"), QStringLiteral("Previous page that matches (Shift+Enter)"),
         [this] { FindStep(-1); });
  button(QStringLiteral("↓"), QStringLiteral("Next page that matches (Enter)"), [this] { FindStep(1); });
  row->addWidget(findCount_);
  row->addStretch();
  button(QStringLiteral("×"), QStringLiteral("Close (Escape)"), [this] { CloseFind(); });
  findBar_->hide();
  findField_->installEventFilter(this);
  connect(findField_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!search_) return;
    matches_ = search_->PagesMatching(text.toStdString());
    // As the words are typed, the first page from here on that holds them.
    const int from = CurrentSpread().first;
    const auto next = std::find_if(matches_.begin(), matches_.end(), [&](int page) { return page >= from; });
    if (!matches_.empty()) GoToPage(next != matches_.end() ? *next : matches_.front());
    ShowFindCount();
  });
}

PageView::~PageView() = default;

void PageView::SetBook(std::shared_ptr<const reading::Book> book, unsigned workers) {
  book_ = std::move(book);
  cache_ = std::make_unique<PageCache>(book_, kCacheBytes, workers == 0 ? 2 : workers);
  connect(cache_.get(), &PageCache::PageReady, canvas_, [this](int page) {
    if (CurrentSpread().Shows(page)) canvas_->update();
  });
  connect(cache_.get(), &PageCache::ThumbnailReady, this, [this](int page, const QImage& thumbnail) {
    if (QListWidgetItem* item = thumbnails_->item(page)) item->setIcon(QIcon(QPixmap::fromImage(thumbnail)));
  });

  contents_->clear();
  std::vector<QTreeWidgetItem*> parents;
  for (const reading::ContentsEntry& entry : book_->contents) {
    const auto level = static_cast<std::size_t>(std::max(0, entry.level));
    parents.resize(std::min(parents.size(), level));
    QTreeWidgetItem* parent = parents.empty() ? nullptr : parents.back();
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(contents_);
    item->setText(0, QString::fromStdString(entry.title));
    item->setData(0, Qt::UserRole, entry.page);
    item->setToolTip(0, QStringLiteral("Page %1").arg(entry.page + 1));
    parents.push_back(item);
  }
  contents_->expandAll();
  contents_->setVisible(contents_->topLevelItemCount() > 0);

  thumbnails_->clear();
  for (std::size_t i = 0; i < book_->pages.size(); ++i) {
    auto* item = new QListWidgetItem(thumbnails_);
    item->setToolTip(QStringLiteral("Page %1").arg(i + 1));
    item->setSizeHint(QSize(kThumbnailBox.width() + 8, kThumbnailBox.height() + 8));
  }
  pageBox_->setMaximum(std::max<int>(1, static_cast<int>(book_->pages.size())));
  search_.reset();
  matches_.clear();
  findField_->clear();
  findBar_->hide();
  zoom_ = 1;
  panX_ = panY_ = 0;
  mode_ = reading::ModeForView(canvas_->width(), canvas_->height());
  ShowSpread(0, false);
  canvas_->setFocus();
}

void PageView::SetNote(const QString& text) {
  note_->setText(text);
  note_->setVisible(!text.isEmpty());
}

QString PageView::Note() const { return note_->isHidden() ? QString() : note_->text(); }

reading::Spreads PageView::CurrentSpreads() const {
  return reading::Spreads(book_ ? static_cast<int>(book_->pages.size()) : 0, mode_);
}

reading::Spread PageView::CurrentSpread() const { return CurrentSpreads().At(spread_); }

reading::View PageView::CanvasView() const {
  return {static_cast<double>(canvas_->width()), static_cast<double>(canvas_->height()),
          presenting_ ? 0 : kMargin};
}

reading::Placement PageView::CurrentPlacement() const {
  if (!book_) return {};
  return reading::Place(*book_, CurrentSpreads(), spread_, CanvasView(), fit_, zoom_, panX_, panY_);
}

QWidget* PageView::Canvas() const { return canvas_; }

bool PageView::Turning() const { return turn_->state() == QAbstractAnimation::Running; }

QRect PageView::PixelRect(const reading::Box& rect) {
  const int left = static_cast<int>(std::lround(rect.x));
  const int top = static_cast<int>(std::lround(rect.y));
  return QRect(QPoint(left, top), QPoint(static_cast<int>(std::lround(rect.x + rect.width)) - 1,
                                         static_cast<int>(std::lround(rect.y + rect.height)) - 1));
}

QSize PageView::PixelSize(const reading::Box& rect) const {
  const QRect pixels = PixelRect(rect);
  double ratio = canvas_->devicePixelRatioF();
  // A page zoomed past this is made at this size and drawn larger.
  const double area = pixels.width() * ratio * pixels.height() * ratio;
  if (area > kMaxPagePixels) ratio *= std::sqrt(kMaxPagePixels / area);
  return {std::max(1, static_cast<int>(std::lround(pixels.width() * ratio))),
          std::max(1, static_cast<int>(std::lround(pixels.height() * ratio)))};
}

bool PageView::ShowsFinishedSpread() const {
  if (!book_ || !cache_) return false;
  for (const reading::PagePlacement& placed : CurrentPlacement().pages)
    if (!cache_->Find(placed.page, PixelSize(placed.rect))) return false;
  return true;
}

void PageView::GoToPage(int page, bool animate) {
  if (!book_) return;
  ShowSpread(CurrentSpreads().IndexOf(page), animate);
}

void PageView::NextSpread() { ShowSpread(spread_ + 1, true); }
void PageView::PreviousSpread() { ShowSpread(spread_ - 1, true); }

void PageView::ReadOn() {
  if (!book_) return;
  if (const auto pan = reading::ScrollStep(CurrentPlacement(), CanvasView(), 1)) {
    panY_ = *pan;
    Prefetch();
    canvas_->update();
    return;
  }
  NextSpread();
}

void PageView::ReadBack() {
  if (!book_) return;
  if (const auto pan = reading::ScrollStep(CurrentPlacement(), CanvasView(), -1)) {
    panY_ = *pan;
    Prefetch();
    canvas_->update();
    return;
  }
  if (spread_ > 0) ShowSpread(spread_ - 1, true, /*atFoot=*/true);
}

void PageView::ShowSpread(int index, bool animate, bool atFoot) {
  if (!book_) return;
  index = std::clamp(index, 0, CurrentSpreads().Count() - 1);
  if (index == spread_ && !leaving_.isNull()) return;
  if (animate && index != spread_ && canvas_->isVisible()) {
    // The leaving spread as it is on screen now; the arriving one slides in over it.
    leaving_ = canvas_->grab();
    direction_ = index > spread_ ? 1 : -1;
    if (book_->rightToLeft) direction_ = -direction_;
    turn_->stop();
    turn_->start();
  }
  spread_ = index;
  zoom_ = 1;
  panX_ = 0;
  panY_ = atFoot ? -kTop : kTop;
  Prefetch();
  UpdateControls();
  canvas_->update();
}

void PageView::Prefetch() {
  if (!cache_) return;
  const reading::Spreads spreads = CurrentSpreads();
  std::vector<std::pair<int, QSize>> wanted;
  const auto add = [&](int index, double zoom) {
    if (index < 0 || index >= spreads.Count()) return;
    const reading::Placement placed =
        reading::Place(*book_, spreads, index, CanvasView(), fit_, zoom, panX_, panY_);
    for (const auto& page : placed.pages) wanted.emplace_back(page.page, PixelSize(page.rect));
  };
  add(spread_, zoom_);
  const std::size_t onScreen = wanted.size();
  // The next spreads first: reading goes forward.
  add(spread_ + 1, 1);
  add(spread_ - 1, 1);
  add(spread_ + 2, 1);
  cache_->Want(wanted, onScreen);
}

void PageView::UpdateControls() {
  if (!book_) return;
  const reading::Spread spread = CurrentSpread();
  const int count = static_cast<int>(book_->pages.size());
  const QSignalBlocker block(pageBox_);
  pageBox_->setValue(spread.first + 1);
  if (spread.count == 2)
    pageLabel_->setText(QStringLiteral("–%1 of %2").arg(spread.first + 2).arg(count));
  else
    pageLabel_->setText(QStringLiteral("of %1").arg(count));
  thumbnails_->clearSelection();
  for (int p = spread.first; p < spread.first + spread.count; ++p)
    if (QListWidgetItem* item = thumbnails_->item(p)) item->setSelected(true);
  if (QListWidgetItem* item = thumbnails_->item(spread.first)) thumbnails_->scrollToItem(item);
  RequestVisibleThumbnails();
  ShowZoom();
  if (FindOpen()) ShowFindCount();
}

void PageView::ShowZoom() {
  fitPage_->setChecked(fit_ == reading::Fit::Page);
  fitWidth_->setChecked(fit_ == reading::Fit::Width);
  zoomLabel_->setText(book_ ? QStringLiteral("%1%").arg(std::lround(CurrentPlacement().scale * 100))
                            : QString());
}

void PageView::RequestVisibleThumbnails() {
  if (!cache_ || thumbnails_->count() == 0) return;
  const QRect area = thumbnails_->viewport()->rect();
  const QModelIndex first = thumbnails_->indexAt(QPoint(area.left() + 4, area.center().y()));
  const QModelIndex last = thumbnails_->indexAt(QPoint(area.right() - 4, area.center().y()));
  const int from = first.isValid() ? first.row() : 0;
  const int to = last.isValid() ? last.row() : std::min(thumbnails_->count() - 1, from + 20);
  for (int p = std::max(0, from - 2); p <= std::min(thumbnails_->count() - 1, to + 2); ++p)
    cache_->WantThumbnail(p, kThumbnailBox);
}

void PageView::CanvasResized() {
  if (!book_) return;
  const reading::SpreadMode mode = reading::ModeForView(canvas_->width(), canvas_->height());
  if (mode != mode_) {
    // The same first page stays in view when the spreads change shape.
    const int page = CurrentSpread().first;
    mode_ = mode;
    spread_ = CurrentSpreads().IndexOf(page);
    UpdateControls();
  }
  Prefetch();
  ShowZoom();
}

void PageView::Paint(QPainter& painter) {
  painter.fillRect(canvas_->rect(), presenting_ ? QColor(Qt::black) : palette().color(QPalette::Window));
  if (!book_) return;
  const reading::Placement placement = CurrentPlacement();
  if (!leaving_.isNull() && Turning()) {
    const double t = turn_->currentValue().toDouble();
    const int shift = static_cast<int>(std::lround(t * canvas_->width()));
    painter.drawPixmap(QPoint(-direction_ * shift, 0), leaving_);
    PaintSpread(painter, placement, direction_ * (canvas_->width() - shift));
    return;
  }
  PaintSpread(painter, placement, 0);
}

void PageView::PaintSpread(QPainter& painter, const reading::Placement& placement, int offsetX) {
  for (const reading::PagePlacement& placed : placement.pages) {
    // Whole pixels, so that a page made at this size is copied, not scaled.
    const QRect target = PixelRect(placed.rect).translated(offsetX, 0);
    const QSize size = PixelSize(placed.rect);
    if (const QImage* image = cache_->Find(placed.page, size)) {
      if (image->size() == target.size())
        painter.drawImage(target.topLeft(), *image);
      else
        painter.drawImage(target, *image);
    } else if (const QImage* nearest = cache_->Nearest(placed.page, size)) {
      painter.drawImage(target, *nearest);
    } else {
      painter.fillRect(target, Colour(book_->pages[static_cast<std::size_t>(placed.page)].background));
    }
  }
  if (placement.pages.size() == 2) {
    // The spine: a faint shade where the pages meet.
    const double x = placement.pages[1].rect.x + offsetX;
    QLinearGradient shade(x - 10, 0, x + 10, 0);
    shade.setColorAt(0, QColor(0, 0, 0, 0));
    shade.setColorAt(0.5, QColor(0, 0, 0, 60));
    shade.setColorAt(1, QColor(0, 0, 0, 0));
    painter.fillRect(QRectF(x - 10, placement.bounds.y, 20, placement.bounds.height), shade);
  }
}

void PageView::Click(QPoint at) {
  if (!book_) return;
  const reading::Placement placement = CurrentPlacement();
  const reading::LinkHit hit = reading::LinkAt(*book_, placement, at.x(), at.y());
  if (hit.link) {
    if (hit.link->page >= 0)
      GoToPage(hit.link->page);
    else
      emit LinkRequested(QString::fromStdString(hit.link->url));
    return;
  }
  if (presenting_) {
    // Anywhere turns on, but the back edge of the screen, which turns back.
    const bool back = book_->rightToLeft ? at.x() >= canvas_->width() * (1 - kBackShare)
                                         : at.x() < canvas_->width() * kBackShare;
    back ? PreviousSpread() : NextSpread();
    return;
  }
  // Near the spread's outer edges, or beside it, a click turns the page that way.
  const reading::Box& bounds = placement.bounds;
  const double edge = std::max(24.0, bounds.width * kEdgeShare);
  const bool forward = at.x() >= bounds.x + bounds.width - edge;
  const bool back = at.x() < bounds.x + edge;
  if (forward != back) (forward != book_->rightToLeft) ? NextSpread() : PreviousSpread();
}

void PageView::HoverAt(QPoint at) {
  if (!book_) return;
  const bool onLink = reading::LinkAt(*book_, CurrentPlacement(), at.x(), at.y()).link != nullptr;
  canvas_->setCursor(onLink ? Qt::PointingHandCursor : (zoom_ > 1 ? Qt::OpenHandCursor : Qt::ArrowCursor));
}

void PageView::Drag(QPoint delta) {
  if (!book_) return;
  panX_ += delta.x();
  panY_ += delta.y();
  // Kept within what the placement allows, so that dragging back answers at once.
  const reading::Placement placed = CurrentPlacement();
  panX_ = placed.bounds.x - (canvas_->width() - placed.bounds.width) / 2;
  panY_ = placed.bounds.y - (canvas_->height() - placed.bounds.height) / 2;
  canvas_->update();
}

void PageView::Wheel(QPoint angle, bool control) {
  if (control) {
    ZoomBy(std::pow(1.25, angle.y() / 120.0));
    return;
  }
  if (zoom_ > 1.001) {
    Drag(QPoint(angle.x() / 2, angle.y() / 2));
    return;
  }
  // Down a spread taller than the view first; at its end, a notch turns a page (a touchpad's
  // small steps add up to one).
  if (angle.y() != 0 && reading::ScrollStep(CurrentPlacement(), CanvasView(), angle.y() < 0 ? 1 : -1)) {
    wheelRest_ = 0;
    Drag(QPoint(0, angle.y()));
    return;
  }
  wheelRest_ += angle.y() != 0 ? angle.y() : angle.x();
  while (wheelRest_ <= -120) {
    wheelRest_ += 120;
    NextSpread();
  }
  while (wheelRest_ >= 120) {
    wheelRest_ -= 120;
    if (spread_ > 0) ShowSpread(spread_ - 1, true, /*atFoot=*/true);
  }
}

double PageView::MaxZoom() const {
  // Up to the page image's own resolution, and never less than twice the fitted size.
  double most = 2;
  if (!book_) return most;
  const reading::Placement placement =
      reading::Place(*book_, CurrentSpreads(), spread_, CanvasView(), fit_, 1);
  for (const reading::PagePlacement& placed : placement.pages)
    most = std::max(most, imaging::ImageResolution(book_->pages[static_cast<std::size_t>(placed.page)]) /
                              placement.scale);
  return std::min(most, 16.0);
}

void PageView::ZoomBy(double factor) {
  if (!book_) return;
  zoom_ = std::clamp(zoom_ * factor, 0.25, MaxZoom());
  Prefetch();
  HoverAt(canvas_->mapFromGlobal(QCursor::pos()));
  ShowZoom();
  canvas_->update();
}

void PageView::SetFit(reading::Fit fit) {
  fit_ = fit;
  zoom_ = 1;
  panX_ = 0;
  panY_ = kTop;
  Prefetch();
  ShowZoom();
  canvas_->update();
}

bool PageView::FindOpen() const { return !findBar_->isHidden(); }

void PageView::OpenFind() {
  if (!book_ || presenting_) return;
  if (!search_) search_ = std::make_unique<reading::BookSearch>(*book_);
  findBar_->show();
  findField_->setEnabled(!search_->Empty());
  if (search_->Empty()) {
    findCount_->setText(QStringLiteral("This book has no text to search."));
    return;
  }
  findField_->setFocus(Qt::ShortcutFocusReason);
  findField_->selectAll();
  ShowFindCount();
}

void PageView::CloseFind() {
  findBar_->hide();
  canvas_->setFocus(Qt::OtherFocusReason);
}

void PageView::FindStep(int direction) {
  if (matches_.empty()) return;
  const reading::Spread shown = CurrentSpread();
  int target = 0;
  if (direction > 0) {
    const auto next = std::find_if(matches_.begin(), matches_.end(),
                                   [&](int page) { return page >= shown.first + shown.count; });
    target = next != matches_.end() ? *next : matches_.front();
  } else {
    const auto before =
        std::find_if(matches_.rbegin(), matches_.rend(), [&](int page) { return page < shown.first; });
    target = before != matches_.rend() ? *before : matches_.back();
  }
  GoToPage(target);
  ShowFindCount();
}

void PageView::ShowFindCount() {
  if (!search_ || search_->Empty()) return;
  if (findField_->text().trimmed().isEmpty()) {
    findCount_->clear();
    return;
  }
  const auto count = static_cast<int>(matches_.size());
  if (count == 0) {
    findCount_->setText(QStringLiteral("No page holds it"));
    return;
  }
  const reading::Spread shown = CurrentSpread();
  const auto here =
      std::find_if(matches_.begin(), matches_.end(), [&](int page) { return shown.Shows(page); });
  const QString pages = count == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(count);
  findCount_->setText(here == matches_.end()
                          ? pages
                          : QStringLiteral("%1 of %2").arg(here - matches_.begin() + 1).arg(pages));
}

void PageView::SetPresenting(bool presenting) {
  if (presenting == presenting_ || !book_) return;
  presenting_ = presenting;
  if (presenting) {
    contentsShown_ = !contents_->isHidden();
    findBar_->hide();
    fit_ = reading::Fit::Page;
  }
  thumbnails_->setVisible(!presenting);
  controls_->setVisible(!presenting);
  contents_->setVisible(!presenting && contentsShown_);
  note_->setVisible(!presenting && !note_->text().isEmpty());
  zoom_ = 1;
  panX_ = 0;
  panY_ = kTop;
  canvas_->setFocus(Qt::OtherFocusReason);
  Prefetch();
  UpdateControls();
  canvas_->update();
}

bool PageView::TakesEscape(const QObject* watched) const {
  return watched == findField_ || watched == pageBox_ ||
         (watched->isWidgetType() && pageBox_->isAncestorOf(static_cast<const QWidget*>(watched)));
}

bool PageView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (watched == findField_) {
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        FindStep(key->modifiers() & Qt::ShiftModifier ? -1 : 1);
        return true;
      case Qt::Key_Escape:
        CloseFind();
        return true;
      default:
        return QWidget::eventFilter(watched, event);
    }
  }
  if (watched == pageBox_) {
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        pageBox_->interpretText();
        canvas_->setFocus(Qt::OtherFocusReason);
        return true;
      case Qt::Key_Escape:
        UpdateControls();  // the number shown goes back to the spread's
        canvas_->setFocus(Qt::OtherFocusReason);
        return true;
      default:
        return QWidget::eventFilter(watched, event);
    }
  }
  if (IsPageKey(*key)) {
    keyPressEvent(key);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool PageView::IsPageKey(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Right:
    case Qt::Key_Left:
    case Qt::Key_PageDown:
    case Qt::Key_PageUp:
    case Qt::Key_Space:
    case Qt::Key_Backspace:
    case Qt::Key_Down:
    case Qt::Key_Up:
    case Qt::Key_Home:
    case Qt::Key_End:
      return true;
    default:
      return false;
  }
}

void PageView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The contents never take more than a third of a small window from the pages.
  contents_->setMaximumWidth(std::max(80, width() / 3));
}

void PageView::keyPressEvent(QKeyEvent* event) {
  const bool control = event->modifiers() & Qt::ControlModifier;
  switch (event->key()) {
    case Qt::Key_Space:
      if (event->modifiers() & Qt::ShiftModifier)
        ReadBack();
      else
        ReadOn();
      break;
    case Qt::Key_PageDown:
    case Qt::Key_Down:
      ReadOn();
      break;
    case Qt::Key_PageUp:
    case Qt::Key_Backspace:
    case Qt::Key_Up:
      ReadBack();
      break;
    case Qt::Key_Right:
      NextSpread();
      break;
    case Qt::Key_Left:
      PreviousSpread();
      break;
    case Qt::Key_Home:
      GoToPage(0);
      break;
    case Qt::Key_End:
      GoToPage(book_ ? static_cast<int>(book_->pages.size()) - 1 : 0);
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomBy(1.25);
      break;
    case Qt::Key_Minus:
      ZoomBy(1 / 1.25);
      break;
    case Qt::Key_0:
      if (!control) return QWidget::keyPressEvent(event);
      SetFit(reading::Fit::Page);
      break;
    case Qt::Key_F11:
      emit FullScreenRequested();
      break;
    default:
      return QWidget::keyPressEvent(event);
  }
  event->accept();
}

}  // namespace pagewend::shell
