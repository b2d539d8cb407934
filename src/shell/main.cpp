// pagewend-player: plays the book packaged at the end of its own file (or of a book file named
// on the command line), and runs as a screen saver when its name ends in ".scr".
#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "log/run_log.h"
#include "player/start_mode.h"
#include "shell/main_window.h"
#include "shell/quit_signals.h"
#include "shell/ruffle_movie_host.h"

namespace {

using namespace pagewend;
using namespace pagewend::shell;
using namespace pagewend::player;

// Where a failed run's log is kept, and where the reader left each book: $XDG_STATE_HOME/pagewend,
// else ~/.local/state/pagewend.
std::filesystem::path StateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
    return std::filesystem::path(state) / "pagewend";
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    return std::filesystem::path(home) / ".local/state/pagewend";
  return {};
}

constexpr const char* kPageViewSwitch = "--page-view";

int Play(const StartDecision& start, const SystemSettings& settings, bool pageView,
         std::shared_ptr<const RunLog>& log) {
  PlayerRun run;
  run.pageView = pageView;
  run.bookFile = start.bookFile;
  run.screenSaver = start.kind == StartKind::ScreenSaver;
  run.settings = settings;
  run.programFolder = QCoreApplication::applicationDirPath().toStdString();
  run.keptLogFolder = StateFolder();
  // A screen saver shows the book for no one: it neither reads nor changes where a reader left it.
  if (!run.screenSaver) run.stateFolder = StateFolder();
  // Made before the window and gone after it: a signal that comes while the window is being
  // taken down (timeout sends its TERM twice; a reader presses Ctrl-C again) must not end the
  // program before the run's working folder is gone.
  QuitOnSignals quit;
  MainWindow window(run, new RuffleMovieHost(), log);
  QObject::connect(&quit, &QuitOnSignals::Quit, &window, [&window] { window.close(); });
  window.show();
  const int code = QApplication::exec();
  return window.Failed() ? 1 : code;
}

// --help and --version; everything else is the book's business (a book, or a screen saver's
// switches), and the web engine's own switches pass through.
// Answered before the application starts, so that they need no display.
std::optional<int> AnswerCommandLine(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Plays a packaged page-turning book: BOOK, or the book packaged at the end of this program's own "
      "file.\nThe book is unpacked into a private folder in the temporary folder, which goes when the "
      "window closes;\nwhere each book was left, and the log of a run that fails, are kept in "
      "$XDG_STATE_HOME/pagewend/ (~/.local/state/pagewend/).\nExit status: 0 when the book played, 1 when it "
      "could not be opened "
      "or played.");
  parser.addPositionalArgument("BOOK", "A book executable or a bare book package.", "[BOOK]");
  parser.addOption(QCommandLineOption(QString(kPageViewSwitch).mid(2),
                                      "Show the book's own pages rather than play its movie (F2 switches)."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  (void)parser.parse(arguments);
  if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
    const QString text = parser.helpText().replace(QStringLiteral("<executable_name>"), "pagewend-player");
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (parser.isSet(version)) {
    std::printf("pagewend-player %s\n", PAGEWEND_VERSION);
    return 0;
  }
  return std::nullopt;
}

int Run(std::shared_ptr<const RunLog>& log) {
  const SystemSettings settings = SystemSettings::FromUserLocale();
  const QStringList arguments = QCoreApplication::arguments();
  std::vector<std::string> args;
  bool pageView = false;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == QLatin1String(kPageViewSwitch))
      pageView = true;
    else
      args.push_back(arguments[i].toStdString());
  }
  // The mode comes from the name the player was started by, so a link named "*.scr" is a saver;
  // the package is read from the real file.
  const StartDecision start = DecideStart(arguments.value(0).toStdString(),
                                          QCoreApplication::applicationFilePath().toStdString(), args);
  switch (start.kind) {
    case StartKind::Ordinary:
      return Play(start, settings, pageView, log);
    case StartKind::ScreenSaver: {
      const std::optional<SingleInstanceLock> lock = SingleInstanceLock::TryAcquire(ScreenSaverLockPath());
      if (!lock) return 0;  // a saver already runs
      return Play(start, settings, pageView, log);
    }
    case StartKind::Exit:
      return 0;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName("pagewend-player");
  QCoreApplication::setApplicationVersion(PAGEWEND_VERSION);
  if (const std::optional<int> answered = AnswerCommandLine(argc, argv)) return *answered;
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
