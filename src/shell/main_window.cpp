#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <algorithm>

#include "shell/flash_request_parser.h"
#include "shell/loading_thread.h"
#include "shell/movie_host.h"
#include "support/links.h"

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
  void BookLoaded() override {
    window_.gate_.Send([this] { window_.PlayLoadedBook(); });
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

  strip_ = new QWidget(this);
  strip_->setAutoFillBackground(true);
  strip_->setPalette(palette);
  auto* stripLayout = new QGridLayout(strip_);
  stripLayout->setContentsMargins(0, 0, 0, 0);
  progressBar_ = new QProgressBar(strip_);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  // The strip is as high as the 20-pixel window, lower than the bar's own wish.
  progressBar_->setMinimumSize(1, 1);
  progressBar_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  stripLayout->addWidget(progressBar_, 0, 0);
  layout->addWidget(strip_, 0, 0);
  strip_->raise();

  contextMenu_ = new QMenu(this);
  QAction* fullscreen = contextMenu_->addAction("Fullscreen");
  fullscreen->setObjectName("fullscreenAction");
  connect(fullscreen, &QAction::triggered, this, [this] { ToggleFullScreen(); });
  QAction* exitAction = contextMenu_->addAction("Exit");
  exitAction->setObjectName("exitAction");
  connect(exitAction, &QAction::triggered, this, [this] { close(); });
  movie_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(movie_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { contextMenu_->popup(movie_->mapToGlobal(at)); });
  connect(movie_, &MovieHost::FlashCall, this, &MainWindow::HandleFlashCall);
  connect(movie_, &MovieHost::LinkRequested, this, &MainWindow::OpenLink);
  linkOpener_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };

  resize(152, 20);
  const QRect screen = PrimaryScreen();
  move(screen.x() + (screen.width() - width()) / 2, screen.y() + (screen.height() - height()) / 2);
  // Keys reach the window before its children, whichever child has the focus.
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  EndRun();
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shown_) {
    shown_ = true;
    StartLoading();
  }
}

void MainWindow::StartLoading() {
  book::UnpackSetup setup;
  setup.bookFile = run_.bookFile;
  setup.workingFolder = run_.workingFolder;
  setup.removeWhenDone = true;
  // The program's log, once made, serves every later window of the program too.
  setup.log = log_;
  setup.programFolder = run_.programFolder;
  setup.options = book::OpenerOptions{run_.settings, 0};
  loader_ = std::make_unique<LoadingThread>(std::move(setup), *listener_, *notifier_,
                                            [this](const std::string& reason) {
                                              const QString text = QString::fromStdString(reason);
                                              gate_.Send([this, text] { ShowFailure(text); });
                                            });
  paths_ = loader_->Run().Paths();
  if (!log_) log_ = loader_->Run().Log();
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
  if (cursorHidden_) {
    QGuiApplication::restoreOverrideCursor();
    cursorHidden_ = false;
  }
  QWidget::closeEvent(event);
}

void MainWindow::ShowProgress(int done, int total) {
  if (total <= 0) return;
  progressBar_->setValue(std::clamp(done * 100 / total, 0, 100));
}

void MainWindow::ShowTitle(const QString& title) { setWindowTitle(title); }

void MainWindow::ShowFailure(const QString& reason) {
  const QString text = QStringLiteral("The book could not be opened");
  setWindowTitle(text);
  progressBar_->setFormat(text);
  progressBar_->setToolTip(reason);
}

void MainWindow::PlayLoadedBook() {
  SetWindowOpacity(0);
  strip_->hide();
  resize(kWindowWidth, kWindowHeight);
  StartMovie();
  SetWindowOpacity(255);
  loaded_ = true;
  emit BookLoaded();
}

void MainWindow::SetWindowOpacity(int alpha) { setWindowOpacity(alpha / 255.0); }

void MainWindow::StartMovie() {
  movie_->SetMovie(paths_.StartMovie(true));
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

void MainWindow::RefreshWindow(bool wasVisible) {
  // Changing window flags hides a window.
  if (wasVisible) show();
}

void MainWindow::ToggleFullScreen() {
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

void MainWindow::HandleFlashCall(const QString& request) {
  if (request.contains(QStringLiteral("function("))) return;
  const FlashRequestParser parser(request.toStdString());
  if (parser.GetName() == "fullscreen_error") ToggleFullScreen();
}

void MainWindow::OpenLink(const QString& url) {
  if (!MayOpenOutside(url.toStdString())) {
    WriteLog(log_.get(), "Refused link: " + url.left(300).toStdString());
    return;
  }
  linkOpener_(QUrl(url));
}

int MainWindow::Percent() const { return progressBar_->value(); }
bool MainWindow::StripVisible() const { return !strip_->isHidden(); }
QString MainWindow::StripText() const { return progressBar_->text(); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (screenSaverHook_) EndScreenSaverOnInput(event);
  if (HandleEscape(watched, event)) return true;
  return QWidget::eventFilter(watched, event);
}

bool MainWindow::HandleEscape(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  if (static_cast<QWidget*>(watched)->window() != this) return false;
  if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape || !borderNone_) return false;
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

}  // namespace pagewend::shell
