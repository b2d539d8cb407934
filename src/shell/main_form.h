#pragma once

#include <QPoint>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>

#include "log/quorvel_log.h"
#include "package/book_listener.h"
#include "paths/path_getter.h"
#include "shell/gui_gate.h"
#include "support/notifier.h"
#include "support/system_settings.h"

class QAction;
class QMenu;
class QProgressBar;

namespace pagewend::shell {

class MovieHost;
class TLoadProjectThread;

// What one run of the player plays and how.
struct PlayerRun {
  std::filesystem::path bookFile;
  // ".scr" started with "/S".
  bool screenSaver = false;
  SystemSettings settings;
  // Holds the "Log" folder that RotateLogs shifts.
  std::filesystem::path programFolder;
  // The run's working folder; empty for a new run under the system temporary folder.
  std::filesystem::path workingFolder;
};

// The player's one window: a progress strip while the book unpacks, then the movie.
class TMainForm : public QWidget {
  Q_OBJECT

 public:
  // movie becomes the form's child. log is the program's log slot: the form creates the log in
  // it when the first form is shown and leaves it to the program.
  TMainForm(PlayerRun run, MovieHost* movie, std::unique_ptr<TQuorvelLog>& log);
  ~TMainForm() override;

  void ToggleFullScreen();
  void SWFFlashCall(const QString& request);

  // The book messages; the loader's listener calls reach these on the GUI thread.
  void WmBookProgress(int done, int total);
  void WmBookTitle(const QString& title);
  void WmBookLoaded();
  // A failed load: the window stays as it is and says so.
  void WmBookFailed(const QString& reason);

  bool BorderNone() const { return borderNone_; }
  const PathGetter& Paths() const { return paths_; }
  int Percent() const;
  bool StripVisible() const;
  QString StripText() const;
  QMenu* PopupMenu1() const { return popupMenu_; }
  MovieHost* SWF() const { return movie_; }
  QPoint SavedCursor() const { return savedCursor_; }
  bool Loaded() const { return loaded_; }

 signals:
  void BookLoaded();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Listener;
  class MessageBoxNotifier;

  void FormShow();
  void FormDestroy();
  void StartMovie();
  void SetWindowOpacity(int alpha);
  bool FormKeyDown(QObject* watched, QEvent* event);
  void ScreenSaverMessage(QEvent* event);
  void RefreshWindow(bool wasVisible);

  PlayerRun run_;
  std::unique_ptr<TQuorvelLog>& log_;
  PathGetter paths_;
  MovieHost* movie_;
  QWidget* pnl_;
  QProgressBar* pb_;
  QMenu* popupMenu_;
  bool shown_ = false;
  bool borderNone_ = false;
  bool loaded_ = false;
  bool screenSaverHook_ = false;
  bool cursorHidden_ = false;
  QPoint savedCursor_;
  // Declared before the loader so that they outlive it.
  GuiGate gate_;
  std::unique_ptr<package::BookListener> listener_;
  std::unique_ptr<Notifier> notifier_;
  std::unique_ptr<TLoadProjectThread> loader_;
};

}  // namespace pagewend::shell
