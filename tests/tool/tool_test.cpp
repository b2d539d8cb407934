#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "package/package_writer.h"
#include "testing/run_tool.h"
#include "testing/swf_bytes.h"
#include "testing/temp_dir.h"

namespace pagewend {
namespace {

using ::testing::HasSubstr;
using testing::RunTool;

TEST(Tool, HelpVersionAndUsageErrorsHaveTheirExitCodes) {
  auto help = RunTool({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.out, HasSubstr("swf"));
  EXPECT_THAT(help.out, HasSubstr("locate"));
  EXPECT_EQ(RunTool({"swf", "--help"}).exitCode, 0);
  auto version = RunTool({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_THAT(version.out, HasSubstr("pagewend " PAGEWEND_VERSION));
  EXPECT_EQ(RunTool({}).exitCode, 2);
  EXPECT_EQ(RunTool({"no-such-command"}).exitCode, 2);
  EXPECT_EQ(RunTool({"swf"}).exitCode, 2);
  EXPECT_EQ(RunTool({"swf", "a.swf", "--bogus"}).exitCode, 2);
}

TEST(Tool, SwfPrintsTheHeaderAndNamesTheFileOnFailure) {
  testing::TempDir dir;
  testing::WriteFile(dir / "m.swf", testing::MakeSwf({0, 16000, 0, 9040}, 0x1800, 12, true));
  auto json = RunTool({"swf", (dir / "m.swf").string(), "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const auto parsed = nlohmann::json::parse(json.out);
  EXPECT_EQ(parsed["signature"], "CWS");
  EXPECT_EQ(parsed["width"], 800);
  EXPECT_EQ(parsed["height"], 452);
  EXPECT_EQ(parsed["rect"]["xmax"], 16000);
  EXPECT_EQ(parsed["frameRate"], 24.0);
  EXPECT_EQ(parsed["frameCount"], 12);
  auto text = RunTool({"swf", (dir / "m.swf").string()});
  EXPECT_THAT(text.out, HasSubstr("800 x 452 pixels"));

  testing::WriteFile(dir / "bad.swf", "FWT whatever");
  auto bad = RunTool({"swf", (dir / "bad.swf").string()});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_THAT(bad.err, HasSubstr("bad.swf"));
  auto missing = RunTool({"swf", (dir / "none.swf").string()});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("none.swf"));
  EXPECT_TRUE(missing.out.empty());
}

TEST(Tool, LocateFindsTheDocumentsOrSaysWhyNot) {
  testing::TempDir dir;
  testing::WriteFile(dir / "stub", "ELF-ish stub");
  {
    package::PackageWriter writer(dir / "book.exe", dir / "stub");
    writer.AddRecord(std::string("record"));
    writer.Finish("<book/>", "<project/>");
  }
  auto ok = RunTool({"locate", (dir / "book.exe").string(), "--json"});
  ASSERT_EQ(ok.exitCode, 0) << ok.err;
  const auto parsed = nlohmann::json::parse(ok.out);
  EXPECT_EQ(parsed["book"]["length"], 7);
  EXPECT_EQ(parsed["project"]["length"], 10);

  testing::WriteFile(dir / "junk", std::string(64, '\xFF'));
  auto junk = RunTool({"locate", (dir / "junk").string()});
  EXPECT_EQ(junk.exitCode, 1);
  EXPECT_THAT(junk.err, HasSubstr("junk"));
  EXPECT_THAT(junk.err, HasSubstr("project document"));
}

}  // namespace
}  // namespace pagewend
