#include "book/unpack_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/project/pw_project.h"
#include "package/package_writer.h"
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
  void BookLoaded(const book::UnpackedBook&) override { ++loaded; }
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
    const std::optional<UnpackedBook> book = run.Run();
    EXPECT_EQ(listener.loaded, 1);
    ASSERT_TRUE(book);
    EXPECT_EQ(book->title, "My Book");
    EXPECT_EQ(book->book.pages.size(), 2u);
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

// A run that fails says what kind of failure it met, whatever words its detail has, so that each
// frontend can tell the reader in its own.
TEST(UnpackRun, AFailureComesAsItsKind) {
  TempDir dir;
  testing::WriteFile(dir / "program.exe", std::string(4096, 'x'));
  {
    package::PackageWriter w(dir / "damaged.exe");
    w.Finish("<book><Chapters>", "<project/>");
  }
  {
    // A thousand references that each read the record a byte shorter: a thousand records, as far
    // as their numbers go, and far more than twice the package's size.
    package::PackageWriter w(dir / "greedy.exe");
    const auto record = w.AddRecord(std::string(64 << 10, 'r'));
    std::string pages;
    for (int i = 0; i < 1000; ++i)
      pages += "<page><elem><snd src=\"s" + std::to_string(i) + ".mp3\" " +
               testing::RefAttrs({record.pos, record.size - i}) + "/></elem></page>";
    w.Finish("<book><Chapters><chapter><Pages>" + pages + "</Pages></chapter></Chapters></book>",
             "<project/>");
  }
  fs::create_directory(dir / "folder.exe");
  CountingListener listener;
  SilentNotifier notifier;
  const auto kind = [&](const fs::path& book) {
    UnpackRun run({.bookFile = book, .workingFolder = dir / "run", .removeWhenDone = true}, listener,
                  notifier);
    try {
      run.Run();
    } catch (const BookFailure& failure) {
      EXPECT_EQ(failure.Error().path, book);
      EXPECT_FALSE(failure.Error().detail.empty());
      return failure.Error().kind;
    }
    ADD_FAILURE() << book << " unpacked";
    return BookErrorKind::Stopped;
  };
  EXPECT_EQ(kind(dir / "missing.exe"), BookErrorKind::Missing);
  EXPECT_EQ(kind(dir / "folder.exe"), BookErrorKind::Folder);
  EXPECT_EQ(kind(dir / "program.exe"), BookErrorKind::NotABook);
  EXPECT_EQ(kind(dir / "damaged.exe"), BookErrorKind::Damaged);
  EXPECT_EQ(kind(dir / "greedy.exe"), BookErrorKind::OverBudget);
  EXPECT_EQ(listener.loaded, 0);
}

// Records have twice the package's size and made images room of their own, so a book either fits
// or does not whatever the number of workers: with one, the images of each page used to be counted
// before the next record was written, and a book that fitted with two did not with one.
TEST(UnpackRun, WhetherABookFitsDoesNotDependOnTheWorkers) {
  TempDir dir;
  {
    package::PackageWriter w(dir / "book.exe");
    const std::string image = testing::ImageBytes(600, 800, ".jpg");
    std::string pages;
    for (int i = 0; i < 40; ++i)
      pages += "<page mobilefile2=\"m" + std::to_string(i) +
               ".jpg\" mobilefile1=\"a.jpg\" photoviewthumb=\"b.jpg\" " +
               testing::RefAttrs(w.AddRecord(image), "mobilefile2") + "/>";
    w.Finish("<book pagewidth=\"600\" pageheight=\"800\" thumbscale=\"0.2\"><Chapters><chapter><Pages>" +
                 pages + "</Pages></chapter></Chapters></book>",
             "<project/>");
  }
  for (const unsigned jobs : {1u, 2u}) {
    SCOPED_TRACE(jobs);
    CountingListener listener;
    SilentNotifier notifier;
    OpenerOptions options;
    options.jobs = jobs;
    UnpackRun run({.bookFile = dir / "book.exe",
                   .workingFolder = dir / "run",
                   .removeWhenDone = true,
                   .options = options},
                  listener, notifier);
    const auto book = run.Run();
    ASSERT_TRUE(book);
    EXPECT_EQ(book->pagesWithoutImages, 0u);
  }
}

// Books store a page's image and its mobile image as two records of the same bytes: they become
// one file under two names, counted once. A record of the same size but other bytes is its own.
TEST(UnpackRun, RecordsOfTheSameBytesAreOneFile) {
  TempDir dir;
  const std::string image = testing::ImageBytes(300, 400, ".jpg");
  std::string other = image;
  other[other.size() - 3] = static_cast<char>(other[other.size() - 3] ^ 0x55);
  {
    package::PackageWriter w(dir / "book.exe");
    std::string pages;
    int n = 0;
    for (const std::string* mobile : {&image, static_cast<const std::string*>(&other)}) {
      const std::string page = std::to_string(n++);
      pages += "<page mobilefile2=\"res/m" + page + ".jpg\" " +
               testing::RefAttrs(w.AddRecord(*mobile), "mobilefile2") + "><elem><img src=\"res/p" + page +
               ".jpg\" " + testing::RefAttrs(w.AddRecord(image)) + "/></elem></page>";
    }
    w.Finish("<book pagewidth=\"300\" pageheight=\"400\"><Chapters><chapter><Pages>" + pages +
                 "</Pages></chapter></Chapters></book>",
             "<project/>");
  }
  CountingListener listener;
  SilentNotifier notifier;
  UnpackRun run({.bookFile = dir / "book.exe", .workingFolder = dir / "run"}, listener, notifier);
  ASSERT_TRUE(run.Run());
  const fs::path res = dir / "run" / "files" / "res";
  EXPECT_TRUE(fs::equivalent(res / "p0.jpg", res / "m0.jpg"));
  EXPECT_TRUE(fs::equivalent(res / "p0.jpg", res / "p1.jpg"));
  EXPECT_EQ(fs::hard_link_count(res / "p0.jpg"), 3u);
  EXPECT_EQ(ReadFile(res / "m1.jpg"), other);
  EXPECT_EQ(fs::hard_link_count(res / "m1.jpg"), 1u);
  EXPECT_EQ(ReadFile(res / "p1.jpg"), image);
}

}  // namespace
}  // namespace pagewend::book
