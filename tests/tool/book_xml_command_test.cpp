#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "package/package_writer.h"
#include "testing/temp_dir.h"

namespace pagewend {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

ToolRun RunTool(const testing::TempDir& dir, const std::string& args) {
  const auto errPath = dir / "stderr.txt";
  const std::string command = std::string(PAGEWEND_TOOL_PATH) + " " + args + " 2>" + errPath.string();
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = testing::ReadFile(errPath);
  return run;
}

constexpr char kBook[] =
    R"(<?xml version="1.0" encoding="UTF-8"?><book title="Tour" foldfx="0.25"><Chapters><chapter/></Chapters></book>)";

TEST(BookXmlCommand, PrintsTheSavedDocumentOfABareDocumentOrAPackage) {
  testing::TempDir dir;
  testing::WriteFile(dir / "book.xml", std::string("\xEF\xBB\xBF  ") + kBook);
  {
    package::PackageWriter writer(dir / "book.pkg");
    writer.AddRecord(std::string("page image"));
    writer.Finish(kBook, "<project/>");
  }
  for (const char* file : {"book.xml", "book.pkg"}) {
    const ToolRun run = RunTool(dir, "book-xml " + (dir / file).string() + " --decimal-separator ,");
    ASSERT_EQ(run.exitCode, 0) << file << ": " << run.err;
    EXPECT_THAT(run.out,
                StartsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<book version=\"\" title=\"Tour\""));
    EXPECT_THAT(run.out, HasSubstr(" foldfx=\"0.25\" "));
    EXPECT_THAT(run.out, HasSubstr("<chapter bgsound=\"\""));
  }
}

TEST(BookXmlCommand, LoadErrorsNameTheFileAndFail) {
  testing::TempDir dir;
  testing::WriteFile(dir / "bad.xml", R"(<book pagewidth="wide"/>)");
  testing::WriteFile(dir / "broken.xml", R"(<book><Chapters></book>)");
  const ToolRun bad = RunTool(dir, "book-xml " + (dir / "bad.xml").string());
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_THAT(bad.err, HasSubstr("bad.xml: 'wide'"));
  EXPECT_EQ(bad.out, "");
  const ToolRun broken = RunTool(dir, "book-xml " + (dir / "broken.xml").string());
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_THAT(broken.err, HasSubstr("broken.xml: XML parse error"));
  const ToolRun missing = RunTool(dir, "book-xml " + (dir / "nothing.pkg").string());
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("nothing.pkg"));
}

}  // namespace
}  // namespace pagewend
