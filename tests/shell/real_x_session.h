#pragma once

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "testing/temp_dir.h"

namespace pagewend::shell::testing {

// Whether done() came true within ms, asking every 100 ms.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

// A program started for a test, its output going to the file output, stopped when this goes:
// asked with SIGTERM first (the player removes its working folder then), killed if it does not
// end within a few seconds.
class StartedProgram {
 public:
  StartedProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
                 const std::filesystem::path& output);
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  bool Running() const { return process_->state() != QProcess::NotRunning; }
  qint64 Pid() const { return process_->processId(); }
  // The exit status once the program has ended by itself within limit; nothing if it is still
  // running, or crashed.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit);
  // What it has printed so far, both streams.
  QString Output();

 private:
  std::unique_ptr<QProcess> process_;
  QString output_;
};

// An X server of the tests' own (Xvfb on a free display, 1280 x 900) with a window manager
// (openbox), as a reader's desktop has one. Everything it started stops with it.
class RealDisplay {
 public:
  static constexpr int kWidth = 1280;
  static constexpr int kHeight = 900;

  RealDisplay();
  ~RealDisplay();
  RealDisplay(const RealDisplay&) = delete;
  RealDisplay& operator=(const RealDisplay&) = delete;

  // Empty when the display and its window manager are up; otherwise what went wrong.
  const QString& Problem() const { return problem_; }
  // ":N"
  const QString& Name() const { return name_; }
  // The environment of a program on this display.
  QProcessEnvironment Environment() const;

  // Runs an X client (xdotool, import) on this display for at most 10 s; its standard output,
  // or nothing when it failed.
  std::optional<QString> Run(const QString& program, const QStringList& arguments) const;
  // The whole screen, also saved as a PNG at saveAs (its folder is made).
  QImage Screenshot(const std::filesystem::path& saveAs) const;

  // Real input through the X server, as a person gives it.
  void Click(QPoint at, int button = 1) const;
  void Key(const QString& name) const;

  // The visible top-level windows of a process.
  QStringList Windows(qint64 pid) const;
  QString WindowName(const QString& window) const;
  // Where a window is on the screen, its decoration aside.
  QRect WindowGeometry(const QString& window) const;

 private:
  QString problem_;
  QString name_;
  // The programs' output; outlives them.
  pagewend::testing::TempDir logsFolder_;
  std::filesystem::path logs_ = logsFolder_.Path();
  std::unique_ptr<StartedProgram> server_;
  std::unique_ptr<StartedProgram> windowManager_;
};

// A player playing a book on a display (command: a book program, or the player and a book), with a temporary
// folder of its own (so the run's working folder is found, and its removal seen) and its output under folder.
class RealPlayer {
 public:
  RealPlayer(const RealDisplay& display, const QStringList& command, const std::filesystem::path& folder);

  StartedProgram& Program() { return *program_; }
  // Waits until the run's log says the movie's first frame is shown.
  bool WaitForMovie(std::chrono::milliseconds limit);
  // Waits until the run's log has a line holding text, while the program runs.
  bool WaitForLog(const QString& text, std::chrono::milliseconds limit);
  // The run's working folder (where its log is), once the book has begun to unpack.
  std::optional<std::filesystem::path> WorkingFolder() const;
  // The player's main window (the first visible one it opened).
  bool WaitForWindow(std::chrono::milliseconds limit);
  const QString& Window() const { return window_; }
  // The program's output and the run's log, for a failure's message.
  QString Diagnostics();

 private:
  const RealDisplay& display_;
  std::filesystem::path temporary_;
  QString window_;
  std::unique_ptr<StartedProgram> program_;
};

}  // namespace pagewend::shell::testing
