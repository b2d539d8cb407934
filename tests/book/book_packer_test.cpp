#include "book/book_packer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "book/book_documents.h"
#include "book/unpack_run.h"
#include "package/package_format.h"
#include "testing/book_package.h"
#include "testing/temp_dir.h"

namespace pagewend::book {
using namespace package;
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadFile;

class Quiet : public BookListener, public Notifier {
 public:
  void BookTitle(const std::string&) override {}
  void BookProgress(int, int) override {}
  void BookLoaded(const book::UnpackedBook&) override { loaded = true; }
  void Notify(std::string_view message) override { ADD_FAILURE() << message; }
  bool loaded = false;
};

void Extract(const fs::path& package, const fs::path& folder) {
  Quiet quiet;
  UnpackRun run({.bookFile = package, .workingFolder = folder, .options = {{}, 2}}, quiet, quiet);
  run.Run();
  ASSERT_TRUE(quiet.loaded);
  // The run's own log is no file of the book.
  fs::remove_all(folder / "files" / "Log");
  KeepDocuments(package, folder);
}

std::map<std::string, std::string> Files(const fs::path& folder) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) out[fs::relative(e.path(), folder).string()] = ReadFile(e.path());
  return out;
}

std::string WithoutNumbers(const std::string& text) {
  return std::regex_replace(text, std::regex("[0-9]+"), "#");
}

TEST(BookPacker, ExtractPackExtractGivesTheSameFiles) {
  testing::TempDir dir;
  testing::WriteRichBook(dir / "one.exe");
  Extract(dir / "one.exe", dir / "a");
  PackBook(dir / "a", dir / "two.pkg");
  Extract(dir / "two.pkg", dir / "b");

  auto a = Files(dir / "a");
  auto b = Files(dir / "b");
  ASSERT_GT(a.size(), 30u);
  // The documents differ in their reference numbers only.
  EXPECT_NE(a["book.xml"], b["book.xml"]);
  EXPECT_EQ(WithoutNumbers(a["book.xml"]), WithoutNumbers(b["book.xml"]));
  EXPECT_EQ(WithoutNumbers(a["project.xml"]), WithoutNumbers(b["project.xml"]));
  EXPECT_EQ(WithoutNumbers(a["files/book.xml"]), WithoutNumbers(b["files/book.xml"]));
  for (const char* doc : {"book.xml", "project.xml", "files/book.xml"}) {
    a.erase(doc);
    b.erase(doc);
  }
  EXPECT_EQ(a.size(), b.size());
  for (const auto& [name, bytes] : a) {
    ASSERT_TRUE(b.count(name)) << name << " is missing after the round trip";
    EXPECT_TRUE(bytes == b[name]) << name << " differs";
  }

  // Packing what was packed changes nothing: the layout is a function of the folder.
  PackBook(dir / "b", dir / "three.pkg");
  EXPECT_EQ(ReadFile(dir / "two.pkg"), ReadFile(dir / "three.pkg"));
}

TEST(BookPacker, MissingFilesAndNamesThatLeaveTheFolderAreErrors) {
  testing::TempDir dir;
  testing::WriteRichBook(dir / "one.exe");
  Extract(dir / "one.exe", dir / "a");
  fs::remove(dir / "a/files/res/video/v.flv");
  try {
    PackBook(dir / "a", dir / "out.pkg");
    FAIL();
  } catch (const PackageError& e) {
    EXPECT_THAT(e.what(), HasSubstr("book.page[1].elem[2]"));
    EXPECT_THAT(e.what(), HasSubstr("v.flv"));
  }
  std::string book = ReadFile(dir / "a/book.xml");
  book.replace(book.find("res\\video\\v.flv"), 15, "..\\..\\v.flv");
  testing::WriteFile(dir / "a/book.xml", book);
  try {
    PackBook(dir / "a", dir / "out.pkg");
    FAIL();
  } catch (const PackageError& e) {
    EXPECT_THAT(e.what(), HasSubstr("outside"));
  }
  fs::remove(dir / "a/project.xml");
  EXPECT_THROW(PackBook(dir / "a", dir / "out.pkg"), PackageError);
}

// A file of the folder that links out of it is refused by name, whether a record or a group's
// member or the language folder's entry; one that links within the folder is packed.
TEST(BookPacker, LinksThatLeaveTheFolderAreRefusedAndNothingSecretIsPacked) {
  testing::TempDir dir;
  testing::WriteRichBook(dir / "one.exe");
  Extract(dir / "one.exe", dir / "a");
  testing::WriteFile(dir / "secret", "SECRET-BYTES");
  for (const char* file :
       {"files/res/video/v.flv", "files/res/navbtn/info.ini", "files/res/languages/en.xml"}) {
    SCOPED_TRACE(file);
    const fs::path place = dir / "a" / file;
    const std::string kept = ReadFile(place);
    fs::remove(place);
    fs::create_symlink(dir / "secret", place);
    try {
      PackBook(dir / "a", dir / "out.pkg");
      ADD_FAILURE() << "packed through a link";
    } catch (const PackageError& e) {
      EXPECT_THAT(e.what(), HasSubstr(place.filename().string()));
      EXPECT_THAT(e.what(), HasSubstr("link"));
    }
    if (fs::exists(dir / "out.pkg")) {
      EXPECT_EQ(ReadFile(dir / "out.pkg").find("SECRET-BYTES"), std::string::npos);
    }
    fs::remove(place);
    const fs::path beside = place.parent_path() / "kept";
    testing::WriteFile(beside, kept);
    fs::create_symlink("kept", place);
    EXPECT_NO_THROW(PackBook(dir / "a", dir / "out.pkg"));
    fs::remove(place);
    fs::rename(beside, place);
  }
}

TEST(BookPacker, APlayerGoesInFrontAndTheResultRuns) {
  testing::TempDir dir;
  testing::WriteRichBook(dir / "one.exe");
  Extract(dir / "one.exe", dir / "a");
  testing::WriteFile(dir / "player", "#!/bin/sh\nexit 7\n");
  PackBook(dir / "a", dir / "book.exe", {dir / "player", {}});
  EXPECT_EQ(ReadFile(dir / "book.exe").rfind("#!/bin/sh\nexit 7\n", 0), 0u);
  EXPECT_TRUE((fs::status(dir / "book.exe").permissions() & fs::perms::owner_exec) != fs::perms::none);
  EXPECT_EQ(std::system((dir / "book.exe").c_str()) >> 8, 7);
  Extract(dir / "book.exe", dir / "b");
  EXPECT_EQ(ReadFile(dir / "b/files/res/other/toc.xml"), "<toc/>");
}

}  // namespace
}  // namespace pagewend::book
