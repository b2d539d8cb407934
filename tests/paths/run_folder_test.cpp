#include "paths/run_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/guid.h"
#include "testing/temp_dir.h"

namespace pagewend {
namespace {

namespace fs = std::filesystem;

TEST(RunFolder, JoinsTheLayoutsNamesAndTheRunsImages) {
  const RunFolder run = RunFolder::At("/srv/books/one/");
  EXPECT_EQ(run.Root(), fs::path("/srv/books/one"));
  EXPECT_EQ(run / layout::kFramework, fs::path("/srv/books/one/files/framework.swf"));
  EXPECT_EQ(run / layout::kRunLog, fs::path("/srv/books/one/files/Log/log1.txt"));
  EXPECT_EQ(run / layout::MobileImage(0, ".jpg"),
            fs::path("/srv/books/one/files/res/mobile/page0001_i1.jpg"));
  EXPECT_EQ(layout::PhotoThumbnail(9999, ".png"), fs::path("files/res/pages/thumb_10000.png"));
  EXPECT_EQ(layout::PageThumbnail(11), fs::path("files/res/thumbnails/thumb_11.png"));
  EXPECT_EQ(layout::InFiles("res\\pages\\1.jpg"), fs::path("files/res/pages/1.jpg"));
  for (const char* refused : {"Log\\log1.txt", "./log/../x", "../x", "/etc/x"})
    EXPECT_FALSE(layout::InFiles(refused).has_value()) << refused;
  EXPECT_EQ(RunFolder::NewRun().Root().parent_path(), fs::temp_directory_path());
}

TEST(RunFolder, CreatesExactlyTheFolderTree) {
  testing::TempDir dir;
  const RunFolder run = RunFolder::At(dir / "w");
  run.Create();
  run.Create();  // a second time changes nothing
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
    found.push_back(fs::relative(entry.path(), dir.Path()).string());
  EXPECT_THAT(found,
              ::testing::UnorderedElementsAre(
                  "w", "w/files", "w/files/js", "w/files/res", "w/files/res/downloads", "w/files/res/navbar",
                  "w/files/res/navbtn", "w/files/res/other", "w/files/res/pages", "w/files/res/thumbnails",
                  "w/files/res/mobile", "w/files/res/sounds", "w/files/res/languages"));
}

TEST(RunFolder, GuidTextHasTheStandardForm) {
  const std::string a = NewGuidText();
  EXPECT_THAT(a, ::testing::MatchesRegex(
                     "\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}"));
  EXPECT_NE(a, NewGuidText());
}

}  // namespace
}  // namespace pagewend
