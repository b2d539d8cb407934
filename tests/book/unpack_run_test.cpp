#include "book/unpack_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/project/pw_project.h"
#include "support/notifier.h"
#include "testing/book_package.h"
#include "testing/temp_dir.h"

namespace pagewend::book {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

class CountingListener : public BookListener {
 public:
  void BookTitle(const std::string&) override {}
  void BookProgress(int, int) override {}
  void BookLoaded() override { ++loaded; }
  int loaded = 0;
};

TEST(UnpackRun, SetsUpFoldersAndLogRunsTheBookAndRemovesItsFolderOnlyWhenAsked) {
  TempDir dir;
  testing::WriteRichBook(dir / "book.exe");
  fs::create_directories(dir / "program" / "Log");
  testing::WriteFile(dir / "program" / "Log" / "log1.txt", "older");
  CountingListener listener;
  SilentNotifier notifier;

  UnpackSetup setup;
  setup.bookFile = dir / "book.exe";
  setup.workingFolder = dir / "kept";
  setup.programFolder = dir / "program";
  std::shared_ptr<const RunLog> log;
  {
    UnpackRun run(setup, listener, notifier);
    // Everything is in place before the package is even opened.
    EXPECT_TRUE(fs::is_directory(dir / "kept" / "files" / "res" / "mobile"));
    ASSERT_TRUE(run.Log());
    EXPECT_EQ(run.Log()->FileName(), dir / "kept" / "files" / "Log" / "log1.txt");
    EXPECT_EQ(ReadFile(dir / "program" / "Log" / "log2.txt"), "older");
    run.Run();
    EXPECT_EQ(listener.loaded, 1);
    EXPECT_EQ(run.Opener().Project().exetitle(), "My Book");
    EXPECT_NE(ReadFile(run.Log()->FileName()).find("Finish SplitPages"), std::string::npos);
    log = run.Log();
  }
  EXPECT_TRUE(fs::is_regular_file(dir / "kept" / "files" / "book.swf"));

  // A second run of the same program writes to the program's log: no log of its own, no rotation.
  setup.workingFolder = dir / "gone";
  setup.removeWhenDone = true;
  setup.log = log;
  {
    UnpackRun run(setup, listener, notifier);
    EXPECT_EQ(run.Log(), log);
    EXPECT_FALSE(fs::exists(dir / "gone" / "files" / "Log"));
    EXPECT_FALSE(fs::exists(dir / "program" / "Log" / "log3.txt"));
    run.Run();
    EXPECT_TRUE(fs::is_regular_file(dir / "gone" / "files" / "book.swf"));
  }
  EXPECT_EQ(listener.loaded, 2);
  EXPECT_FALSE(fs::exists(dir / "gone"));
  EXPECT_TRUE(fs::exists(dir / "kept"));
}

}  // namespace
}  // namespace pagewend::book
