#include <gtest/gtest.h>

#include "shell/ruffle_movie_host.h"
#include "testing/temp_dir.h"

namespace pagewend::shell {
namespace {

namespace fs = std::filesystem;
using pagewend::testing::TempDir;
using pagewend::testing::WriteFile;

// What the movie's scheme hands out: files below the movie's folder and nothing else.
TEST(ServedFileInside, ServesOnlyRegularFilesThatReallyLieBelowTheRoot) {
  TempDir dir;
  const fs::path root = dir / "files";
  fs::create_directories(root / "res" / "pages");
  WriteFile(root / "book.swf", "swf");
  WriteFile(root / "res" / "pages" / "1.jpg", "jpg");
  WriteFile(dir / "secret.txt", "secret");
  fs::create_symlink(dir / "secret.txt", root / "res" / "out.txt");
  fs::create_directory_symlink(dir.Path(), root / "res" / "up");
  fs::create_symlink(root / "book.swf", root / "res" / "in.swf");

  EXPECT_EQ(ServedFileInside(root, "book.swf"), fs::canonical(root / "book.swf"));
  EXPECT_EQ(ServedFileInside(root, "res/pages/1.jpg"), fs::canonical(root / "res/pages/1.jpg"));
  EXPECT_EQ(ServedFileInside(root, "res\\pages\\1.jpg"), fs::canonical(root / "res/pages/1.jpg"));
  EXPECT_EQ(ServedFileInside(root, "res/in.swf"),
            fs::canonical(root / "book.swf"));  // a link that stays inside
  for (const char* refused : {"../secret.txt", "res/../../secret.txt", "/etc/hostname", "res/out.txt",
                              "res/up/secret.txt", "res/pages", "missing.swf", "", "C:/x"})
    EXPECT_FALSE(ServedFileInside(root, refused).has_value()) << refused;
  EXPECT_FALSE(ServedFileInside({}, "book.swf").has_value());  // no movie yet: nothing at all
}

}  // namespace
}  // namespace pagewend::shell
