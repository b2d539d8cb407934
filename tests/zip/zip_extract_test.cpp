#include "zip/zip_extract.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include "testing/temp_dir.h"
#include "testing/zip_archive.h"

namespace pagewend {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::MakeZip;
using testing::TempDir;

std::vector<std::string> Tree(const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    out.push_back(fs::relative(entry.path(), root).string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(ZipExtract, WritesFilesAndFoldersKeepingTheirPaths) {
  TempDir dir;
  MakeZip(dir / "langs.zip",
          {{"en.xml", "<lang/>"}, {"de/", "", AE_IFDIR}, {"de/de.xml", "<de/>"}, {"fr\\fr.xml", "<fr/>"}});
  fs::create_directory(dir / "out");
  testing::WriteFile(dir / "out/en.xml", "old");
  const fs::path cwd = fs::current_path();
  const ZipReport report = ExtractZip(dir / "langs.zip", dir / "out");
  EXPECT_EQ(fs::current_path(), cwd);  // the process's directory is untouched
  EXPECT_EQ(report.files, 3u);
  EXPECT_TRUE(report.refused.empty());
  EXPECT_EQ(testing::ReadFile(dir / "out/en.xml"), "<lang/>");  // overwritten
  EXPECT_EQ(testing::ReadFile(dir / "out/fr/fr.xml"), "<fr/>");
  EXPECT_THAT(Tree(dir / "out"), ::testing::ElementsAre("de", "de/de.xml", "en.xml", "fr", "fr/fr.xml"));
}

TEST(ZipExtract, RefusesEntriesThatClimbOutOrAreLinks) {
  TempDir dir;
  fs::create_directory(dir / "out");
  MakeZip(dir / "evil.zip", {{"../escape.txt", "x"},
                             {"/tmp/absolute-escape.txt", "x"},
                             {"..\\back.txt", "x"},
                             {"link", "", AE_IFLNK, "/etc"},
                             {"link/passwd", "x"},
                             {"ok.txt", "fine"}});
  const ZipReport report = ExtractZip(dir / "evil.zip", dir / "out");
  EXPECT_EQ(report.files, 2u);  // ok.txt, and link/passwd as a plain folder and file inside
  EXPECT_EQ(report.refused.size(), 4u);
  EXPECT_THAT(Tree(dir.Path()),
              ::testing::ElementsAre("evil.zip", "out", "out/link", "out/link/passwd", "out/ok.txt"));
  EXPECT_FALSE(fs::exists("/tmp/absolute-escape.txt"));
  EXPECT_FALSE(fs::is_symlink(dir / "out/link"));
}

TEST(ZipExtract, RefusesEntriesDeeperOrLongerThanItsLimits) {
  TempDir dir;
  fs::create_directory(dir / "out");
  std::string deepest, tooDeep;
  for (int i = 0; i < 64; ++i) deepest += "d/";
  tooDeep = deepest + "d/";
  const std::string tooLong(1100, 'n');
  MakeZip(dir / "deep.zip", {{deepest + "f", "ok"}, {tooDeep, ""}, {tooDeep + "f", "x"}, {tooLong, "x"}});
  const ZipReport report = ExtractZip(dir / "deep.zip", dir / "out");
  EXPECT_EQ(report.files, 1u);
  ASSERT_EQ(report.refused.size(), 3u);
  EXPECT_THAT(report.refused[0].reason, HasSubstr("more than 64 folders deep"));
  EXPECT_THAT(report.refused[1].reason, HasSubstr("more than 64 folders deep"));
  EXPECT_THAT(report.refused[2].reason, HasSubstr("longer than 1024 bytes"));
  // A refused name is kept short: a report of thousands of refusals stays small.
  EXPECT_LE(report.refused[2].name.size(), ZipReport::kMaxRefusedName + 3);
  EXPECT_EQ(testing::ReadFile(dir / "out" / (deepest + "f")), "ok");
}

TEST(ZipExtract, StopsAtItsLimitsAndOnDamage) {
  TempDir dir;
  fs::create_directory(dir / "out");
  MakeZip(dir / "many.zip", {{"a", "1"}, {"b", "2"}, {"c", "3"}});
  try {
    ExtractZip(dir / "many.zip", dir / "out", {.maxEntries = 2});
    FAIL();
  } catch (const ZipError& e) {
    EXPECT_THAT(e.what(), HasSubstr("more than 2 entries"));
  }
  MakeZip(dir / "big.zip", {{"big", std::string(10000, 'z')}});
  EXPECT_THROW(ExtractZip(dir / "big.zip", dir / "out", {.maxTotalBytes = 5000}), ZipError);
  // The cap is on the running total: entries each under it, together over it.
  MakeZip(dir / "parts.zip", {{"p1", std::string(3000, 'p')}, {"p2", std::string(3000, 'q')}});
  EXPECT_EQ(ExtractZip(dir / "parts.zip", dir / "out", {.maxTotalBytes = 6000}).bytes, 6000);
  EXPECT_THROW(ExtractZip(dir / "parts.zip", dir / "out", {.maxTotalBytes = 5000}), ZipError);
  testing::WriteFile(dir / "junk.zip", "PK\x03\x04 definitely not a zip");
  EXPECT_THROW(ExtractZip(dir / "junk.zip", dir / "out"), ZipError);
  EXPECT_THROW(ExtractZip(dir / "missing.zip", dir / "out"), ZipError);
}

// Real archives from another project's suite, many of them broken on purpose: each unpacks or
// fails with ZipError, and nothing lands outside the folder.
TEST(ZipExtract, CorpusArchivesStayInsideTheirFolder) {
  const fs::path corpus = fs::path(PAGEWEND_CORPUS_DIR) / "zip";
  if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  TempDir dir;
  int ok = 0, failed = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() != ".zip") continue;
    const fs::path out = dir / "out";
    fs::create_directory(out);
    try {
      ExtractZip(entry.path(), out);
      ++ok;
    } catch (const ZipError&) {
      ++failed;
    }
    EXPECT_THAT(Tree(dir.Path()), ::testing::Each(::testing::StartsWith("out"))) << entry.path();
    fs::remove_all(out);
  }
  EXPECT_GT(ok, 50);
  RecordProperty("failed", failed);
}

}  // namespace
}  // namespace pagewend
