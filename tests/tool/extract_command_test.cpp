#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "package/package_writer.h"
#include "testing/book_package.h"
#include "testing/run_tool.h"
#include "testing/temp_dir.h"

namespace pagewend {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::RunTool;

void WriteBook(const fs::path& path) {
  package::PackageWriter w(path);
  const auto mobile = w.AddRecord(testing::ImageBytes(100, 100, ".jpg"));
  const auto logo = w.AddRecord(std::string("LOGO"));
  w.Finish(fmt::format(R"(<book pagewidth="100" pageheight="100" thumbscale="0.5"><Chapters><chapter><Pages>)"
                       R"(<page mobilefile2="m.jpg" mobilefile1="a.jpg" photoviewthumb="b.jpg" {}/><page/>)"
                       R"(</Pages></chapter></Chapters></book>)",
                       testing::RefAttrs(mobile, "mobilefile2")),
           fmt::format(
               "<project><exetitle>Tiny Book</exetitle><logo><filename>l.png</filename>{}</logo></project>",
               testing::RefElements(logo)));
}

TEST(ExtractCommand, WritesEveryEventAndTheFiles) {
  testing::TempDir dir;
  WriteBook(dir / "tiny.exe");
  const auto out = dir / "out";
  auto run = RunTool({"extract", (dir / "tiny.exe").string(), "-o", out.string(), "--events", "--jobs", "2"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(
      run.out,
      "WM_BOOK_TITLE Tiny Book\nWM_BOOK_PROGRESS 5 100\nWM_BOOK_PROGRESS 10 100\nWM_BOOK_PROGRESS 55 100\n"
      "WM_BOOK_PROGRESS 100 100\nWM_BOOK_LOADED\n");
  EXPECT_THAT(run.err, HasSubstr("files"));  // the summary line
  EXPECT_EQ(testing::ReadFile(out / "files/res/other/logo.png"), "LOGO");
  EXPECT_TRUE(fs::exists(out / "files/res/thumbnails/thumb_0.png"));
  EXPECT_THAT(testing::ReadFile(out / "files/Log/log1.txt"), HasSubstr("Finish SplitPages"));

  auto again = RunTool({"extract", (dir / "tiny.exe").string(), "-o", out.string()});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_THAT(again.err, HasSubstr("not empty"));
  EXPECT_EQ(RunTool({"extract", (dir / "tiny.exe").string(), "-o", out.string(), "--force"}).exitCode, 0);
}

TEST(ExtractCommand, FailsWithTheFileAndTheProblem) {
  testing::TempDir dir;
  testing::WriteFile(dir / "junk.exe", std::string(100, 'j'));
  auto run = RunTool({"extract", (dir / "junk.exe").string(), "-o", (dir / "o").string(), "--events"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("junk.exe"));
  EXPECT_THAT(run.err, HasSubstr("Failed to SplitProj"));
  EXPECT_THAT(run.out, ::testing::Not(HasSubstr("WM_BOOK_LOADED")));
  EXPECT_EQ(RunTool({"extract", (dir / "junk.exe").string(), "--jobs", "0"}).exitCode, 2);
}

TEST(InfoCommand, ListsEveryReferenceWithItsStatus) {
  testing::TempDir dir;
  {
    package::PackageWriter w(dir / "b.exe");
    // The logo's payload holds a smaller well-formed record, which the page's image points at.
    const auto logo = w.AddRecord(std::string("XXab\x02\0\0\0YY", 10));
    const auto toc = w.AddRecord(std::string("TOC"));
    w.Finish(fmt::format(
                 R"(<book pos_langs_="{}" size_langs_="20"><Chapters><chapter><Pages><page>)"
                 R"(<elem><img src="a.jpg" pos_="{}" size_="{}"/></elem></page></Pages></chapter></Chapters>)"
                 R"(</book>)",
                 toc.pos + 9999, logo.pos - logo.size + 8, 6),
             fmt::format("<project><exetitle>T</exetitle><logo><filename>l.png</filename>{}</logo>"
                         "<toc><filename>t.xml</filename>{}</toc></project>",
                         testing::RefElements(logo), testing::RefElements(toc)));
  }
  auto run = RunTool({"info", (dir / "b.exe").string(), "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto info = nlohmann::json::parse(run.out);
  EXPECT_EQ(info["title"], "T");
  EXPECT_EQ(info["pages"], 1);
  std::map<std::string, std::string> status;
  for (const auto& r : info["references"]) status[r["owner"]] = r["status"];
  EXPECT_EQ(status["project.logo"], "overlapping");
  EXPECT_EQ(status["book.page[0].elem[1]"], "overlapping");
  EXPECT_EQ(status["project.toc"], "ok");
  EXPECT_EQ(status["book.langs"], "outside the file");
  EXPECT_EQ(status["project.background"], "absent");
  EXPECT_EQ(status["book.download"], "absent");
  auto text = RunTool({"info", (dir / "b.exe").string()});
  EXPECT_THAT(text.out, HasSubstr("files/res/other/t.xml"));
}

}  // namespace
}  // namespace pagewend

namespace pagewend {
namespace {

TEST(PackCommand, RoundTripsThroughTheToolAndRefusesBrokenFolders) {
  testing::TempDir dir;
  WriteBook(dir / "tiny.exe");
  ASSERT_EQ(RunTool({"extract", (dir / "tiny.exe").string(), "-o", (dir / "a").string(), "--keep-documents"})
                .exitCode,
            0);
  EXPECT_TRUE(fs::exists(dir / "a/project.xml"));
  auto pack = RunTool({"pack", (dir / "a").string(), "-o", (dir / "again.pkg").string()});
  ASSERT_EQ(pack.exitCode, 0) << pack.err;
  auto extract = RunTool({"extract", (dir / "again.pkg").string(), "-o", (dir / "b").string(), "--events"});
  ASSERT_EQ(extract.exitCode, 0) << extract.err;
  EXPECT_THAT(extract.out, HasSubstr("WM_BOOK_TITLE Tiny Book"));
  EXPECT_EQ(testing::ReadFile(dir / "b/files/res/other/logo.png"), "LOGO");

  fs::remove(dir / "a/files/res/other/logo.png");
  auto missing = RunTool({"pack", (dir / "a").string(), "-o", (dir / "bad.pkg").string()});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("logo.png"));
  EXPECT_FALSE(fs::exists(dir / "bad.pkg"));
  EXPECT_EQ(RunTool({"pack", (dir / "nowhere").string(), "-o", (dir / "x.pkg").string()}).exitCode, 2);
}

}  // namespace
}  // namespace pagewend
