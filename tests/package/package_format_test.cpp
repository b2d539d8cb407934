#include "package/package_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "package/package_writer.h"
#include "testing/temp_dir.h"

namespace pagewend::package {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string U32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string Text(const PackageFile& file, Slice slice) { return file.ReadText(slice, "test", 1 << 20); }

// Expects the call to throw PackageError whose message holds every fragment.
template <typename F>
void ExpectPackageError(F&& call, std::initializer_list<std::string> fragments) {
  try {
    call();
    FAIL() << "no error";
  } catch (const PackageError& e) {
    for (const auto& fragment : fragments) EXPECT_THAT(e.what(), HasSubstr(fragment));
  }
}

TEST(PackageFormat, FindsBothDocumentsAndEveryRecordBehindStubsOfAnyLength) {
  TempDir dir;
  for (std::size_t stubLength : {0u, 1u, 7u, 4099u}) {
    WriteFile(dir / "stub", std::string(stubLength, 'S'));
    PackageWriter writer(dir / "book", stubLength ? dir / "stub" : std::filesystem::path());
    const RecordRef first = writer.AddRecord(std::string("first record"));
    WriteFile(dir / "payload.bin", std::string(5000, 'p'));
    const RecordRef fromFile = writer.AddRecord(dir / "payload.bin");
    const RecordRef empty = writer.AddRecord(std::string());
    const std::int64_t lastRecordEnd = writer.Offset();
    writer.Finish("<book/>", "<project a='1'/>");

    PackageFile file(dir / "book");
    EXPECT_EQ(first.pos - first.size,
              static_cast<std::int64_t>(stubLength));  // the package starts at the stub's end
    const Documents docs = LocateDocuments(file);
    EXPECT_EQ(Text(file, docs.book), "<book/>");
    EXPECT_EQ(Text(file, docs.project), "<project a='1'/>");
    EXPECT_EQ(docs.project.End() + 4, file.Size());
    EXPECT_EQ(docs.book.End() + 4, docs.project.offset);
    EXPECT_EQ(docs.book.offset, lastRecordEnd);
    EXPECT_EQ(Text(file, ResolvePlainRecord(file, first, "first")), "first record");
    EXPECT_EQ(Text(file, ResolvePlainRecord(file, fromFile, "file")), std::string(5000, 'p'));
    EXPECT_EQ(ResolvePlainRecord(file, empty, "empty").length, 0);
  }
}

TEST(PackageFormat, ZeroPosOrSizeMeansAbsent) {
  EXPECT_TRUE((RecordRef{0, 10}).Absent());
  EXPECT_TRUE((RecordRef{10, 0}).Absent());
  EXPECT_FALSE((RecordRef{10, 4}).Absent());
  TempDir dir;
  WriteFile(dir / "f", std::string(64, 'x'));
  ExpectPackageError([&] { ResolvePlainRecord(PackageFile(dir / "f"), {0, 10}, "toc"); }, {"toc", "absent"});
}

TEST(PackageFormat, ReferencesOutsideTheFileOrInconsistentAreRefusedWithTheirNumbers) {
  TempDir dir;
  {
    PackageWriter writer(dir / "book");
    writer.AddRecord(std::string(100, 'a'));  // pos 104, size 104
    writer.Finish("<book/>", "<project/>");
  }
  PackageFile file(dir / "book");
  ExpectPackageError(
      [&] {
        ResolvePlainRecord(file, {104, 3}, "project.background");
      },
      {"project.background", "pos_ 104", "size_ 3", "below 4"});
  ExpectPackageError(
      [&] {
        ResolvePlainRecord(file, {50, 104}, "bg");
      },
      {"pos_ 50", "size_ 104", "before the file"});
  ExpectPackageError(
      [&] {
        ResolvePlainRecord(file, {file.Size() + 1, 10}, "bg");
      },
      {"past the end", std::to_string(file.Size())});
  ExpectPackageError([&] { ResolvePlainRecord(file, {-8, 4}, "bg"); }, {"before the file"});
  ExpectPackageError([&] { ResolvePlainRecord(file, {104, 50}, "bg"); }, {"length field 100", "disagrees"});
  EXPECT_EQ(ResolvePlainRecord(file, {104, 104}, "bg"), (Slice{0, 100}));
}

TEST(PackageFormat, DocumentLengthsThatReachBeforeTheFileAreRefused) {
  TempDir dir;
  WriteFile(dir / "tiny", "1234567");
  ExpectPackageError([&] { LocateDocuments(PackageFile(dir / "tiny")); }, {"7 bytes", "too short"});
  WriteFile(dir / "project", std::string(20, 'x') + U32(17));
  ExpectPackageError([&] { LocateDocuments(PackageFile(dir / "project")); },
                     {"project document", "length field 17"});
  WriteFile(dir / "book", std::string(10, 'x') + U32(11) + "<p/>" + U32(4));
  ExpectPackageError([&] { LocateDocuments(PackageFile(dir / "book")); },
                     {"book document", "length field 11"});
  WriteFile(dir / "empty", U32(0) + U32(0));  // two empty documents are a well-formed package
  const Documents docs = LocateDocuments(PackageFile(dir / "empty"));
  EXPECT_EQ(docs.book, (Slice{0, 0}));
  EXPECT_EQ(docs.project, (Slice{4, 0}));
}

std::string ButtonNameOf(const IniSection& info, std::uint32_t type) {
  if (type >= kButtonKeys.size()) return {};
  auto it = info.find(kButtonKeys[type]);
  return it == info.end() ? std::string() : it->second;
}

TEST(PackageFormat, ButtonGroupSharingANameKeepsTheLowestType) {
  TempDir dir;
  RecordRef ref;
  {
    PackageWriter writer(dir / "book");
    writer.AddRecord(std::string("before"));
    ref = writer.AddGroup({{3, std::string("NEXT")},
                           {0, std::string("FIRST")},
                           {2, std::string("PREV")},
                           {7, std::string("FULL")},
                           {40, std::string("UNKNOWN")}},
                          "[info]\r\nwidth=20\r\nFirstPage=arrow.png\r\nprevious = arrow.png \r\n"
                          "next=next.png\r\nfullscreen=   \r\nNext=later.png\r\n");
    writer.Finish("<book/>", "<project/>");
  }
  PackageFile file(dir / "book");
  const ResourceGroup group = ReadGroup(file, ref, "project.navbtn");
  ASSERT_EQ(group.records.size(), 5u);
  EXPECT_EQ(group.records.front().type, 40u);  // written ascending, read backwards
  EXPECT_EQ(group.records.back().type, 0u);
  const IniSection info = ParseInfoIni(Text(file, group.info));
  EXPECT_EQ(info.at("width"), "20");
  EXPECT_EQ(info.at("firstpage"), "arrow.png");
  EXPECT_EQ(info.at("next"), "next.png");  // a key listed twice: the first one counts

  const auto files = GroupFiles(group, [&](std::uint32_t type) { return ButtonNameOf(info, type); });
  ASSERT_EQ(files.size(), 2u);  // blank and unknown names are skipped
  EXPECT_EQ(files[0].name, "next.png");
  EXPECT_EQ(Text(file, files[0].payload), "NEXT");
  EXPECT_EQ(files[1].name, "arrow.png");
  EXPECT_EQ(Text(file, files[1].payload), "FIRST");
}

TEST(PackageFormat, InfoIniReadsAsTheWindowsProfileFunctionsDo) {
  const IniSection info = ParseInfoIni(
      "; made by hand\r\n[other]\r\nwidth=1\r\n[ INFO ]\r\n  Width = 20 ; px\r\nheight=\"30\"\r\n"
      "  continued=no\r\nname='a b'\r\nquote=\"x'\r\n;width=5\r\nWIDTH=40\r\n=orphan\r\n"
      "[info]\r\nlater=ignored\r\n");
  EXPECT_EQ(info.at("width"), "20 ; px");  // ';' inside a line is text
  EXPECT_EQ(info.at("height"), "30");
  EXPECT_EQ(info.at("continued"), "no");  // an indented line is a line of its own
  EXPECT_EQ(info.at("name"), "a b");
  EXPECT_EQ(info.at("quote"), "\"x'");  // quotes that do not pair stay
  EXPECT_EQ(info.size(), 5u);           // no second [info], no empty key, no other section
}

TEST(PackageFormat, GroupWithOnlyItsInfoIni) {
  TempDir dir;
  RecordRef ref;
  {
    PackageWriter writer(dir / "book");
    ref = writer.AddGroup({}, "[info]\r\nheight=30\r\n");
    writer.Finish("<book/>", "<project/>");
  }
  PackageFile file(dir / "book");
  const ResourceGroup group = ReadGroup(file, ref, "project.navbar");
  EXPECT_TRUE(group.records.empty());
  EXPECT_EQ(ref.size, group.info.length + 4);
  EXPECT_EQ(ParseInfoIni(Text(file, group.info)).at("height"), "30");
}

TEST(PackageFormat, DamagedGroupsAreRefused) {
  TempDir dir;
  // Group start 0: a typed record whose length reaches before the group.
  WriteFile(dir / "long", "AB" + U32(0) + U32(9) + "ini" + U32(3));
  ExpectPackageError(
      [&] {
        ReadGroup(PackageFile(dir / "long"), {17, 17}, "navbtn");
      },
      {"navbtn", "length 9", "before the group"});
  // Three stray bytes where a typed record header should be.
  WriteFile(dir / "stray", "xyzini" + U32(3));
  ExpectPackageError([&] { ReadGroup(PackageFile(dir / "stray"), {10, 10}, "navbtn"); }, {"3 stray bytes"});
  // info.ini longer than the group.
  WriteFile(dir / "info", "0123456789ini" + U32(9));
  ExpectPackageError(
      [&] {
        ReadGroup(PackageFile(dir / "info"), {17, 8}, "navbar");
      },
      {"info.ini length 9", "before the group"});
  // Thousands of empty typed records: refused past the cap, not collected without end.
  std::string many;
  for (std::size_t i = 0; i <= kMaxGroupRecords; ++i) many += U32(1) + U32(0);
  many += U32(0);
  WriteFile(dir / "many", many);
  ExpectPackageError(
      [&] {
        ReadGroup(PackageFile(dir / "many"),
                  {static_cast<std::int64_t>(many.size()), static_cast<std::int64_t>(many.size())}, "navbtn");
      },
      {"more than 1024"});
}

TEST(PackageFormat, CopyStreamsASliceAndNeverWritesThroughALink) {
  TempDir dir;
  std::string big(3 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteFile(dir / "src", "head" + big + "tail");
  PackageFile file(dir / "src");
  file.CopyTo({4, static_cast<std::int64_t>(big.size())}, dir / "out", "record");
  EXPECT_EQ(ReadFile(dir / "out"), big);

  WriteFile(dir / "victim", "keep me");
  std::filesystem::create_symlink(dir / "victim", dir / "link");
  EXPECT_THROW(file.CopyTo({0, 4}, dir / "link", "record"), PackageError);
  EXPECT_EQ(ReadFile(dir / "victim"), "keep me");
  ExpectPackageError([&] { file.CopyTo({file.Size() - 2, 4}, dir / "out2", "record"); }, {"past the end"});
  EXPECT_FALSE(std::filesystem::exists(dir / "out2"));
}

TEST(PackageFormat, ReadTextRefusesLengthsPastItsLimit) {
  TempDir dir;
  WriteFile(dir / "f", std::string(100, 'x'));
  PackageFile file(dir / "f");
  EXPECT_EQ(file.ReadText({0, 10}, "doc", 10).size(), 10u);
  ExpectPackageError([&] { file.ReadText({0, 11}, "doc", 10); }, {"doc", "11 bytes", "limit of 10"});
}

TEST(PackageWriter, RefusesWorkAfterFinishAndMissingFiles) {
  TempDir dir;
  PackageWriter writer(dir / "book");
  ExpectPackageError([&] { writer.AddRecord(dir / "missing.jpg"); }, {"missing.jpg"});
  writer.Finish("<book/>", "<project/>");
  EXPECT_THROW(writer.AddRecord(std::string("late")), PackageError);
  EXPECT_THROW(PackageFile(dir / "nothing"), PackageError);
}

}  // namespace
}  // namespace pagewend::package
