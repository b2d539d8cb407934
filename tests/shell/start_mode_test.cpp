#include "player/start_mode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "testing/temp_dir.h"

namespace pagewend::shell {
namespace {

using player::DecideStart;
using player::SingleInstanceLock;
using player::StartDecision;
using player::StartKind;

namespace fs = std::filesystem;

TEST(DecideStart, ScreenSaverOnlyForScrNamesAskedToRun) {
  const fs::path own = "/opt/book/player";
  for (const char* arg : {"/S", "/s", "/s:1234", "/S 77"}) {
    const StartDecision d = DecideStart("/x/Book.SCR", own, {arg});
    EXPECT_EQ(d.kind, StartKind::ScreenSaver) << arg;
    EXPECT_EQ(d.screenSaverMode, "/S") << arg;
    EXPECT_EQ(d.bookFile, own);
  }
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"/c"}, {"/p", "123"}, {""}, {"S"}})
    EXPECT_EQ(DecideStart("book.scr", own, args).kind, StartKind::Exit) << (args.empty() ? "none" : args[0]);
}

TEST(DecideStart, OrdinaryModeOpensItsOwnFileOrTheNamedBook) {
  const StartDecision own = DecideStart("./player", "/opt/player", {});
  EXPECT_EQ(own.kind, StartKind::Ordinary);
  EXPECT_EQ(own.bookFile, "/opt/player");
  EXPECT_TRUE(own.screenSaverMode.empty());
  // "/S" means nothing to a program not named as a screen saver: it is a file name.
  EXPECT_EQ(DecideStart("player.exe", "/opt/player", {"/S"}).bookFile, "/S");
  EXPECT_EQ(DecideStart("player.scrx", "/opt/player", {"other.book"}).bookFile, "other.book");
}

TEST(SingleInstanceLock, SecondHolderIsRefusedUntilTheFirstGoes) {
  testing::TempDir dir;
  const fs::path path = dir / "QuorvelScreenSaver";
  {
    auto first = SingleInstanceLock::TryAcquire(path);
    ASSERT_TRUE(first.has_value());
    EXPECT_FALSE(SingleInstanceLock::TryAcquire(path).has_value());
  }
  EXPECT_TRUE(SingleInstanceLock::TryAcquire(path).has_value());
}

// The real program, started under a ".scr" name or as itself, with its temporary and state
// folders in a folder of the test's.
class PlayerProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_symlink(PAGEWEND_PLAYER_PATH, dir_ / "book.scr");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.Path().string()));
    env.insert("TMPDIR", QString::fromStdString(dir_.Path().string()));
    env.insert("XDG_STATE_HOME", QString::fromStdString((dir_ / "state").string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process_.setProcessEnvironment(env);
  }
  void TearDown() override {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(10000);
    }
  }
  void Start(const QStringList& args) {
    process_.start(QString::fromStdString((dir_ / "book.scr").string()), args);
    ASSERT_TRUE(process_.waitForStarted(10000));
  }
  bool EndsAtOnce() { return process_.waitForFinished(15000) && process_.exitCode() == 0; }
  // Run folders in the temporary folder: they are named by a GUID.
  int RunFolders() const {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
      count += entry.path().filename().string().starts_with("{");
    return count;
  }

  testing::TempDir dir_;
  QProcess process_;
};

TEST_F(PlayerProcess, ConfigurePreviewOrNoRequestEndAtOnce) {
  for (const QStringList& args : {QStringList{}, QStringList{"/c"}, QStringList{"/p", "42"}}) {
    Start(args);
    EXPECT_TRUE(EndsAtOnce()) << args.join(' ').toStdString();
  }
}

TEST_F(PlayerProcess, SecondInstanceEndsAtOnceWhileTheFirstRuns) {
#ifdef PAGEWEND_SANITIZED
  GTEST_SKIP() << "a running saver starts Chromium, which is not built for AddressSanitizer";
#endif
  // The first instance: the lock held as a running saver holds it.
  auto first = SingleInstanceLock::TryAcquire(dir_ / "QuorvelScreenSaver");
  ASSERT_TRUE(first.has_value());
  Start({"/S"});
  EXPECT_TRUE(EndsAtOnce());
  first.reset();
  // Without a first instance the same request runs: the window waits for its (missing) book.
  Start({"/s"});
  EXPECT_FALSE(process_.waitForFinished(3000)) << process_.exitCode() << " " << process_.exitStatus() << " "
                                               << process_.readAllStandardError().toStdString();
}

TEST_F(PlayerProcess, HelpAndVersionAnswerWithoutADisplay) {
  QProcessEnvironment env = process_.processEnvironment();
  env.remove("DISPLAY");
  env.insert("QT_QPA_PLATFORM", "xcb");
  process_.setProcessEnvironment(env);
  for (const char* option : {"--help", "--version"}) {
    process_.start(QString::fromStdString(PAGEWEND_PLAYER_PATH), {option});
    ASSERT_TRUE(process_.waitForFinished(15000));
    EXPECT_EQ(process_.exitCode(), 0) << option;
    EXPECT_THAT(
        process_.readAllStandardOutput().toStdString(),
        ::testing::HasSubstr(option == std::string("--help") ? "Usage: pagewend-player" : PAGEWEND_VERSION));
  }
}

// A file that is no book: the reader learns why on stderr at once, the log is kept, the run
// folder goes and the program ends with an error when its window closes (here by a signal).
TEST_F(PlayerProcess, AFailedRunSaysWhyKeepsItsLogAndEndsWithAnError) {
#ifdef PAGEWEND_SANITIZED
  GTEST_SKIP() << "the player starts Chromium, which is not built for AddressSanitizer";
#endif
  const fs::path book = dir_ / "a book.bin";
  testing::WriteFile(book, "not a package");
  process_.start(QString::fromStdString(PAGEWEND_PLAYER_PATH), {QString::fromStdString(book.string())});
  ASSERT_TRUE(process_.waitForStarted(10000));
  std::string err;
  for (int i = 0; i < 300 && err.find("pagewend-player: ") == std::string::npos; ++i) {
    process_.waitForReadyRead(100);
    err += process_.readAllStandardError().toStdString();
  }
  EXPECT_THAT(err, ::testing::HasSubstr("pagewend-player: " + book.string() +
                                        " is not a book (no package found at its end)."));
  process_.terminate();  // SIGTERM
  ASSERT_TRUE(process_.waitForFinished(15000));
  EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process_.exitCode(), 1);
  EXPECT_EQ(RunFolders(), 0);
  EXPECT_THAT(testing::ReadFile(dir_ / "state/pagewend/log1.txt"), ::testing::HasSubstr("not a book"));
}

// The demo book alone in an empty folder: nothing beside it, and its movie plays.
TEST_F(PlayerProcess, TheDemoBookPlaysAloneInAnEmptyFolder) {
#ifdef PAGEWEND_SANITIZED
  GTEST_SKIP() << "the player starts Chromium, which is not built for AddressSanitizer";
#endif
  fs::create_directory(dir_ / "alone");
  fs::copy_file(PAGEWEND_DEMO_BOOK, dir_ / "alone/demo");
  process_.setWorkingDirectory(QString::fromStdString((dir_ / "alone").string()));
  process_.start(QString::fromStdString((dir_ / "alone/demo").string()), {});
  ASSERT_TRUE(process_.waitForStarted(10000));
  // The run's folder comes before its log: a log not there yet says nothing.
  const auto logSaysStarted = [](const fs::path& folder) {
    try {
      return testing::ReadFile(folder / "files/Log/log1.txt").find("the movie's first frame is shown") !=
             std::string::npos;
    } catch (const std::exception&) {
      return false;
    }
  };
  bool started = false;
  for (int i = 0; i < 600 && !started && process_.state() == QProcess::Running; ++i) {
    process_.waitForFinished(100);
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
      if (entry.path().filename().string().starts_with("{"))
        started = started || logSaysStarted(entry.path());
  }
  EXPECT_TRUE(started) << process_.readAllStandardError().toStdString();
  process_.terminate();
  ASSERT_TRUE(process_.waitForFinished(15000));
  EXPECT_EQ(process_.exitCode(), 0);
  EXPECT_EQ(RunFolders(), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "alone"), fs::directory_iterator()), 1);
}

// A signal that comes while the player is already stopping (timeout sends its TERM twice, a reader
// presses Ctrl-C again) must not end it before its working folder is gone.
TEST_F(PlayerProcess, SignalsWhileStoppingLeaveNoWorkingFolder) {
#ifdef PAGEWEND_SANITIZED
  GTEST_SKIP() << "the player starts Chromium, which is not built for AddressSanitizer";
#endif
  process_.start(QString::fromStdString(PAGEWEND_DEMO_BOOK), {});
  ASSERT_TRUE(process_.waitForStarted(10000));
  const auto loaded = [this] {
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
      if (entry.path().filename().string().starts_with("{")) try {
          return testing::ReadFile(entry.path() / "files/Log/log1.txt").find("Finish SplitPages") !=
                 std::string::npos;
        } catch (const std::exception&) {
        }
    return false;
  };
  for (int i = 0; i < 600 && !loaded() && process_.state() == QProcess::Running; ++i)
    process_.waitForFinished(100);
  ASSERT_EQ(process_.state(), QProcess::Running);
  const auto pid = static_cast<pid_t>(process_.processId());
  for (int i = 0; i < 15000 && !process_.waitForFinished(1); ++i) ::kill(pid, SIGTERM);
  EXPECT_EQ(RunFolders(), 0);
}

}  // namespace
}  // namespace pagewend::shell
