#include "shell/start_mode.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "testing/temp_dir.h"

namespace pagewend::shell {
namespace {

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

// The real program, started under a ".scr" name.
class SaverProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_symlink(PAGEWEND_PLAYER_PATH, dir_ / "book.scr");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.Path().string()));
    env.insert("TMPDIR", QString::fromStdString(dir_.Path().string()));
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

  testing::TempDir dir_;
  QProcess process_;
};

TEST_F(SaverProcess, ConfigurePreviewOrNoRequestEndAtOnce) {
  for (const QStringList& args : {QStringList{}, QStringList{"/c"}, QStringList{"/p", "42"}}) {
    Start(args);
    EXPECT_TRUE(EndsAtOnce()) << args.join(' ').toStdString();
  }
}

TEST_F(SaverProcess, SecondInstanceEndsAtOnceWhileTheFirstRuns) {
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

TEST_F(SaverProcess, AnOrdinaryRunEndedByASignalLeavesNoWorkingFolder) {
#ifdef PAGEWEND_SANITIZED
  GTEST_SKIP() << "the player starts Chromium, which is not built for AddressSanitizer";
#endif
  const fs::path book = dir_ / "a book.bin";
  testing::WriteFile(book, "not a package: the window waits in its loading state");
  process_.start(QString::fromStdString(PAGEWEND_PLAYER_PATH), {QString::fromStdString(book.string())});
  ASSERT_TRUE(process_.waitForStarted(10000));
  // The working folder appears in TMPDIR when the window is shown.
  const auto runFolders = [&] {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
      count += entry.path().filename().string().starts_with("{");
    return count;
  };
  for (int i = 0; i < 100 && runFolders() == 0; ++i) process_.waitForFinished(100);
  ASSERT_EQ(runFolders(), 1) << process_.readAllStandardError().toStdString();
  process_.terminate();  // SIGTERM
  ASSERT_TRUE(process_.waitForFinished(15000));
  EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(runFolders(), 0);
}

}  // namespace
}  // namespace pagewend::shell
