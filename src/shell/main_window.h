#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QUrl>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "book/book_error.h"
#include "book/book_listener.h"
#include "log/run_log.h"
#include "paths/run_folder.h"
#include "reading/book_pages.h"
#include "reading/reading_places.h"
#include "shell/gui_gate.h"
#include "support/notifier.h"
#include "support/system_settings.h"

class QAction;
class QLabel;
class QGridLayout;
class QMenu;
class QTimer;
class QProgressBar;

namespace pagewend::shell {

class MovieHost;
class LoadingThread;
class PageView;

// wanted moved, and shrunk where it is larger, so that it lies wholly within available: no
// window of the player is placed partly off the screen.
QRect FitWithin(QRect wanted, const QRect& available);

// The desktop's colours, dark or light, for a panel inside a window that wears other colours.
QPalette DesktopPalette();

// What one run of the player plays and how.
struct PlayerRun {
  std::filesystem::path bookFile;
  // ".scr" started with "/S".
  bool screenSaver = false;
  SystemSettings settings;
  // Holds the "Log" folder whose numbered logs rotate when the run log starts.
  std::filesystem::path programFolder;
  // The run's working folder; empty for a new run under the system temporary folder.
  std::filesystem::path workingFolder;
  // Where the log of a run that fails is kept (its logs rotate); empty keeps none.
  std::filesystem::path keptLogFolder;
  // How long the movie may take to show its first frame before the window shows the pages instead.
  int movieStartMs = 30000;
  // Open the book in the page view rather than play its movie.
  bool pageView = false;
  // Where the reader's places in books are kept (and the recent books read from); empty keeps
  // none.
  std::filesystem::path stateFolder;
};

// The player's one window: a progress strip while the book unpacks, then the movie.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // movie becomes the window's child. log is the program's log slot: the first window's run
  // creates the log in it when the window is first shown, and leaves it to the program.
  MainWindow(PlayerRun run, MovieHost* movie, std::shared_ptr<const RunLog>& log);
  ~MainWindow() override;

  void ToggleFullScreen();
  void HandleFlashCall(const QString& request);
  // A link the reader asks to open: http, https and mailto go to the desktop's opener (the
  // browser, the mail program; a mail link without fields but the message's); anything else is
  // refused and logged.
  void OpenLink(const QString& url);
  // A link the movie asks to open: as OpenLink, but only within a second of the reader's click
  // or key in the movie, and one link per such input.
  void OpenMovieLink(const QString& url);
  // What opens allowed links; QDesktopServices::openUrl unless replaced (tests record instead).
  void SetLinkOpener(std::function<void(const QUrl&)> opener) { linkOpener_ = std::move(opener); }
  // Writes the book's pages as a PDF where the reader chooses, through the core's PDF writer,
  // with a progress dialog that can cancel it; what it leaves out, or why it failed, in a
  // message box. The file appears only when it is complete.
  void ExportPdf();
  // What asks the reader where the PDF goes, given a suggested name; a save dialog unless
  // replaced (tests name a file instead). An empty answer cancels.
  void SetPdfFileChooser(std::function<QString(const QString& suggested)> chooser) {
    pdfFileChooser_ = std::move(chooser);
  }

  // Another book, in a player of its own (a new process) that takes this window's place: this
  // window closes once it has started, and stays when it could not.
  void OpenBook(const QString& file);
  // Asks for a book with an open dialog (Ctrl+O) and opens it.
  void ChooseBook();
  // What starts the player for a book; a new process of this program unless replaced (tests
  // record instead). False when it could not start.
  void SetBookOpener(std::function<bool(const QString& file)> opener) { bookOpener_ = std::move(opener); }
  void SetBookFileChooser(std::function<QString()> chooser) { bookFileChooser_ = std::move(chooser); }
  // The books recently read, newest first, that still exist, this one left out.
  QStringList RecentBooks() const;
  QMenu* OpenMenu() const { return openMenu_; }

  // The book messages; the loader's listener calls reach these on the GUI thread.
  void ShowProgress(int done, int total);
  void ShowTitle(const QString& title);
  // Every file is written but for the page images still being made: the movie starts.
  void PlayWrittenBook(const std::shared_ptr<const book::FilesInMaking>& imagesInMaking);
  void PlayLoadedBook(const book::UnpackedBook& book);
  // A failed load: the window says what is wrong with the book in a sentence, with the log's
  // reason as details, says the same on stderr and keeps the run's log.
  void ShowFailure(const book::BookError& error);
  // The run ended without the book playing: closing the window ends the program with an error.
  bool Failed() const { return stage_ == Stage::Failed; }
  QString ProblemText() const;

  bool BorderNone() const { return borderNone_; }
  const RunFolder& Paths() const { return paths_; }
  int Percent() const;
  bool StripVisible() const;
  QString StripText() const;
  // The book's title as the strip shows it.
  QString StripTitle() const;
  QMenu* ContextMenu() const { return contextMenu_; }
  PageView* Pages() const { return pageView_; }
  bool ShowsPages() const;
  // Between the movie and the book's own pages (F2, or the menu); the movie starts the first
  // time it is shown.
  void SwitchView();
  // The find bar over the book's pages (Ctrl+F), from either view.
  void Find();
  // The pages alone on a black full screen (F5); Escape ends it and gives back the window as it
  // was.
  void Present();
  void EndPresentation();
  bool Presenting() const;
  MovieHost* Movie() const { return movie_; }
  QPoint SavedCursor() const { return savedCursor_; }
  // The book is loaded: its pages are read, whatever the window shows.
  bool Loaded() const { return pages_ != nullptr; }

 signals:
  void BookLoaded();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Listener;
  class MessageBoxNotifier;

  // The constructor's parts: the loading strip, the problem panel, the movie's watch with the
  // page view, and the window's menu.
  void BuildStrip(QGridLayout* layout, const QPalette& palette);
  void BuildProblemPanel(QGridLayout* layout, const QFont& font);
  // The window at the size and place the book will play in, before it is first shown.
  void PlaceForStart();
  // Puts the window's decoration at window's corner and its inside at window's size, all of it
  // within the screen.
  void PlaceWithin(const QRect& window);
  QMargins Decoration() const;
  void BuildViews(QGridLayout* layout);
  void BuildMenu();
  void FillOpenMenu();
  // The run starts in the book's pages (asked for, or where the reader left it).
  bool StartsInPages() const;
  // Where the reader is in this book, for the next run of it.
  void RememberPlace();
  // A book file dropped on any widget of the window: the file, or nothing.
  std::optional<QString> DroppedBook(QEvent* event) const;
  bool HandleDrop(QObject* watched, QEvent* event);
  void StartLoading();
  void ShowProblem(const QString& sentence, const QString& details);
  void EndRun();
  void StartMovie();
  // The movie has been given to the host (it may not have started).
  bool MovieSet() const;
  void ShowMovie();
  // The book's pages in place of the movie, with a note saying why when the movie could not play.
  // False when the book has no pages to show.
  bool ShowPages(const QString& note = {});
  // The movie could not play: the pages when there are any, else the window's problem message.
  void MovieUnavailable(const QString& note, const QString& sentence, const QString& details);
  void SetWindowOpacity(int alpha);
  // From the progress strip to the player's window.
  void BecomePlayer();
  bool HandleEscape(QObject* watched, QEvent* event);
  // F2, F11, F1, F5, Ctrl+F, Ctrl+O, Ctrl+Q and Ctrl+W from any widget of the window, in
  // either view.
  bool HandleWindowKeys(QObject* watched, QEvent* event);
  // The reader's keys, in a box of their own.
  void ShowKeys();
  // A right click or the menu key on the movie opens the window's menu.
  bool HandleMenuRequest(QObject* watched, QEvent* event);
  void EndScreenSaverOnInput(QEvent* event);
  void RefreshWindow(bool wasVisible);

  PlayerRun run_;
  std::shared_ptr<const RunLog>& log_;
  RunFolder paths_;
  MovieHost* movie_;
  QWidget* strip_;
  QWidget* stripBox_;
  QLabel* stripTitle_;
  QProgressBar* progressBar_;
  QMenu* contextMenu_;
  QWidget* problem_;
  QLabel* problemText_;
  QLabel* problemDetails_;
  QTimer* movieStartTimer_;
  PageView* pageView_;
  QAction* switchAction_;
  QAction* exportPdfAction_;
  QAction* findAction_;
  QAction* presentAction_;
  QMenu* openMenu_;
  std::function<QString(const QString&)> pdfFileChooser_;
  std::function<bool(const QString&)> bookOpener_;
  std::function<QString()> bookFileChooser_;
  // The book's identity among the remembered ones, and where the reader left it last time.
  std::string identity_;
  std::optional<reading::ReadingPlace> place_;
  bool placeKept_ = false;
  // The window as it was when the presentation began.
  bool presentedFromFullScreen_ = false;
  QRect presentedFrom_;
  std::shared_ptr<const reading::Book> pages_;
  // What the window shows: the loading strip, the movie, the book's own pages, or why the book
  // could not be opened (for good). The movie may play before the book is loaded.
  enum class Stage { Loading, Playing, Pages, Failed };
  Stage stage_ = Stage::Loading;
  // The movie's first frame has been shown.
  bool movieStarted_ = false;
  bool borderNone_ = false;
  // The book's project names a start movie.
  bool hasMovie_ = true;
  // The reader's window while full screen, to go back to: where its decoration's corner was, and
  // the size of its inside; and the decoration's margins.
  QRect windowed_;
  QMargins decoration_;
  // The movie gave up before the book was loaded: what to say once its pages are read.
  struct Unavailable {
    QString note, sentence, details;
  };
  std::optional<Unavailable> unavailable_;
  bool screenSaverHook_ = false;
  bool cursorHidden_ = false;
  QPoint savedCursor_;
  std::function<void(const QUrl&)> linkOpener_;
  // The reader's last click or key in the movie, until a link of the movie's has used it.
  QElapsedTimer readerInput_;
  int refusedMovieLinks_ = 0;
  // Declared before the loader so that they outlive it.
  GuiGate gate_;
  std::unique_ptr<book::BookListener> listener_;
  std::unique_ptr<Notifier> notifier_;
  std::unique_ptr<LoadingThread> loader_;
};

}  // namespace pagewend::shell
