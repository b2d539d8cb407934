#include "support/folder_tree.h"

#include <gtest/gtest.h>

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
}  // namespace
}  // namespace pagewend
