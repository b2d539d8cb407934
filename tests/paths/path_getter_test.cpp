#include "paths/path_getter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/guid.h"
#include "testing/temp_dir.h"

namespace pagewend {
namespace {

namespace fs = std::filesystem;

TEST(PathGetter, FoldersOfARunAndBeforeIt) {
  EXPECT_EQ(PathGetter().WorkingFolder(false), fs::path("Temp/"));
  const PathGetter run("/tmp", "{RUN}");
  EXPECT_EQ(run.WorkingFolder(true), fs::path("/tmp/{RUN}/"));
  EXPECT_EQ(run.WorkingFolder(false), fs::path("{RUN}/"));
  EXPECT_EQ(PathGetter::FilesFolder(run.WorkingFolder(true)), fs::path("/tmp/{RUN}/files/"));
  EXPECT_EQ(run.MobileFolder(false), fs::path("res/mobile/"));
  EXPECT_EQ(run.MobileFolder(true), fs::path("/tmp/{RUN}/files/res/mobile/"));
  EXPECT_EQ(run.FrameworkFile(false), fs::path("files/framework.swf"));
  EXPECT_EQ(run.FrameworkFile(true), fs::path("/tmp/{RUN}/files/framework.swf"));
  EXPECT_EQ(PathGetter::AtFolder("/srv/books/one/").WorkingFolder(true), fs::path("/srv/books/one/"));
  EXPECT_EQ(PathGetter::AtFolder("/srv/books/one").WorkingFolder(false), fs::path("one/"));
}

TEST(PathGetter, CreatesExactlyTheFolderTree) {
  testing::TempDir dir;
  const PathGetter run(dir.Path(), "w");
  run.CreateWorkingFolders();
  run.CreateWorkingFolders();  // a second time changes nothing
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
    found.push_back(fs::relative(entry.path(), dir.Path()).string());
  EXPECT_THAT(found,
              ::testing::UnorderedElementsAre(
                  "w", "w/files", "w/files/js", "w/files/res", "w/files/res/downloads", "w/files/res/navbar",
                  "w/files/res/navbtn", "w/files/res/other", "w/files/res/pages", "w/files/res/thumbnails",
                  "w/files/res/mobile", "w/files/res/sounds", "w/files/res/languages"));
}

TEST(PathGetter, GuidTextHasTheStandardForm) {
  const std::string a = NewGuidText();
  EXPECT_THAT(a, ::testing::MatchesRegex(
                     "\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}"));
  EXPECT_NE(a, NewGuidText());
}
}  // namespace
}  // namespace pagewend
