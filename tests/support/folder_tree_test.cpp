#include "support/folder_tree.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/unique_fd.h"

#include "testing/temp_dir.h"

namespace pagewend {
namespace {

namespace fs = std::filesystem;
using pagewend::testing::TempDir;
using pagewend::testing::WriteFile;

TEST(DeleteFolderTree, RemovesNestedReadOnlyFilesAndNeverFollowsLinksOut) {
  TempDir dir;
  const fs::path outside = dir / "outside";
  fs::create_directories(outside / "keep");
  WriteFile(outside / "keep" / "precious.txt", "x");
  const fs::path tree = dir / "{RUN}";
  fs::create_directories(tree / "files" / "res" / "pages");
  WriteFile(tree / "files" / "book.swf", "swf");
  WriteFile(tree / "files" / "res" / "pages" / "1.jpg", "jpg");
  fs::permissions(tree / "files" / "book.swf", fs::perms::owner_read);
  fs::create_directory_symlink(outside, tree / "files" / "res" / "link-to-folder");
  fs::create_symlink(outside / "keep" / "precious.txt", tree / "files" / "link-to-file");

  EXPECT_TRUE(DeleteFolderTree(tree));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
  EXPECT_TRUE(fs::exists(outside / "keep" / "precious.txt"));
}

TEST(DeleteFolderTree, MissingFolderIsNoFailureAndALinkAsTheRootIsOnlyUnlinked) {
  TempDir dir;
  EXPECT_TRUE(DeleteFolderTree(dir / "missing"));
  fs::create_directories(dir / "real");
  WriteFile(dir / "real" / "a", "a");
  fs::create_directory_symlink(dir / "real", dir / "link");
  // Not a folder of its own: left to the caller, and nothing behind it is touched.
  EXPECT_FALSE(DeleteFolderTree(dir / "link"));
  EXPECT_TRUE(fs::exists(dir / "real" / "a"));
}
TEST(DeleteFolderTree, CountsAndDeletesATreeDeeperThanAnyPathCanName) {
  // 4,000 levels of 8-byte names: 36,000 bytes of path, far past PATH_MAX, made and checked by
  // descriptor since no path reaches the bottom.
  TempDir dir;
  const fs::path tree = dir / "deep";
  fs::create_directory(tree);
  constexpr int kDepth = 4000;
  {
    UniqueFd at(::open(tree.c_str(), O_RDONLY | O_DIRECTORY));
    for (int i = 0; i < kDepth; ++i) {
      ASSERT_EQ(::mkdirat(at.Get(), "level-xx", 0700), 0);
      UniqueFd file(::openat(at.Get(), "file", O_WRONLY | O_CREAT, 0600));
      ASSERT_EQ(::write(file.Get(), "ab", 2), 2);
      at = UniqueFd(::openat(at.Get(), "level-xx", O_RDONLY | O_DIRECTORY));
      ASSERT_TRUE(at.Valid());
    }
  }
  const FolderTotals totals = CountFolderTree(tree);
  EXPECT_EQ(totals.files, static_cast<std::size_t>(kDepth));
  EXPECT_EQ(totals.bytes, 2u * kDepth);
  EXPECT_TRUE(DeleteFolderTree(tree));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
}

}  // namespace
}  // namespace pagewend
