#include "shell/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <algorithm>

#include "shell/flash_param_parser.h"
#include "shell/folder_tree.h"
#include "shell/load_project_thread.h"
#include "shell/movie_host.h"

namespace pagewend::shell {

namespace {

constexpr int kWindowWidth = 900;
constexpr int kWindowHeight = 600;

QRect PrimaryScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry() : QRect(0, 0, kWindowWidth, kWindowHeight);
}

}  // namespace

// The reader's messages, handed to the window's thread; the reader waits for each.
class TMainForm::Listener final : public package::BookListener {
 public:
  explicit Listener(TMainForm& form) : form_(form) {}
  void BookTitle(const std::string& title) override {
    const QString text = QString::fromStdString(title);
    form_.gate_.Send([this, text] { form_.WmBookTitle(text); });
  }
  void BookProgress(int done, int total) override {
    form_.gate_.Send([this, done, total] { form_.WmBookProgress(done, total); });
  }
  void BookLoaded() override {
    form_.gate_.Send([this] { form_.WmBookLoaded(); });
  }

 private:
  TMainForm& form_;
};

class TMainForm::MessageBoxNotifier final : public Notifier {
 public:
  explicit MessageBoxNotifier(TMainForm& form) : form_(form) {}
  void Notify(std::string_view message) override {
    const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    form_.gate_.Send([this, text] { QMessageBox::information(&form_, form_.windowTitle(), text); });
  }

 private:
  TMainForm& form_;
};

TMainForm::TMainForm(PlayerRun run, MovieHost* movie, std::unique_ptr<TQuorvelLog>& log)
    : run_(std::move(run)),
      log_(log),
      movie_(movie),
      gate_(this),
      listener_(std::make_unique<Listener>(*this)),
      notifier_(std::make_unique<MessageBoxNotifier>(*this)) {
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  QFont font("Tahoma");
  font.setPixelSize(11);
  setFont(font);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(movie_, 0, 0);

  pnl_ = new QWidget(this);
  pnl_->setAutoFillBackground(true);
  pnl_->setPalette(palette);
  auto* pnlLayout = new QGridLayout(pnl_);
  pnlLayout->setContentsMargins(0, 0, 0, 0);
  pb_ = new QProgressBar(pnl_);
  pb_->setRange(0, 100);
  pb_->setValue(0);
  // The strip is as high as the 20-pixel window, lower than the bar's own wish.
  pb_->setMinimumSize(1, 1);
  pb_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  pnlLayout->addWidget(pb_, 0, 0);
  layout->addWidget(pnl_, 0, 0);
  pnl_->raise();

  popupMenu_ = new QMenu(this);
  QAction* miFullscreen = popupMenu_->addAction("Fullscreen");
  miFullscreen->setObjectName("miFullscreen");
  connect(miFullscreen, &QAction::triggered, this, [this] { ToggleFullScreen(); });
  QAction* miExit = popupMenu_->addAction("Exit");
  miExit->setObjectName("miExit");
  connect(miExit, &QAction::triggered, this, [this] { close(); });
  movie_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(movie_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { popupMenu_->popup(movie_->mapToGlobal(at)); });
  connect(movie_, &MovieHost::FlashCall, this, &TMainForm::SWFFlashCall);

  resize(152, 20);
  const QRect screen = PrimaryScreen();
  move(screen.x() + (screen.width() - width()) / 2, screen.y() + (screen.height() - height()) / 2);
  // Keys reach the window before its children, whichever child has the focus.
  qApp->installEventFilter(this);
}

TMainForm::~TMainForm() {
  qApp->removeEventFilter(this);
  FormDestroy();
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TMainForm::FormShow() {
  paths_ = run_.workingFolder.empty() ? PathGetter::NewRun() : PathGetter::AtFolder(run_.workingFolder);
  paths_.CreateWorkingFolders();
  const std::filesystem::path files = PathGetter::FilesFolder(paths_.WorkingFolder(true));
  if (!log_) {
    const std::filesystem::path logFolder = files / "Log";
    std::error_code ec;
    std::filesystem::create_directory(logFolder, ec);
    RotateLogs(run_.programFolder);
    if (std::filesystem::is_directory(logFolder, ec))
      log_ = std::make_unique<TQuorvelLog>(logFolder / "log1.txt");
  }
  loader_ = std::make_unique<TLoadProjectThread>(*listener_, *notifier_, paths_, log_.get(),
                                                 package::OpenerOptions{run_.settings, 0}, run_.bookFile,
                                                 [this](const std::string& reason) {
                                                   const QString text = QString::fromStdString(reason);
                                                   gate_.Send([this, text] { WmBookFailed(text); });
                                                 });
  loader_->Start();
}

void TMainForm::FormDestroy() {
  // The gate first: a loader waiting for this thread is released, so waiting for it cannot
  // deadlock; stopping it before deleting the folder leaves no file of the book behind.
  gate_.Close();
  if (loader_) {
    loader_->Stop();
    loader_->Wait();
  }
  if (paths_.PerRun()) DeleteFolderTree(paths_.WorkingFolder(true));
  loader_.reset();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (cursorHidden_) {
    QGuiApplication::restoreOverrideCursor();
    cursorHidden_ = false;
  }
  QWidget::closeEvent(event);
}

void TMainForm::WmBookProgress(int done, int total) {
  if (total <= 0) return;
  pb_->setValue(std::clamp(done * 100 / total, 0, 100));
}

void TMainForm::WmBookTitle(const QString& title) { setWindowTitle(title); }

void TMainForm::WmBookFailed(const QString& reason) {
  const QString text = QStringLiteral("The book could not be opened");
  setWindowTitle(text);
  pb_->setFormat(text);
  pb_->setToolTip(reason);
}

void TMainForm::WmBookLoaded() {
  SetWindowOpacity(0);
  pnl_->hide();
  resize(kWindowWidth, kWindowHeight);
  StartMovie();
  SetWindowOpacity(255);
  loaded_ = true;
  emit BookLoaded();
}

void TMainForm::SetWindowOpacity(int alpha) { setWindowOpacity(alpha / 255.0); }

void TMainForm::StartMovie() {
  movie_->SetMovie(PathGetter::FilesFolder(paths_.WorkingFolder(true)) / "book.swf");
  if (!run_.screenSaver) {
    ToggleFullScreen();
    return;
  }
  const bool wasVisible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  RefreshWindow(wasVisible);
  savedCursor_ = QCursor::pos();
  ToggleFullScreen();
  screenSaverHook_ = true;
  if (!cursorHidden_) {
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    cursorHidden_ = true;
  }
}

void TMainForm::RefreshWindow(bool wasVisible) {
  // Changing window flags hides a window.
  if (wasVisible) show();
}

void TMainForm::ToggleFullScreen() {
  const QRect screen = PrimaryScreen();
  const bool wasVisible = isVisible();
  if (!borderNone_) {
    borderNone_ = true;
    setWindowFlag(Qt::FramelessWindowHint, true);
    setGeometry(screen);
    // A window manager takes the state; without one the geometry above does the work.
    setWindowState(windowState() | Qt::WindowFullScreen);
  } else {
    borderNone_ = false;
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    setWindowFlag(Qt::FramelessWindowHint, false);
    resize(kWindowWidth, kWindowHeight);
    move(screen.x() + (screen.width() - kWindowWidth) / 2,
         screen.y() + (screen.height() - kWindowHeight) / 2);
  }
  RefreshWindow(wasVisible);
}

void TMainForm::SWFFlashCall(const QString& request) {
  if (request.contains(QStringLiteral("function("))) return;
  const TFlashParamParser parser(request.toStdString());
  if (parser.GetName() == "fullscreen_error") ToggleFullScreen();
}

int TMainForm::Percent() const { return pb_->value(); }
bool TMainForm::StripVisible() const { return !pnl_->isHidden(); }
QString TMainForm::StripText() const { return pb_->text(); }

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (screenSaverHook_) ScreenSaverMessage(event);
  if (FormKeyDown(watched, event)) return true;
  return QWidget::eventFilter(watched, event);
}

bool TMainForm::FormKeyDown(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  if (static_cast<QWidget*>(watched)->window() != this) return false;
  if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape || !borderNone_) return false;
  ToggleFullScreen();
  // Handled: otherwise the same key would reach this filter again on its way up to the window.
  return true;
}

void TMainForm::ScreenSaverMessage(QEvent* event) {
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

}  // namespace pagewend::shell
