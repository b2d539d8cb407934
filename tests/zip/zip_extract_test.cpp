#include "zip/zip_extract.h"

#include <archive.h>
#include <archive_entry.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include "testing/temp_dir.h"

namespace pagewend {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::TempDir;

struct Entry {
  std::string name;
  std::string data;
  unsigned type = AE_IFREG;
  std::string link;  // symlink target
};

void MakeZip(const fs::path& path, const std::vector<Entry>& entries) {
  archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
  for (const Entry& e : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_filetype(entry, e.type);
    archive_entry_set_perm(entry, 0644);
    if (!e.link.empty()) archive_entry_set_symlink(entry, e.link.c_str());
    archive_entry_set_size(entry, static_cast<la_int64_t>(e.data.size()));
    archive_write_header(a, entry);
    if (!e.data.empty()) archive_write_data(a, e.data.data(), e.data.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
}

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
