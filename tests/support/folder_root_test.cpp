#include "support/folder_root.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testing/temp_dir.h"

namespace pagewend {
namespace {

namespace fs = std::filesystem;
using pagewend::testing::ReadFile;
using pagewend::testing::TempDir;
using pagewend::testing::WriteFile;
using ::testing::HasSubstr;

template <typename F>
std::string FailureOf(F f) {
  try {
    f();
  } catch (const FileError& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(FolderRoot, NeverWritesOrReadsThroughALinkAndMakesPrivateFiles) {
  TempDir dir;
  fs::create_directories(dir / "outside");
  WriteFile(dir / "outside" / "secret", "secret");
  fs::create_directories(dir / "root" / "res");
  const FolderRoot root(dir / "root");

  // A link where a folder is expected: refused whether the folder is made or written into.
  fs::create_directory_symlink(dir / "outside", dir / "root" / "res" / "pages");
  EXPECT_THAT(FailureOf([&] { root.MakeFolders("res/pages/deeper"); }), HasSubstr("link"));
  EXPECT_THAT(FailureOf([&] { root.CreateFile(dir / "root" / "res" / "pages" / "new"); }), HasSubstr("link"));
  EXPECT_THAT(FailureOf([&] { root.Sub("res/pages"); }), HasSubstr("link"));
  // A link, or a second name of a file elsewhere, where a file is written.
  fs::create_symlink(dir / "outside" / "secret", dir / "root" / "res" / "log.txt");
  EXPECT_THAT(FailureOf([&] { root.CreateFile("res/log.txt"); }), HasSubstr("link"));
  fs::create_hard_link(dir / "outside" / "secret", dir / "root" / "res" / "hard.txt");
  EXPECT_THAT(FailureOf([&] { root.CreateFile("res/hard.txt"); }), HasSubstr("hard links"));
  // Names that are not below the root at all.
  EXPECT_THAT(FailureOf([&] { root.CreateFile("../escape"); }), HasSubstr("not below"));
  EXPECT_THAT(FailureOf([&] { root.CreateFile(dir / "outside" / "x"); }), HasSubstr("not below"));
  EXPECT_THAT(FailureOf([] { const FolderRoot missing("/nonexistent-folder/x"); }),
              HasSubstr("/nonexistent-folder/x"));
  fs::create_directory_symlink(dir / "outside", dir / "root-link");
  EXPECT_THAT(FailureOf([&] { const FolderRoot link(dir / "root-link"); }), HasSubstr("symbolic link"));
  EXPECT_EQ(ReadFile(dir / "outside" / "secret"), "secret");
  EXPECT_EQ(fs::directory_iterator(dir / "outside")->path().filename(), "secret");

  // Reading: a link within the folder is followed only when asked, one that leaves never.
  WriteFile(dir / "root" / "res" / "real.txt", "real");
  fs::create_symlink("real.txt", dir / "root" / "res" / "inside");
  EXPECT_TRUE(root.OpenRead("res/inside", /*linksInside=*/true).Valid());
  EXPECT_THAT(FailureOf([&] { root.OpenRead("res/inside"); }), HasSubstr("link"));
  EXPECT_THAT(FailureOf([&] { root.OpenRead("res/log.txt", true); }), HasSubstr("out of its folder"));

  // What is made is private, and an unnamed file leaves nothing.
  root.MakeFolders("a/b");
  { const UniqueFd fd = root.CreateFile("a/b/file"); }
  struct stat st {};
  ASSERT_EQ(::stat((dir / "root" / "a" / "b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat((dir / "root" / "a" / "b" / "file").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  {
    const UniqueFd scratch = root.Sub("a").CreateUnnamed();
    EXPECT_EQ(::write(scratch.Get(), "x", 1), 1);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "root" / "a"), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace pagewend
