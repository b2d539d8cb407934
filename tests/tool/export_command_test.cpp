#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "package/package_writer.h"
#include "testing/book_package.h"
#include "testing/run_tool.h"
#include "testing/temp_dir.h"

namespace pagewend {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::RunTool;

// A book that tries everything a web page must not let through: markup and script in its title,
// texts and search text, quotes in its addresses, links to javascript:, data: and file: addresses,
// a line separator in its title, and record names that climb out of the folder.
void WriteHostileBook(const fs::path& path) {
  package::PackageWriter w(path);
  const auto page = w.AddRecord(testing::ImageBytes(300, 400, ".jpg"));
  const auto search = w.AddRecord(std::string(
      "</script><script>alert('search')</script> \"quoted\" <img src=x onerror=alert(2)> Rivers"));
  const auto climber = w.AddRecord(testing::ImageBytes(10, 10, ".jpg"));
  w.Finish(
      fmt::format(
          R"xml(<book pagewidth="300" pageheight="400"><Chapters><chapter><Pages>)xml"
          R"xml(<page searchtxt="res\search\1.txt" {0}><elem>)xml"
          R"xml(<img src="res\pages\p1.jpg" left="0" top="0" width="300" height="400" {1}/></elem>)xml"
          R"xml(<links><link x="0" y="0" width="50" height="50"><urls><url src="3"/></urls></link>)xml"
          R"xml(<link x="50" y="0" width="50" height="50"><urls><url src="javascript:alert(3)"/></urls></link>)xml"
          R"xml(<link x="100" y="0" width="50" height="50"><urls><url src=" JavaScript:alert(4)"/></urls></link>)xml"
          R"xml(<link x="150" y="0" width="50" height="50"><urls><url src="data:text/html,&lt;script&gt;"/></urls></link>)xml"
          R"xml(<link x="200" y="0" width="50" height="50"><urls><url src="file:///etc/passwd"/></urls></link>)xml"
          R"xml(<link x="0" y="50" width="50" height="50"><urls><url src="https://example.org/?q=&quot;&gt;&lt;script&gt;'"/></urls></link>)xml"
          R"xml(</links></page>)xml"
          R"xml(<page><elem><txt content="&lt;/script&gt;&lt;b onclick=&quot;x()&quot;&gt;Bold&lt;/b&gt;" left="0" top="0" width="300" height="50"/>)xml"
          R"xml(<img src="..\..\..\..\climbed.jpg" left="0" top="50" width="10" height="10" {2}/></elem></page>)xml"
          R"xml(<page/></Pages></chapter></Chapters>)xml"
          R"xml(<bookmarks><bookmark title="&lt;script&gt;alert(5)&lt;/script&gt;" page="2"/></bookmarks></book>)xml",
          testing::RefAttrs(search, "search_"), testing::RefAttrs(page), testing::RefAttrs(climber)),
      "<project><exetitle>&lt;/script&gt;&lt;script&gt;alert(\"title\")&lt;/script&gt;\xE2\x80\xA8'</"
      "exetitle>"
      "</project>");
}

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
  const std::size_t start = text.find(from);
  if (start == std::string::npos) return {};
  const std::size_t end = text.find(to, start + from.size());
  return text.substr(start + from.size(),
                     end == std::string::npos ? std::string::npos : end - start - from.size());
}

TEST(ExportCommand, AHostileBookStaysTextAndInsideItsFolder) {
  testing::TempDir dir;
  fs::create_directories(dir / "work");
  WriteHostileBook(dir / "work/hostile.exe");
  const fs::path out = dir / "work/web";
  const auto run =
      RunTool({"export", "--html", (dir / "work/hostile.exe").string(), "-o", out.string(), "--jobs", "2"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("3 pages"));

  const std::string html = testing::ReadFile(out / "index.html");
  // Two scripts: the page-turner and the data block; no other tag the book wrote.
  std::size_t scripts = 0;
  for (std::size_t at = html.find("<script"); at != std::string::npos; at = html.find("<script", at + 1))
    ++scripts;
  EXPECT_EQ(scripts, 2u);
  EXPECT_THAT(html, Not(HasSubstr("<b ")));
  EXPECT_THAT(html, Not(HasSubstr("<img src=x")));
  EXPECT_THAT(html, HasSubstr("&lt;img src=x onerror=alert(2)&gt;"));
  EXPECT_THAT(html, HasSubstr("<title>&lt;/script&gt;&lt;script&gt;alert(&quot;title&quot;)"));
  EXPECT_THAT(html, HasSubstr("&lt;script&gt;alert(5)&lt;/script&gt;</a>"));  // the bookmark
  // Links: the page link and the web address only, the address unable to leave its attribute.
  EXPECT_THAT(html, HasSubstr("href=\"#page=3\""));
  EXPECT_THAT(html, HasSubstr("href=\"https://example.org/?q=%22%3E%3Cscript%3E%27\" target=\"_blank\" "
                              "rel=\"noopener noreferrer\""));
  for (const char* refused : {"javascript:", "JavaScript:", "data:", "file:"})
    EXPECT_THAT(html, Not(HasSubstr(refused))) << refused;
  // The data block: the title as JSON, with nothing that would end the block or the line.
  const std::string data = Between(html, "id=\"book-data\">", "</script>");
  EXPECT_THAT(data, HasSubstr("\"title\":\"\\u003c/script\\u003e\\u003cscript\\u003ealert(\\\"title\\\")"));
  EXPECT_THAT(data, HasSubstr("\\u2028"));
  EXPECT_EQ(data.find('<'), std::string::npos);
  EXPECT_THAT(html, HasSubstr("<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'"));
  // The search's texts: JSON strings in a script of their own, markup left as escaped text.
  const std::string index = testing::ReadFile(out / "search.js");
  EXPECT_EQ(index.find('<'), std::string::npos);
  EXPECT_THAT(index, HasSubstr("\\u003cimg src=x onerror=alert(2)\\u003e Rivers"));
  EXPECT_THAT(index, HasSubstr("\\u003cb onclick=\\\"x()\\\"\\u003eBold"));

  // Every file has a name made by the export; nothing was written beside the folder.
  const std::regex made(
      R"xml(index\.html|search\.js|assets/turner\.(js|css)|(pages|thumbs)/page-000[1-3](-zoom)?\.(jpg|png))xml");
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    if (entry.is_directory()) continue;
    ++files;
    EXPECT_TRUE(std::regex_match(entry.path().lexically_relative(out).string(), made)) << entry.path();
  }
  EXPECT_GE(files, 9u);
  std::vector<fs::path> beside;
  for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) beside.push_back(entry.path());
  for (const fs::path& path : beside) {
    EXPECT_NE(path.filename(), "climbed.jpg") << path;
    EXPECT_THAT(path.string(), Not(HasSubstr(".partial-"))) << path;
  }

  // An existing web book is replaced only when asked.
  auto again = RunTool({"export", "--html", (dir / "work/hostile.exe").string(), "-o", out.string()});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_THAT(again.err, HasSubstr("not empty"));
  testing::WriteFile(out / "stale.txt", "old");
  again = RunTool({"export", "--html", (dir / "work/hostile.exe").string(), "-o", out.string(), "--force"});
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_FALSE(fs::exists(out / "stale.txt"));
  EXPECT_TRUE(fs::exists(out / "index.html"));

  // A file that is no book is named in a plain error, and leaves nothing behind.
  testing::WriteFile(dir / "work/not-a-book.exe", "hello");
  again = RunTool(
      {"export", "--html", (dir / "work/not-a-book.exe").string(), "-o", (dir / "work/none").string()});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_THAT(again.err, HasSubstr("pagewend export: " + (dir / "work/not-a-book.exe").string() + ": "));
  EXPECT_FALSE(fs::exists(dir / "work/none"));
}

}  // namespace
}  // namespace pagewend
