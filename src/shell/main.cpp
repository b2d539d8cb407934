// pagewend-player: plays the book packaged at the end of its own file (or of a book file named
// on the command line), and runs as a screen saver when its name ends in ".scr".
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "log/run_log.h"
#include "shell/main_window.h"
#include "shell/quit_signals.h"
#include "shell/ruffle_movie_host.h"
#include "shell/start_mode.h"

namespace {

using namespace pagewend;
using namespace pagewend::shell;

int Play(const StartDecision& start, const SystemSettings& settings, std::shared_ptr<const RunLog>& log) {
  PlayerRun run;
  run.bookFile = start.bookFile;
  run.screenSaver = start.kind == StartKind::ScreenSaver;
  run.settings = settings;
  run.programFolder = QCoreApplication::applicationDirPath().toStdString();
  MainWindow window(run, new RuffleMovieHost(), log);
  QuitOnSignals quit;
  QObject::connect(&quit, &QuitOnSignals::Quit, &window, [&window] { window.close(); });
  window.show();
  return QApplication::exec();
}

int Run(std::shared_ptr<const RunLog>& log) {
  const SystemSettings settings = SystemSettings::FromUserLocale();
  const QStringList arguments = QCoreApplication::arguments();
  std::vector<std::string> args;
  for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());
  // The mode comes from the name the player was started by, so a link named "*.scr" is a saver;
  // the package is read from the real file.
  const StartDecision start = DecideStart(arguments.value(0).toStdString(),
                                          QCoreApplication::applicationFilePath().toStdString(), args);
  switch (start.kind) {
    case StartKind::Ordinary:
      return Play(start, settings, log);
    case StartKind::ScreenSaver: {
      const std::optional<SingleInstanceLock> lock = SingleInstanceLock::TryAcquire(ScreenSaverLockPath());
      if (!lock) return 0;  // a saver already runs
      return Play(start, settings, log);
    }
    case StartKind::Exit:
      return 0;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  RuffleMovieHost::PrepareProcess();
  QApplication app(argc, argv);
  std::shared_ptr<const RunLog> log;
  try {
    return Run(log);
  } catch (const std::exception& e) {
    WriteLog(log.get(), std::string("[Application]: Error:") + e.what());
    std::fprintf(stderr, "pagewend-player: %s\n", e.what());
    return 1;
  }
}
