#include "paths/book_file_lookup.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace pagewend {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFile;

std::string Found(const fs::path& root, std::string_view name) {
  const auto match = FindBookFile(root, name);
  return match ? match->file.lexically_relative(root).string() : "(none)";
}

// Names as a book made on Windows asks for them find the book's files, and nothing else.
TEST(FindBookFile, FindsWindowsNamesBelowTheFolderAndNothingElse) {
  TempDir dir;
  const fs::path root = dir / "files";
  fs::create_directories(root / "res" / "Pages");
  WriteFile(root / "book.swf", "swf");
  WriteFile(root / "res" / "Pages" / "P1.jpg", "jpg");
  WriteFile(root / "res" / "Pages" / "page 2.png", "png");
  WriteFile(root / "res" / "Pages" / "a%20b.png", "literal escape");
  WriteFile(dir / "secret.txt", "secret");
  fs::create_symlink(dir / "secret.txt", root / "res" / "out.txt");
  fs::create_directory_symlink(dir.Path(), root / "res" / "up");
  fs::create_symlink(root / "book.swf", root / "res" / "in.swf");

  EXPECT_EQ(Found(root, "book.swf"), "book.swf");
  EXPECT_EQ(Found(root, "res\\Pages\\P1.jpg"), "res/Pages/P1.jpg");
  EXPECT_EQ(Found(root, "RES\\PAGES\\p1.JPG"), "res/Pages/P1.jpg");
  EXPECT_EQ(Found(root, "./res//pages/p1.jpg?r=0.123"), "res/Pages/P1.jpg");
  EXPECT_EQ(Found(root, "res/Pages/page%202.png"), "res/Pages/page 2.png");
  EXPECT_EQ(Found(root, "res/Pages/a%20b.png"), "res/Pages/a%20b.png");  // the exact name first
  EXPECT_EQ(Found(root, (root / "res/pages/P1.JPG").string()), "res/Pages/P1.jpg");
  EXPECT_FALSE(FindBookFile(root, "book.swf")->ambiguity.size());
  for (const char* refused : {"../secret.txt", "res/../../secret.txt", "res/%2e%2e/%2e%2e/secret.txt",
                              "..%5csecret.txt", "/etc/hostname", "res/out.txt", "res/up/secret.txt",
                              "res/in.swf", "res/pages", "missing.swf", "", "C:/x", "book.swf/x"})
    EXPECT_EQ(Found(root, refused), "(none)") << refused;
  EXPECT_EQ(Found(root, (dir / "secret.txt").string()), "(none)");
  EXPECT_EQ(Found(root, (root / "../secret.txt").string()), "(none)");
  EXPECT_FALSE(FindBookFile({}, "book.swf").has_value());  // no folder yet: nothing at all
}

// Two files that differ in case only: the same one every time, and the match says so.
TEST(FindBookFile, AnAmbiguousNameTakesTheFirstInByteOrderAndSaysSo) {
  TempDir dir;
  WriteFile(dir / "page.JPG", "a");
  WriteFile(dir / "Page.jpg", "b");
  const auto match = FindBookFile(dir.Path(), "PAGE.jpg");
  ASSERT_TRUE(match.has_value());
  EXPECT_EQ(match->file.filename(), "Page.jpg");
  EXPECT_NE(match->ambiguity.find("\"Page.jpg\" is taken"), std::string::npos) << match->ambiguity;
  EXPECT_EQ(FindBookFile(dir.Path(), "page.JPG")->ambiguity, "");  // an exact name is no guess
}

}  // namespace
}  // namespace pagewend
