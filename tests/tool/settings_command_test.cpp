#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "package/package_writer.h"
#include "testing/temp_dir.h"

namespace pagewend::tool {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the tool in a UTF-8 locale with "." as separator, so that only the options differ.
ToolRun RunSettings(const TempDir& dir, const std::string& args) {
  const std::string command = "LC_ALL=C.UTF-8 '" + std::string(PAGEWEND_TOOL_PATH) + "' settings " + args +
                              " >'" + (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
  const int status = std::system(command.c_str());
  ToolRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(dir / "out");
  run.err = ReadFile(dir / "err");
  return run;
}

TEST(SettingsCommand, ListsTheDefaultsOfABareDocument) {
  TempDir dir;
  WriteFile(dir / "p.xml", "\xEF\xBB\xBF\n  <project/>");
  const ToolRun run = RunSettings(dir, "'" + (dir / "p.xml").string() + "'");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, ReadFile(PAGEWEND_PROJECT_TESTDATA "/project_defaults.txt"));
}

TEST(SettingsCommand, ReadsTheLastRecordOfAPackageAsJson) {
  TempDir dir;
  {
    package::PackageWriter writer(dir / "book.exe");
    writer.AddRecord(std::string("<project><swfht>1</swfht></project>"));
    writer.Finish("<book/>",
                  "<project><swfht>700</swfht><dragspeed>0,75</dragspeed><exetitle>Caf\xC3\xA9</exetitle>"
                  "<navbtn><download>True</download></navbtn></project>");
  }
  const ToolRun run = RunSettings(dir, "--json --decimal-separator , '" + (dir / "book.exe").string() + "'");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto json = nlohmann::ordered_json::parse(run.out)["project"];
  EXPECT_EQ(json.begin().key(), "booksizetype");
  EXPECT_EQ(json.size(), 74u);
  EXPECT_EQ(json["swfht"], 700);
  EXPECT_EQ(json["dragspeed"], 0.75);
  EXPECT_EQ(json["exetitle"], "Caf\u00E9");
  EXPECT_EQ(json["videoskincolor"], 3425907507);
  EXPECT_EQ(json["navbtn"]["download"], true);
  EXPECT_EQ(json["navbtn"]["keyzoomout"], 40);
  EXPECT_TRUE(json["background"]["alpha"].is_number_float());
  EXPECT_EQ(json["settings"].size(), 4u);

  const ToolRun text = RunSettings(dir, "'" + (dir / "book.exe").string() + "'");
  EXPECT_THAT(text.out, HasSubstr("\ndragspeed = 0\n"));
  EXPECT_THAT(text.out, HasSubstr("\nnavbtn.download = True\n"));
}

TEST(SettingsCommand, FailuresNameTheFileAndExitWithOne) {
  TempDir dir;
  const std::string bad = (dir / "bad.xml").string();
  WriteFile(bad, "<project><swfwd>5</swfwd><hardcover>maybe\x1B]0;x\x07</hardcover></project>");
  ToolRun run = RunSettings(dir, "'" + bad + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "pagewend settings: " + bad + ": Invalid property element: maybe\\u001B]0;x\\u0007\n");

  WriteFile(dir / "broken.xml", "<project><swfwd>");
  run = RunSettings(dir, "'" + (dir / "broken.xml").string() + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("broken.xml: XML parse error"));

  WriteFile(dir / "short.bin", "xy");
  run = RunSettings(dir, "'" + (dir / "short.bin").string() + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("short.bin: not a book (no package found at its end)"));

  run = RunSettings(dir, "'" + (dir / "missing.xml").string() + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("missing.xml"));

  run = RunSettings(dir, "--decimal-separator ab '" + bad + "'");
  EXPECT_EQ(run.exitCode, 2);
}

}  // namespace
}  // namespace pagewend::tool
