#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "book/book_check.h"
#include "book/book_documents.h"
#include "book/unpacked_book.h"
#include "pdf/pdf_book.h"
#include "player/flash_request_parser.h"
#include "shell/loading_thread.h"
#include "shell/movie_host.h"
#include "shell/page_view.h"
#include "support/folder_tree.h"
#include "support/links.h"

namespace pagewend::shell {

using player::FlashRequestParser;

namespace {

constexpr int kWindowWidth = 900;
// How long after the reader's click or key a movie's link may still leave, and how many refused
// links of a movie the log names.
constexpr int kLinkAfterInputMs = 1000;
constexpr int kLoggedRefusals = 20;
constexpr int kWindowHeight = 600;
constexpr std::size_t kRecentBooks = 10;

QRect PrimaryScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry() : QRect(0, 0, kWindowWidth, kWindowHeight);
}

// Where a window may lie: the primary screen without the desktop's panels.
QRect AvailableScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : PrimaryScreen();
}

QRect Centred(QSize size) {
  const QRect screen = AvailableScreen();
  return {QPoint(screen.x() + (screen.width() - size.width()) / 2,
                 screen.y() + (screen.height() - size.height()) / 2),
          size};
}

}  // namespace

QPalette DesktopPalette() {
  // Every colour set on its own, so that none is taken from a parent that wears the book's.
  QPalette palette = QApplication::palette();
  for (int group = 0; group < QPalette::NColorGroups; ++group)
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
      const auto g = static_cast<QPalette::ColorGroup>(group);
      const auto r = static_cast<QPalette::ColorRole>(role);
      palette.setColor(g, r, palette.color(g, r));
    }
  return palette;
}

QRect FitWithin(QRect wanted, const QRect& available) {
  wanted.setSize(wanted.size().boundedTo(available.size()));
  wanted.moveLeft(std::clamp(wanted.left(), available.left(), available.right() - wanted.width() + 1));
  wanted.moveTop(std::clamp(wanted.top(), available.top(), available.bottom() - wanted.height() + 1));
  return wanted;
}

// The reader's messages, handed to the window's thread; the reader waits for each.
class MainWindow::Listener final : public book::BookListener {
 public:
  explicit Listener(MainWindow& window) : window_(window) {}
  void BookTitle(const std::string& title) override {
    const QString text = QString::fromStdString(title);
    window_.gate_.Send([this, text] { window_.ShowTitle(text); });
  }
  void BookProgress(int done, int total) override {
    window_.gate_.Send([this, done, total] { window_.ShowProgress(done, total); });
  }
  void BookWritten(const std::shared_ptr<const book::FilesInMaking>& imagesInMaking) override {
    window_.gate_.Send([this, imagesInMaking] { window_.PlayWrittenBook(imagesInMaking); });
  }
  void BookLoaded(const book::UnpackedBook& book) override {
    window_.gate_.Send([this, &book] { window_.PlayLoadedBook(book); });
  }

 private:
  MainWindow& window_;
};

class MainWindow::MessageBoxNotifier final : public Notifier {
 public:
  explicit MessageBoxNotifier(MainWindow& window) : window_(window) {}
  void Notify(std::string_view message) override {
    const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    window_.gate_.Send([this, text] { QMessageBox::information(&window_, window_.windowTitle(), text); });
  }

 private:
  MainWindow& window_;
};

MainWindow::MainWindow(PlayerRun run, MovieHost* movie, std::shared_ptr<const RunLog>& log)
    : run_(std::move(run)),
      log_(log),
      movie_(movie),
      gate_(this),
      listener_(std::make_unique<Listener>(*this)),
      notifier_(std::make_unique<MessageBoxNotifier>(*this)) {
  if (!run_.stateFolder.empty() && !run_.screenSaver) {
    identity_ = reading::BookIdentity(run_.bookFile);
    if (!identity_.empty()) place_ = reading::ReadingPlaces::Load(run_.stateFolder).Find(identity_);
  }
  // The book's title and background from the first frame: its project document is read now,
  // a few kilobytes at the package's end, long before the rest is unpacked.
  const std::optional<book::BookLook> look = book::ReadBookLook(run_.bookFile, run_.settings);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  if (look) {
    hasMovie_ = look->hasMovie;
    palette.setColor(QPalette::Window, QColor::fromRgb(look->background));
    setWindowTitle(QString::fromStdString(look->title));
  }
  setPalette(palette);
  QFont font("Tahoma");
  font.setPixelSize(11);
  setFont(font);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(movie_, 0, 0);
  BuildStrip(layout, palette);
  BuildProblemPanel(layout, font);
  BuildViews(layout);
  BuildMenu();
  if (look) movie_->SetBackground(palette.color(QPalette::Window));
  connect(movie_, &MovieHost::FlashCall, this, &MainWindow::HandleFlashCall);
  connect(movie_, &MovieHost::FileNote, this,
          [this](const QString& note) { WriteLog(log_.get(), "[Movie]: " + note.toStdString()); });
  connect(movie_, &MovieHost::LinkRequested, this, &MainWindow::OpenMovieLink);
  linkOpener_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  bookOpener_ = [](const QString& file) {
    return QProcess::startDetached(QCoreApplication::applicationFilePath(),
                                   {QFileInfo(file).absoluteFilePath()});
  };
  bookFileChooser_ = [this] {
    return QFileDialog::getOpenFileName(this, QStringLiteral("Open a book"), QDir::homePath(),
                                        QStringLiteral("Books (*.pagewend *.exe *.scr);;All files (*)"));
  };
  // A book file dropped on a widget that takes no drops comes to the window, and its filter.
  setAcceptDrops(!run_.screenSaver);

  PlaceForStart();
  // Keys reach the window before its children, whichever child has the focus.
  qApp->installEventFilter(this);
}

void MainWindow::BuildStrip(QGridLayout* layout, const QPalette& palette) {
  // The book's background over the whole window, hiding the movie until its first frame, with
  // the title and the progress in a box of the desktop's own colours at its centre.
  strip_ = new QWidget(this);
  strip_->setAutoFillBackground(true);
  strip_->setPalette(palette);
  // Placed by hand (resizeEvent), so that it never holds the window larger than the reader makes
  // it.
  stripBox_ = new QWidget(strip_);
  stripBox_->setObjectName("stripBox");
  stripBox_->setAutoFillBackground(true);
  stripBox_->setPalette(DesktopPalette());
  auto* boxLayout = new QVBoxLayout(stripBox_);
  stripTitle_ = new QLabel(windowTitle(), stripBox_);
  stripTitle_->setObjectName("stripTitle");
  stripTitle_->setAlignment(Qt::AlignCenter);
  // A long title is cut by the box rather than widening it past a small window.
  stripTitle_->setMinimumWidth(1);
  stripTitle_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  progressBar_ = new QProgressBar(stripBox_);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setMinimumWidth(1);
  progressBar_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  boxLayout->addWidget(stripTitle_);
  boxLayout->addWidget(progressBar_);
  layout->addWidget(strip_, 0, 0);
  strip_->raise();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The strip's box takes half the window, between what a title and a bar need and what still
  // reads as a small box, and never more than the window has.
  const int margin = std::clamp(height() / 20, 2, 12);
  stripBox_->layout()->setContentsMargins(margin, margin, margin, margin);
  const QSize box(std::min({std::max(width() / 2, 240), 480, std::max(width() - 16, 1)}),
                  std::min(stripBox_->layout()->sizeHint().height(), height()));
  stripBox_->setGeometry(QRect(QPoint((width() - box.width()) / 2, (height() - box.height()) / 2), box));
}

void MainWindow::PlaceForStart() {
  // The reader's own window for this book when there is one, else 900 × 600, centred.
  const bool ownWindow = place_ && !place_->fullScreen && place_->width >= 200 && place_->height >= 150;
  PlaceWithin(Centred(ownWindow ? QSize(place_->width, place_->height) : QSize(kWindowWidth, kWindowHeight)));
  windowed_ = QRect(frameGeometry().topLeft(), size());
  // The movie plays full screen unless the reader left the book in a window; the pages (asked
  // for, or a book without a movie) open in a window unless the reader left them full screen.
  const bool fullScreen = run_.screenSaver || (place_ ? place_->fullScreen : !StartsInPages() && hasMovie_);
  if (fullScreen) ToggleFullScreen();
}

QMargins MainWindow::Decoration() const {
  const QRect outer = frameGeometry();
  const QRect inner = geometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

void MainWindow::PlaceWithin(const QRect& window) {
  // The decoration is known only once the window manager has framed the window; a window coming
  // back from full screen gets the one it had before.
  if (isVisible() && !borderNone_ && !Decoration().isNull()) decoration_ = Decoration();
  const QRect fitted =
      FitWithin(QRect(window.topLeft(), window.size().grownBy(decoration_)), AvailableScreen());
  resize(fitted.size().shrunkBy(decoration_).expandedTo(QSize(1, 1)));
  move(fitted.topLeft());
}

void MainWindow::BuildProblemPanel(QGridLayout* layout, const QFont& font) {
  // What the window says when the book cannot be played: a sentence, the kept log, and the
  // log's own line behind "Details".
  problem_ = new QWidget(this);
  problem_->setAutoFillBackground(true);
  // The desktop's colours, dark or light, not the book's.
  problem_->setPalette(DesktopPalette());
  auto* problemLayout = new QVBoxLayout(problem_);
  problemLayout->setContentsMargins(16, 16, 16, 16);
  problemText_ = new QLabel(problem_);
  problemText_->setWordWrap(true);
  problemText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  problemText_->setObjectName("problemText");
  QFont sentenceFont = font;
  sentenceFont.setPixelSize(13);
  problemText_->setFont(sentenceFont);
  problemDetails_ = new QLabel(problem_);
  problemDetails_->setWordWrap(true);
  problemDetails_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  problemDetails_->setObjectName("problemDetails");
  problemDetails_->hide();
  auto* buttons = new QHBoxLayout;
  auto* details = new QPushButton(QStringLiteral("Details"), problem_);
  details->setCheckable(true);
  connect(details, &QPushButton::toggled, problemDetails_, &QWidget::setVisible);
  auto* closeButton = new QPushButton(QStringLiteral("Close"), problem_);
  connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
  buttons->addWidget(details);
  buttons->addStretch();
  buttons->addWidget(closeButton);
  problemLayout->addWidget(problemText_);
  problemLayout->addWidget(problemDetails_);
  problemLayout->addStretch();
  problemLayout->addLayout(buttons);
  layout->addWidget(problem_, 0, 0);
  problem_->hide();
}

// The movie's start watch and the book's own pages beside it.
void MainWindow::BuildViews(QGridLayout* layout) {
  movieStartTimer_ = new QTimer(this);
  movieStartTimer_->setSingleShot(true);
  connect(movieStartTimer_, &QTimer::timeout, this, [this] {
    if (movieStarted_) return;
    MovieUnavailable(
        QStringLiteral("The book's movie did not start within %1 seconds, so its pages are shown instead.")
            .arg(run_.movieStartMs / 1000),
        QStringLiteral("The book's movie did not start within %1 seconds, so the book cannot be shown.")
            .arg(run_.movieStartMs / 1000),
        QStringLiteral("No first frame from the movie host for %1.")
            .arg(QString::fromStdString((paths_ / layout::kStartMovie).string())));
  });
  connect(movie_, &MovieHost::MovieFailed, this, [this](const QString& reason) {
    if (movieStarted_) return;
    MovieUnavailable(QStringLiteral("The book's movie could not be played, so its pages are shown instead."),
                     QStringLiteral("The book's movie could not be played, so the book cannot be shown."),
                     reason.left(300));
  });

  // The book's own pages, for when the movie cannot play or the reader prefers them.
  pageView_ = new PageView(this);
  layout->addWidget(pageView_, 0, 0);
  pageView_->hide();
  connect(pageView_, &PageView::LinkRequested, this, &MainWindow::OpenLink);
  connect(pageView_, &PageView::FullScreenRequested, this, &MainWindow::ToggleFullScreen);
  connect(movie_, &MovieHost::MovieStarted, this, [this] {
    if (!movieStarted_) WriteLog(log_.get(), "[Application]: the movie's first frame is shown");
    movieStarted_ = true;
    strip_->hide();
    movieStartTimer_->stop();
  });
}

void MainWindow::BuildMenu() {
  contextMenu_ = new QMenu(this);
  // The keys are the window's (eventFilter), whichever view has the focus; the menu shows them.
  // Each item: its text, the name tests find it by, its key, and what it does.
  const auto item = [this](const QString& text, const char* name, const QKeySequence& key, auto triggered) {
    QAction* action = contextMenu_->addAction(text);
    action->setObjectName(name);
    if (!key.isEmpty()) {
      action->setShortcut(key);
      action->setShortcutContext(Qt::WidgetShortcut);
      action->setShortcutVisibleInContextMenu(true);
    }
    connect(action, &QAction::triggered, this, triggered);
    return action;
  };
  item(QStringLiteral("Fullscreen"), "fullscreenAction", QKeySequence(Qt::Key_F11),
       [this] { ToggleFullScreen(); });
  item(QStringLiteral("Exit"), "exitAction", QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
  switchAction_ = item(QStringLiteral("Page view"), "switchViewAction", QKeySequence(Qt::Key_F2),
                       [this] { SwitchView(); });
  exportPdfAction_ =
      item(QStringLiteral("Export as PDF\u2026"), "exportPdfAction", {}, [this] { ExportPdf(); });
  pdfFileChooser_ = [this](const QString& suggested) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Export as PDF"), suggested,
                                        QStringLiteral("PDF documents (*.pdf)"));
  };
  findAction_ = item(QStringLiteral("Find\u2026"), "findAction", QKeySequence(Qt::CTRL | Qt::Key_F),
                     [this] { Find(); });
  presentAction_ =
      item(QStringLiteral("Presentation"), "presentAction", QKeySequence(Qt::Key_F5), [this] { Present(); });
  // Until the book's pages are read.
  for (QAction* waiting : {switchAction_, exportPdfAction_, findAction_, presentAction_})
    waiting->setEnabled(false);
  openMenu_ = contextMenu_->addMenu(QStringLiteral("Open"));
  openMenu_->setObjectName("openMenu");
  openMenu_->setEnabled(!run_.screenSaver);
  connect(openMenu_, &QMenu::aboutToShow, this, [this] { FillOpenMenu(); });
  FillOpenMenu();
  pageView_->Canvas()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(pageView_->Canvas(), &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { contextMenu_->popup(pageView_->Canvas()->mapToGlobal(at)); });
}

void MainWindow::FillOpenMenu() {
  openMenu_->clear();
  QAction* choose = openMenu_->addAction(QStringLiteral("Open a book\u2026"));
  choose->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  choose->setShortcutContext(Qt::WidgetShortcut);
  choose->setShortcutVisibleInContextMenu(true);
  connect(choose, &QAction::triggered, this, [this] { ChooseBook(); });
  const QStringList recent = RecentBooks();
  if (recent.isEmpty()) return;
  openMenu_->addSection(QStringLiteral("Recent books"));
  for (const QString& file : recent) {
    QAction* book = openMenu_->addAction(QFileInfo(file).fileName());
    book->setToolTip(file);
    book->setData(file);
    connect(book, &QAction::triggered, this, [this, file] { OpenBook(file); });
  }
  openMenu_->setToolTipsVisible(true);
}

QStringList MainWindow::RecentBooks() const {
  QStringList books;
  if (run_.stateFolder.empty()) return books;
  std::error_code ec;
  const std::filesystem::path current = std::filesystem::absolute(run_.bookFile, ec);
  for (const std::string& file :
       reading::ReadingPlaces::Load(run_.stateFolder).RecentFiles(kRecentBooks + 1)) {
    if (file == current.string() || !std::filesystem::is_regular_file(file, ec)) continue;
    if (static_cast<std::size_t>(books.size()) < kRecentBooks) books << QString::fromStdString(file);
  }
  return books;
}

void MainWindow::ChooseBook() {
  if (run_.screenSaver) return;
  const QString file = bookFileChooser_();
  if (!file.isEmpty()) OpenBook(file);
}

void MainWindow::OpenBook(const QString& file) {
  if (run_.screenSaver) return;
  if (!bookOpener_(file)) {
    WriteLog(log_.get(), "[Application]: the player for " + file.toStdString() + " could not be started");
    QMessageBox::warning(
        this, windowTitle(),
        QStringLiteral("The book %1 could not be opened: the player could not be started.").arg(file));
    return;
  }
  close();
}

std::optional<QString> MainWindow::DroppedBook(QEvent* event) const {
  const QMimeData* mime = static_cast<QDropEvent*>(event)->mimeData();
  if (run_.screenSaver || mime == nullptr || !mime->hasUrls() || mime->urls().size() != 1)
    return std::nullopt;
  const QUrl url = mime->urls().front();
  if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile()) return std::nullopt;
  return url.toLocalFile();
}

bool MainWindow::HandleDrop(QObject* watched, QEvent* event) {
  // Whichever widget of the window the file is over: the movie's web view takes drops of its own.
  const QEvent::Type type = event->type();
  if ((type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) ||
      !watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this)
    return false;
  const std::optional<QString> book = DroppedBook(event);
  if (!book) return false;
  auto* drop = static_cast<QDropEvent*>(event);
  drop->setDropAction(Qt::CopyAction);
  drop->accept();
  // Opened once the drag has ended, so that the source is not left waiting on a closing window.
  if (type == QEvent::Drop) QTimer::singleShot(0, this, [this, file = *book] { OpenBook(file); });
  return true;
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  EndRun();
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!loader_) StartLoading();
}

void MainWindow::StartLoading() {
  book::UnpackSetup setup;
  setup.bookFile = run_.bookFile;
  setup.workingFolder = run_.workingFolder;
  setup.removeWhenDone = true;
  // The program's log, once made, serves every later window of the program too.
  setup.log = log_;
  setup.programFolder = run_.programFolder;
  setup.options.settings = run_.settings;
  setup.options.imagesInBackground = true;
  loader_ = std::make_unique<LoadingThread>(
      std::move(setup), *listener_, *notifier_,
      [this](const book::BookError& error) { gate_.Send([this, error] { ShowFailure(error); }); });
  paths_ = loader_->Paths();
  if (!log_) log_ = loader_->Log();
  loader_->Start();
}

void MainWindow::EndRun() {
  // The gate first: a loader waiting for this thread is released, so waiting for it cannot
  // deadlock; the run deletes its folder only once its thread has stopped, so no file of the
  // book is left behind.
  gate_.Close();
  if (loader_) {
    loader_->Stop();
    loader_->Wait();
  }
  loader_.reset();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  RememberPlace();
  if (cursorHidden_) {
    QGuiApplication::restoreOverrideCursor();
    cursorHidden_ = false;
  }
  QWidget::closeEvent(event);
}

void MainWindow::RememberPlace() {
  if (identity_.empty() || !Loaded() || Failed() || placeKept_) return;
  placeKept_ = true;
  reading::ReadingPlace place = place_.value_or(reading::ReadingPlace{});
  std::error_code ec;
  place.file = std::filesystem::absolute(run_.bookFile, ec).string();
  place.title = windowTitle().toStdString();
  place.pageView = ShowsPages();
  if (pageView_->HasBook()) {
    place.page = pageView_->CurrentSpread().first;
    place.fitWidth = pageView_->FitMode() == reading::Fit::Width;
  }
  // A presentation is not where the reader stays: the window as it was before it.
  place.fullScreen = Presenting() ? presentedFromFullScreen_ : borderNone_;
  if (!place.fullScreen) {
    const QSize size = Presenting() ? presentedFrom_.size() : this->size();
    place.width = size.width();
    place.height = size.height();
  }
  // Read again just before writing: another player may have left a book since this one started.
  reading::ReadingPlaces places = reading::ReadingPlaces::Load(run_.stateFolder);
  places.Remember(identity_, std::move(place));
  if (!places.Save(run_.stateFolder))
    WriteLog(log_.get(),
             "[Application]: the reader's place could not be kept in " + run_.stateFolder.string());
}

bool MainWindow::StartsInPages() const { return run_.pageView || (place_ && place_->pageView); }

void MainWindow::ShowProgress(int done, int total) {
  if (total <= 0) return;
  progressBar_->setValue(std::clamp(done * 100 / total, 0, 100));
}

void MainWindow::ShowTitle(const QString& title) {
  setWindowTitle(title);
  stripTitle_->setText(title);
}

void MainWindow::ShowFailure(const book::BookError& error) {
  const QString file = QString::fromStdString(run_.bookFile.string());
  const QString detail = QString::fromStdString(error.detail);
  QString sentence;
  switch (error.kind) {
    case book::BookErrorKind::Missing:
    case book::BookErrorKind::Folder:
    case book::BookErrorKind::Unreadable:
    case book::BookErrorKind::NotABook:
      // The detail is the reader's words for what the file is.
      sentence = QStringLiteral("%1 %2.").arg(file, detail);
      break;
    case book::BookErrorKind::NoRoom:
      sentence =
          QStringLiteral("There is not enough room in the temporary folder to open the book %1.").arg(file);
      break;
    case book::BookErrorKind::OverBudget:
      sentence =
          QStringLiteral("The book %1 asks for more room than its own size allows, so it was not opened.")
              .arg(file);
      break;
    case book::BookErrorKind::Damaged:
    case book::BookErrorKind::Stopped:
      sentence = QStringLiteral("The book %1 is damaged: its contents could not be read.").arg(file);
      break;
  }
  ShowProblem(sentence, detail);
}

void MainWindow::ShowProblem(const QString& sentence, const QString& details) {
  if (stage_ == Stage::Failed) return;
  stage_ = Stage::Failed;
  movieStartTimer_->stop();
  QString text = sentence;
  if (log_ && !run_.keptLogFolder.empty()) {
    WriteLog(log_.get(), "[Application]: " + sentence.toStdString() + " (" + details.toStdString() + ")");
    if (const auto kept = KeepLog(*log_, run_.keptLogFolder))
      text += QStringLiteral("\nThe run's log is kept in %1.").arg(QString::fromStdString(kept->string()));
  }
  std::fprintf(stderr, "pagewend-player: %s\n", text.toLocal8Bit().constData());
  std::fflush(stderr);
  if (borderNone_) ToggleFullScreen();
  setWindowTitle(QStringLiteral("The book could not be opened"));
  problemText_->setText(text);
  problemDetails_->setText(details);
  strip_->hide();
  movie_->hide();
  problem_->show();
  problem_->raise();
  PlaceWithin(Centred(QSize(560, 200)));
}

QString MainWindow::ProblemText() const { return Failed() ? problemText_->text() : QString(); }

void MainWindow::BecomePlayer() {
  // The window has its size and place since before it was shown; the strip stays over the
  // movie until its first frame.
  SetWindowOpacity(0);
}

void MainWindow::PlayWrittenBook(const std::shared_ptr<const book::FilesInMaking>& imagesInMaking) {
  // A book shown as pages, or one without a movie, waits for its pages to be read at loaded.
  std::error_code ec;
  if (StartsInPages() || stage_ != Stage::Loading ||
      !std::filesystem::is_regular_file((paths_ / layout::kStartMovie), ec))
    return;
  movie_->AwaitFiles(imagesInMaking);
  BecomePlayer();
  StartMovie();
  SetWindowOpacity(255);
}

void MainWindow::PlayLoadedBook(const book::UnpackedBook& book) {
  const bool playing = MovieSet();
  if (!playing) BecomePlayer();
  pages_ = std::make_shared<const reading::Book>(book.book);
  for (QAction* action : {switchAction_, exportPdfAction_, findAction_, presentAction_})
    action->setEnabled(!pages_->pages.empty());
  if (unavailable_) {
    const Unavailable why = *std::exchange(unavailable_, std::nullopt);
    MovieUnavailable(why.note, why.sentence, why.details);
  } else if (!playing && (!StartsInPages() || !ShowPages())) {
    StartMovie();
  } else if (!playing && place_ && place_->fullScreen && !borderNone_) {
    ToggleFullScreen();
  }
  if (!playing) SetWindowOpacity(255);
  emit BookLoaded();
}

bool MainWindow::ShowsPages() const { return stage_ == Stage::Pages; }

bool MainWindow::MovieSet() const { return !movie_->Movie().empty(); }

bool MainWindow::ShowPages(const QString& note) {
  if (!pages_ || pages_->pages.empty()) return false;
  if (!pageView_->HasBook()) {
    pageView_->SetBook(pages_);
    if (place_) {
      if (place_->fitWidth) pageView_->SetFit(reading::Fit::Width);
      pageView_->GoToPage(place_->page, /*animate=*/false);
    }
  }
  pageView_->SetNote(note);
  strip_->hide();
  movie_->hide();
  pageView_->show();
  pageView_->raise();
  pageView_->Canvas()->setFocus();
  switchAction_->setText("Movie");
  stage_ = Stage::Pages;
  return true;
}

void MainWindow::ShowMovie() {
  EndPresentation();
  pageView_->hide();
  movie_->show();
  switchAction_->setText("Page view");
  stage_ = Stage::Playing;
  if (!MovieSet()) StartMovie();
}

void MainWindow::SwitchView() {
  if (!Loaded() || Failed() || !switchAction_->isEnabled()) return;
  if (ShowsPages())
    ShowMovie();
  else
    ShowPages();
}

void MainWindow::Find() {
  if (!Loaded() || Failed() || pages_->pages.empty()) return;
  EndPresentation();
  if (!ShowsPages() && !ShowPages()) return;
  pageView_->OpenFind();
}

bool MainWindow::Presenting() const { return pageView_->Presenting(); }

void MainWindow::Present() {
  if (!Loaded() || Failed() || Presenting()) return;
  if (!ShowsPages() && !ShowPages()) return;
  presentedFromFullScreen_ = borderNone_;
  presentedFrom_ = geometry();
  pageView_->SetPresenting(true);
  if (!borderNone_) ToggleFullScreen();
}

void MainWindow::EndPresentation() {
  if (!Presenting()) return;
  pageView_->SetPresenting(false);
  if (!presentedFromFullScreen_ && borderNone_) {
    ToggleFullScreen();
    setGeometry(presentedFrom_);
  }
}

void MainWindow::MovieUnavailable(const QString& note, const QString& sentence, const QString& details) {
  movieStartTimer_->stop();
  if (Failed()) return;
  if (!Loaded()) {
    unavailable_ = Unavailable{note, sentence, details};
    return;
  }
  WriteLog(log_.get(), "[Application]: " + note.toStdString() + " (" + details.toStdString() + ")");
  // Nothing to switch back to.
  switchAction_->setEnabled(false);
  if (!ShowPages(note)) ShowProblem(sentence, details);
}

void MainWindow::SetWindowOpacity(int alpha) { setWindowOpacity(alpha / 255.0); }

void MainWindow::StartMovie() {
  const std::filesystem::path movie = (paths_ / layout::kStartMovie);
  std::error_code ec;
  stage_ = Stage::Playing;
  if (!std::filesystem::is_regular_file(movie, ec)) {
    MovieUnavailable(QStringLiteral("This book has no start movie, so its pages are shown instead."),
                     QStringLiteral("The book %1 has no start movie, so there is nothing to play.")
                         .arg(QString::fromStdString(run_.bookFile.string())),
                     QStringLiteral("%1 was not unpacked.").arg(QString::fromStdString(movie.string())));
    return;
  }
  movie_->SetMovie(movie);
  movieStartTimer_->start(run_.movieStartMs);
  if (!run_.screenSaver) {
    // Full screen, unless the reader left this book in a window.
    if (!borderNone_ && (!place_ || place_->fullScreen)) ToggleFullScreen();
    return;
  }
  const bool wasVisible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  RefreshWindow(wasVisible);
  savedCursor_ = QCursor::pos();
  if (!borderNone_) ToggleFullScreen();
  screenSaverHook_ = true;
  if (!cursorHidden_) {
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    cursorHidden_ = true;
  }
}

void MainWindow::RefreshWindow(bool wasVisible) {
  // Changing window flags hides a window.
  if (!wasVisible) return;
  show();
  // Hiding made the window inactive for its widgets while the X server kept its keyboard on it,
  // which the window manager gives back as the window shows again: nothing changes for the
  // platform, so nothing would tell the widgets, and the movie's page would stay unfocused (keys
  // arrive, the movie ignores them).
  if (QGuiApplication::focusWindow() == windowHandle() && !isActiveWindow())
    QApplication::setActiveWindow(this);
}

void MainWindow::ToggleFullScreen() {
  const QRect screen = PrimaryScreen();
  const bool wasVisible = isVisible();
  if (!borderNone_) {
    borderNone_ = true;
    if (wasVisible) {
      windowed_ = QRect(frameGeometry().topLeft(), size());
      decoration_ = Decoration();
    }
    setWindowFlag(Qt::FramelessWindowHint, true);
    setGeometry(screen);
    // A window manager takes the state; without one the geometry above does the work.
    setWindowState(windowState() | Qt::WindowFullScreen);
  } else {
    borderNone_ = false;
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    setWindowFlag(Qt::FramelessWindowHint, false);
    // Back to the reader's window, as it was before full screen.
    PlaceWithin(windowed_.isValid() ? windowed_ : Centred(QSize(kWindowWidth, kWindowHeight)));
  }
  RefreshWindow(wasVisible);
}

void MainWindow::HandleFlashCall(const QString& request) {
  if (request.contains(QStringLiteral("function("))) return;
  const FlashRequestParser parser(request.toStdString());
  if (parser.GetName() == "fullscreen_error") ToggleFullScreen();
}

void MainWindow::OpenLink(const QString& url) {
  const std::optional<std::string> link = LinkToOpen(url.toStdString());
  if (!link) {
    WriteLog(log_.get(), "Refused link: " + url.left(300).toStdString());
    return;
  }
  linkOpener_(QUrl(QString::fromStdString(*link)));
}

void MainWindow::OpenMovieLink(const QString& url) {
  // A movie runs on its own: only the reader's click or key in it lets one link out, as a browser
  // lets one window open per click. Links it could never open are refused as they are.
  if (LinkToOpen(url.toStdString()) &&
      (!readerInput_.isValid() || readerInput_.hasExpired(kLinkAfterInputMs))) {
    if (refusedMovieLinks_++ < kLoggedRefusals)
      WriteLog(log_.get(),
               "Refused link (no click of the reader's asked for it): " + url.left(300).toStdString());
    return;
  }
  readerInput_.invalidate();
  OpenLink(url);
}

int MainWindow::Percent() const { return progressBar_->value(); }
bool MainWindow::StripVisible() const { return !strip_->isHidden(); }
QString MainWindow::StripText() const { return progressBar_->text(); }
QString MainWindow::StripTitle() const { return stripTitle_->text(); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (screenSaverHook_) EndScreenSaverOnInput(event);
  if ((event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::KeyPress) &&
      watched->isWidgetType() && (watched == movie_ || movie_->isAncestorOf(static_cast<QWidget*>(watched))))
    readerInput_.start();
  if (HandleDrop(watched, event)) return true;
  if (HandleEscape(watched, event)) return true;
  if (HandleMenuRequest(watched, event)) return true;
  if (HandleWindowKeys(watched, event)) return true;
  return QWidget::eventFilter(watched, event);
}

bool MainWindow::HandleWindowKeys(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
      static_cast<QWidget*>(watched)->window() != this)
    return false;
  const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
  if (pressed == QKeySequence(Qt::Key_F2)) {
    if (!Loaded() || Failed()) return false;
    SwitchView();
  } else if (pressed == QKeySequence(Qt::Key_F11)) {
    if (Failed()) return false;
    // A presentation is full screen by nature: F11 ends it, back to the window as it was.
    if (Presenting())
      EndPresentation();
    else
      ToggleFullScreen();
  } else if (pressed == QKeySequence(Qt::CTRL | Qt::Key_Q) || pressed == QKeySequence(Qt::CTRL | Qt::Key_W)) {
    close();
  } else if (pressed == QKeySequence(Qt::Key_F1)) {
    ShowKeys();
  } else if (pressed == QKeySequence(Qt::CTRL | Qt::Key_F)) {
    if (!Loaded() || Failed()) return false;
    Find();
  } else if (pressed == QKeySequence(Qt::Key_F5)) {
    if (!Loaded() || Failed()) return false;
    Present();
  } else if (pressed == QKeySequence(Qt::CTRL | Qt::Key_O)) {
    if (run_.screenSaver) return false;
    ChooseBook();
  } else {
    return false;
  }
  return true;
}

void MainWindow::ShowKeys() {
  QMessageBox keys(this);
  keys.setWindowTitle(QStringLiteral("Keys"));
  keys.setTextFormat(Qt::PlainText);
  keys.setText(
      QStringLiteral("F2\tthe book's pages or its movie\n"
                     "F11\tfull screen, or back\n"
                     "Escape\tleave full screen, the presentation or the find bar\n"
                     "Right, Left\tnext and previous pages\n"
                     "Page Down, Space, Down\tread on: down a page taller than the window, then the next\n"
                     "Page Up, Shift+Space, Backspace, Up\tread back\n"
                     "Home, End\tfirst and last page\n"
                     "Ctrl+L, Ctrl+G\tgo to a page\n"
                     "Ctrl+F\tfind; Enter, Shift+Enter: next and previous page that holds it\n"
                     "F5\tpresentation: the pages alone, keys and clicks turn\n"
                     "plus, minus, Ctrl+0\tzoom in, out, fit the pages\n"
                     "Ctrl+wheel\tzoom\n"
                     "Ctrl+O\topen another book (or drop its file on the window)\n"
                     "F1\tthese keys\n"
                     "Ctrl+Q, Ctrl+W\tclose the book"));
  keys.exec();
}

bool MainWindow::HandleMenuRequest(QObject* watched, QEvent* event) {
  // The movie area's own widgets, whichever gets the input: a web view passes it to a child of
  // its own, not to the view.
  if (!watched->isWidgetType()) return false;
  const auto* widget = static_cast<QWidget*>(watched);
  if (widget != movie_ && !movie_->isAncestorOf(widget)) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      // The movie never sees the right button: its page would open a menu of its own, or keep
      // the click from ever asking for one.
      if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) return false;
      break;
    case QEvent::ContextMenu:
      // Follows the right button's press, or comes from the menu key; a screen saver has ended
      // on that press already.
      if (!screenSaverHook_ && isVisible())
        contextMenu_->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
      break;
    default:
      return false;
  }
  // Accepted too, or the event would travel up to the parents and through this filter again.
  event->accept();
  return true;
}

bool MainWindow::HandleEscape(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  if (static_cast<QWidget*>(watched)->window() != this) return false;
  if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape || pageView_->TakesEscape(watched))
    return false;
  if (Presenting()) {
    EndPresentation();
    return true;
  }
  if (!borderNone_) return false;
  ToggleFullScreen();
  // Handled: otherwise the same key would reach this filter again on its way up to the window.
  return true;
}

void MainWindow::EndScreenSaverOnInput(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      close();
      break;
    case QEvent::MouseButtonPress: {
      const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
      if (button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton) close();
      break;
    }
    case QEvent::MouseMove: {
      const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
      // Only a move along both axes ends the saver; a slight shake along one does not.
      if (at.x() != savedCursor_.x() && at.y() != savedCursor_.y()) close();
      break;
    }
    default:
      break;
  }
}

namespace {

// What the PDF writer has to say, kept for one message box at the end.
class NoticeList final : public Notifier {
 public:
  void Notify(std::string_view message) override {
    notices.push_back(QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())));
  }
  QStringList notices;
};

}  // namespace

void MainWindow::ExportPdf() {
  namespace fs = std::filesystem;
  if (!pages_ || pages_->pages.empty()) return;
  const fs::path suggested =
      fs::path(QDir::homePath().toStdString()) / fs::path(run_.bookFile).filename().replace_extension(".pdf");
  const QString chosen = pdfFileChooser_(QString::fromStdString(suggested.string()));
  if (chosen.isEmpty()) return;
  fs::path target = QFile::encodeName(chosen).toStdString();
  if (target.extension() != ".pdf") target += ".pdf";
  // Written under a hidden name beside it and renamed once complete, as the tool writes it.
  const fs::path partial = PartialSibling(target);

  const auto count = static_cast<int>(pages_->pages.size());
  QProgressDialog progress(QStringLiteral("Exporting the book as a PDF\u2026"), QStringLiteral("Cancel"), 0,
                           count, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  NoticeList notes;
  pdf::PdfBookOptions options;
  options.progress = [&progress](int done, int) {
    progress.setValue(done);
    QCoreApplication::processEvents();
  };
  options.stopped = [&progress] { return progress.wasCanceled(); };
  QString problem;
  try {
    pdf::WritePdfBook(*pages_, paths_.Root(), partial, notes, options);
    fs::rename(partial, target);
    WriteLog(log_.get(), "[Application]: the book is exported as a PDF: " + target.string());
  } catch (const pdf::PdfBookStopped&) {
    // The reader cancelled: nothing is left.
  } catch (const std::exception& e) {
    problem = QString::fromStdString(e.what());
  }
  std::error_code ec;
  fs::remove(partial, ec);
  progress.reset();
  if (problem.isEmpty() && notes.notices.isEmpty()) return;
  // Not modal: the window goes on while the reader reads it.
  auto* box =
      new QMessageBox(problem.isEmpty() ? QMessageBox::Information : QMessageBox::Warning, windowTitle(),
                      problem.isEmpty() ? QStringLiteral("The PDF is written without what it could not read.")
                                        : QStringLiteral("The PDF could not be written."),
                      QMessageBox::Ok, this);
  box->setDetailedText((problem.isEmpty() ? notes.notices : QStringList{problem}).join('\n'));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace pagewend::shell
