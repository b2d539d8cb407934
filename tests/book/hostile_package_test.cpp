// Packages made to hurt the reader, unpacked whole. Whatever a package holds, the run ends with
// the book loaded or with an exception whose message says what is wrong; nothing is written
// outside the working folder and nothing inside it is a link. The unit suites test each reader
// alone; these tests drive the readers together, as a stranger's book would.
#include <sys/stat.h>
#include <zlib.h>

#include <archive.h>
#include <archive_entry.h>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "book/unpack_run.h"
#include "model/book/m_book.h"
#include "model/project/pw_project.h"
#include "model/xml_source.h"
#include "package/package_format.h"
#include "package/package_writer.h"
#include "paths/run_folder.h"
#include "testing/book_package.h"
#include "testing/run_tool.h"
#include "testing/swf_bytes.h"
#include "testing/temp_dir.h"

namespace pagewend::book {
using namespace package;
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::TempDir;
using testing::WriteFile;

std::string U32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string Be32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(3 - i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string Png(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(0xFF336699);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

// A PNG whose header claims the given size and whose data is empty.
std::string PngClaiming(std::uint32_t width, std::uint32_t height) {
  std::string ihdr = "IHDR" + Be32(width) + Be32(height) + std::string("\x08\x02\x00\x00\x00", 5);
  const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(ihdr.data()), 17));
  return std::string("\x89PNG\r\n\x1a\n", 8) + Be32(13) + ihdr + Be32(crc) + Be32(0) + "IDAT" +
         Be32(0x35AF061E);
}

struct ZipEntry {
  std::string name;
  std::string data;
  bool symlink = false;
};

std::string Zip(const std::vector<ZipEntry>& entries) {
  std::string out;
  std::unique_ptr<archive, int (*)(archive*)> a(archive_write_new(), archive_write_free);
  archive_write_set_format_zip(a.get());
  archive_write_open(
      a.get(), &out, nullptr,
      [](archive*, void* user, const void* data, std::size_t size) -> la_ssize_t {
        static_cast<std::string*>(user)->append(static_cast<const char*>(data), size);
        return static_cast<la_ssize_t>(size);
      },
      nullptr);
  for (const ZipEntry& entry : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, entry.name.c_str());
    archive_entry_set_filetype(e, entry.symlink ? AE_IFLNK : AE_IFREG);
    archive_entry_set_perm(e, 0644);
    if (entry.symlink) {
      archive_entry_set_symlink(e, entry.data.c_str());
    } else {
      archive_entry_set_size(e, static_cast<la_int64_t>(entry.data.size()));
    }
    archive_write_header(a.get(), e);
    if (!entry.symlink) archive_write_data(a.get(), entry.data.data(), entry.data.size());
    archive_entry_free(e);
  }
  archive_write_close(a.get());
  return out;
}

std::string Ref(const char* name, RecordRef ref) {
  return fmt::format("<pos_{0}>{1}</pos_{0}><size_{0}>{2}</size_{0}>", name, ref.pos, ref.size);
}

std::string RefAttributes(const char* name, RecordRef ref) {
  return fmt::format(" pos_{0}=\"{1}\" size_{0}=\"{2}\"", name, ref.pos, ref.size);
}

class QuietListener final : public BookListener {
 public:
  void BookTitle(const std::string&) override {}
  void BookProgress(int, int) override {}
  void BookLoaded(const book::UnpackedBook&) override { loaded = true; }
  bool loaded = false;
};

// Unpacks package into a working folder two levels below dir, beside a sentinel file, and
// checks what any run must leave: only the package, the sentinel and the working folder at
// and above its level, the sentinel untouched, no links inside. Returns the error, or "" when
// the book loaded.
std::string UnpackChecked(const TempDir& dir, const fs::path& package) {
  const fs::path outer = dir / "outer";
  const fs::path work = outer / "inner" / "run";
  fs::create_directories(work);
  WriteFile(outer / "inner" / "sentinel", "untouched");
  QuietListener listener;
  SilentNotifier notifier;
  std::string error;
  try {
    UnpackRun run({.bookFile = package, .workingFolder = work, .options = {{}, 2}}, listener, notifier);
    run.Run();
    if (!listener.loaded) error = "(stopped without loading)";
  } catch (const std::exception& e) {
    error = e.what();
    EXPECT_FALSE(error.empty()) << "an error without a message";
  }
  const std::vector<fs::path> expected = {package, outer, outer / "inner", outer / "inner" / "sentinel",
                                          work};
  for (const fs::path& folder : {dir.Path(), outer, outer / "inner"}) {
    for (const auto& entry : fs::directory_iterator(folder))
      EXPECT_NE(std::find(expected.begin(), expected.end(), entry.path()), expected.end())
          << entry.path() << " was written outside the working folder";
  }
  EXPECT_EQ(testing::ReadFile(outer / "inner" / "sentinel"), "untouched");
  for (auto it = fs::recursive_directory_iterator(work); it != fs::recursive_directory_iterator(); ++it)
    EXPECT_FALSE(it->is_symlink()) << it->path() << " is a link";
  return error;
}

struct Hostile {
  const char* name;
  // Writes the package; records first, then the two documents.
  std::function<void(PackageWriter&)> build;
};

// Names that climb out by "..", by absolute paths and by backslashes, for every field that
// names a file.
const char* const kClimbingNames[] = {
    "../../../evil.txt",     "..\\..\\..\\evil.txt",       "/tmp/evil.txt", "\\evil.txt", "C:\\evil.txt",
    "res/../../../evil.txt", "a\\..\\..\\..\\..\\evil.txt"};

std::vector<Hostile> HostilePackages() {
  std::vector<Hostile> all;
  all.push_back({"referencesOutsideTheFile", [](PackageWriter& w) {
                   w.AddRecord(std::string("data"));
                   w.Finish(fmt::format("<book{}{}/>", RefAttributes("search_", {2000000000, 40}),
                                        RefAttributes("langs_", {100, 4000000000u})),
                            "<project><background><filename>bg.png</filename><pos_>-8</pos_><size_>4</size_>"
                            "</background>" +
                                Ref("bookinfo_", {1, 4294967295u}) + Ref("mag_", {2147483647, 8}) +
                                "</project>");
                 }});
  all.push_back({"sizesBelowFour", [](PackageWriter& w) {
                   const RecordRef r = w.AddRecord(std::string("abc"));
                   w.Finish("<book/>", "<project><preloader><filename>p.swf</filename><pos_>" +
                                           std::to_string(r.pos) + "</pos_><size_>3</size_></preloader>" +
                                           Ref("vs_", {r.pos, 1}) + "</project>");
                 }});
  all.push_back({"overlappingReferences", [](PackageWriter& w) {
                   const RecordRef r = w.AddRecord(Png(4, 4));
                   // The same bytes as a record, a group and the documents' own bytes as a record.
                   w.Finish("<book/>", "<project><logo><filename>l.png</filename>" + Ref("", r) + "</logo>" +
                                           "<background><filename>b.png</filename>" + Ref("", r) +
                                           "</background>" + "<navbtn>" + Ref("", r) + "</navbtn><navbar>" +
                                           Ref("", r) + "</navbar>" + Ref("input_", {r.pos + 40, 40}) +
                                           "</project>");
                 }});
  all.push_back({"lengthFieldsBeforeTheStart", [](PackageWriter& w) {
                   // A group whose info.ini and typed records claim more bytes than lie before them.
                   const RecordRef g = w.AddGroup({{0, std::string(8, 'x')}}, "[info]\nfirstpage=f.png\n");
                   w.AddRecord(U32(0xFFFFFFF0) + U32(7));
                   w.Finish("<book/>", "<project><navbtn><pos_>" + std::to_string(g.pos) + "</pos_><size_>" +
                                           std::to_string(g.size + 100) + "</size_></navbtn></project>");
                 }});
  for (const char* document : {"", "not xml at all", "<project><a></project>", "\xEF\xBB\xBF<"}) {
    all.push_back({"documentsThatAreNotXml", [document](PackageWriter& w) { w.Finish(document, document); }});
  }
  all.push_back({"documentsNestedTenThousandLevels", [](PackageWriter& w) {
                   std::string open, close;
                   for (int i = 0; i < 10000; ++i) {
                     open += "<chapter><Pages><page><elem>";
                     close += "</elem></page></Pages></chapter>";
                   }
                   w.Finish("<book><Chapters>" + open + close + "</Chapters></book>", "<project/>");
                 }});
  all.push_back({"projectNestedTenThousandLevels", [](PackageWriter& w) {
                   std::string open, close;
                   for (int i = 0; i < 10000; ++i) {
                     open += "<navbtn>";
                     close += "</navbtn>";
                   }
                   w.Finish("<book/>", "<project>" + open + close + "</project>");
                 }});
  all.push_back(
      {"movieClaimingFourGiB", [](PackageWriter& w) {
         const RecordRef movie =
             w.AddRecord(testing::MakeSwf({0, 100, 0, 100}, 0, 1, true, std::string(5000, 'y'), 0xFFFFFFFFu));
         const RecordRef page = w.AddRecord(Png(8, 8));
         w.Finish(
             fmt::format("<book pagewidth=\"80\" pageheight=\"80\" thumbscale=\"1\"><Chapters><chapter>"
                         "<Pages><page mobilefile2=\"res/pages/p.png\"{}><elem>"
                         "<img src=\"res/pages/movie.swf\"{}/></elem></page></Pages></chapter>"
                         "</Chapters></book>",
                         RefAttributes("mobilefile2", page), RefAttributes("", movie)),
             "<project><preloader><filename>book.swf</filename>" + Ref("", movie) + "</preloader></project>");
       }});
  all.push_back(
      {"imagesWithHugeClaimedDimensions", [](PackageWriter& w) {
         const RecordRef huge = w.AddRecord(PngClaiming(100000, 100000));
         const RecordRef wide = w.AddRecord(PngClaiming(0x7FFFFFFF, 1));
         w.Finish(
             fmt::format("<book pagewidth=\"2000000000\" pageheight=\"2000000000\" thumbscale=\"1e300\">"
                         "<Chapters><chapter><Pages>"
                         "<page mobilefile2=\"res/pages/h.png\"{}><elem><img src=\"res/pages/w.png\"{}/>"
                         "</elem></page></Pages></chapter></Chapters></book>",
                         RefAttributes("mobilefile2", huge), RefAttributes("", wide)),
             "<project><background><filename>bg.png</filename>" + Ref("", huge) + "</background></project>");
       }});
  all.push_back({"zipEntriesThatClimbOutOrAreLinks", [](PackageWriter& w) {
                   const RecordRef langs = w.AddRecord(Zip({{"../../../../evil.txt", "x"},
                                                            {"/tmp/evil-absolute.txt", "x"},
                                                            {"..\\..\\..\\..\\evil2.txt", "x"},
                                                            {"link", "/etc", true},
                                                            {"link/passwd", "x"},
                                                            {"en/lang.xml", "<lang/>"}}));
                   w.Finish("<book" + RefAttributes("langs_", langs) + "/>", "<project/>");
                 }});
  for (const char* name : kClimbingNames) {
    all.push_back(
        {"namesThatClimbOut", [name](PackageWriter& w) {
           const RecordRef r = w.AddRecord(Png(4, 4));
           const RecordRef group = w.AddGroup(
               {{0, Png(2, 2)}, {1, Png(2, 2)}, {2, std::string("x")}},
               fmt::format("[info]\nfirstpage={0}\nlastpage={0}\nprevious=ok.png\ntopfile={0}\n", name));
           const std::string pageRef = RefAttributes("", r);
           w.Finish(
               fmt::format(
                   "<book searchindex=\"{0}\" download=\"{0}\"{1}{2}><Chapters><chapter bgsound=\"{0}\"{3}>"
                   "<Pages><page print=\"{0}\" searchtxt=\"{0}\" download=\"{0}\" mobilefile1=\"{0}\" "
                   "mobilefile2=\"{0}\" photoviewthumb=\"{0}\"{4}{5}{6}{7}><elem>"
                   "<img src=\"{0}\"{3}/><vid src=\"{0}\" preview=\"{0}\"{3}{8}/>"
                   "<snd src=\"{0}\"{3}/><gif src=\"{0}\"{3}/></elem></page></Pages></chapter>"
                   "</Chapters></book>",
                   name, RefAttributes("search_", r), RefAttributes("download_", r), pageRef,
                   RefAttributes("search_", r), RefAttributes("download_", r),
                   RefAttributes("mobilefile2", r), RefAttributes("print_", r), RefAttributes("pre_", r)),
               fmt::format("<project><background><filename>{0}</filename>{1}</background>"
                           "<logo><filename>{0}</filename>{1}</logo><toc><filename>{0}</filename>{1}</toc>"
                           "<preloader><filename>{0}</filename>{1}</preloader>"
                           "<navbar><topfile>{0}</topfile><bottomfile>{0}</bottomfile>{2}</navbar>"
                           "<navbtn><download>True</download>{2}</navbtn></project>",
                           name, Ref("", r), Ref("", group)));
         }});
  }
  return all;
}

TEST(HostilePackage, NoRunWritesOutsideItsFolderOrEndsWithoutAReason) {
  for (const Hostile& hostile : HostilePackages()) {
    SCOPED_TRACE(hostile.name);
    TempDir dir;
    {
      PackageWriter writer(dir / "book.pkg");
      hostile.build(writer);
    }
    const std::string error = UnpackChecked(dir, dir / "book.pkg");
    if (!error.empty()) RecordProperty(hostile.name, error);
  }
}

// Records and the run log share the files folder: a record named after the log is refused, so
// the log keeps what the run wrote. What the run makes is its user's alone.
TEST(HostilePackage, ARecordNamedAfterTheRunLogIsRefusedAndTheRunIsPrivate) {
  TempDir dir;
  {
    PackageWriter w(dir / "book.pkg");
    const RecordRef evil = w.AddRecord(std::string("OVERWRITTEN"));
    const RecordRef page = w.AddRecord(Png(8, 8));
    w.Finish(
        fmt::format("<book pagewidth=\"80\" pageheight=\"80\" thumbscale=\"1\"><Chapters><chapter>"
                    "<Pages><page mobilefile2=\"res/pages/p.png\"{}><elem><img src=\"Log/log1.txt\"{}/>"
                    "<img src=\"./Log\\log1.txt\"{}/></elem></page></Pages></chapter></Chapters></book>",
                    RefAttributes("mobilefile2", page), RefAttributes("", evil), RefAttributes("", evil)),
        "<project></project>");
  }
  const fs::path work = dir / "run";
  QuietListener listener;
  SilentNotifier notifier;
  {
    UnpackRun run({.bookFile = dir / "book.pkg", .workingFolder = work, .options = {{}, 2}}, listener,
                  notifier);
    run.Run();
  }
  EXPECT_TRUE(listener.loaded);
  const std::string log = testing::ReadFile(work / "files" / "Log" / "log1.txt");
  EXPECT_THAT(log, Not(HasSubstr("OVERWRITTEN")));
  EXPECT_THAT(log, HasSubstr("\"Log/log1.txt\" was not written: the run log's folder"));
  EXPECT_THAT(log, HasSubstr("Finish SplitPages"));

  struct stat st {};
  ASSERT_EQ(::stat(work.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(work)) {
    ASSERT_EQ(::lstat(entry.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, entry.is_directory() ? 0700u : 0600u) << entry.path();
    files += entry.is_regular_file() ? 1u : 0u;
  }
  EXPECT_GE(files, 3u);  // the log, the page's image and its thumbnail
}

// Links planted where the run's folders go, before it starts or while it runs: nothing is
// written through them, the run says why, and a run that cleans up after itself still does.
TEST(HostilePackage, LinksInTheWorkingFolderAreRefusedNotFollowed) {
  for (const char* planted : {"files", "files/res/pages", "files/res/languages", "files/res/mobile"}) {
    SCOPED_TRACE(planted);
    TempDir dir;
    testing::WriteRichBook(dir / "book.exe");
    fs::create_directories(dir / "outside");
    const fs::path work = dir / "run";
    fs::create_directories((work / planted).parent_path());
    fs::create_directory_symlink(dir / "outside", work / planted);
    QuietListener listener;
    SilentNotifier notifier;
    std::string error;
    try {
      UnpackRun run(
          {.bookFile = dir / "book.exe", .workingFolder = work, .removeWhenDone = true, .options = {{}, 2}},
          listener, notifier);
      run.Run();
    } catch (const std::exception& e) {
      error = e.what();
    }
    EXPECT_THAT(error, HasSubstr("link"));
    EXPECT_TRUE(fs::is_empty(dir / "outside"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(work)));
  }
}

TEST(HostilePackage, RawBytesThatAreNoPackageAreRefusedByName) {
  // Length fields pointing past the start, documents longer than the file, and files too short
  // to hold the two lengths at all.
  const std::string cases[] = {"",
                               "abc",
                               U32(0xFFFFFFFF) + U32(0xFFFFFFFF),
                               std::string(8, '\0') + U32(4),
                               "<book/>" + U32(7) + "<project/>" + U32(0x7FFFFFFF),
                               "<book/>" + U32(0x80000000u) + "<project/>" + U32(10)};
  for (const std::string& bytes : cases) {
    TempDir dir;
    WriteFile(dir / "raw.exe", bytes);
    const std::string error = UnpackChecked(dir, dir / "raw.exe");
    if (bytes == std::string(8, '\0') + U32(4)) continue;  // two empty documents may or may not load
    EXPECT_FALSE(error.empty()) << "a package of " << bytes.size() << " bytes loaded";
  }
}

TEST(HostilePackage, DocumentsTooDeepOrNotXmlAreNamedByTheModels) {
  // The documents a hostile package holds, at the level of the readers that parse them: each
  // failure says what is wrong with the document.
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "<a>";
  const SystemSettings system;
  model::project::TPWProject project;
  EXPECT_THAT([&] { project.LoadFromStream("<project>" + deep, system); },
              ::testing::ThrowsMessage<model::XmlError>(HasSubstr("parse error")));
  std::string nested = "<project>";
  for (int i = 0; i < 10000; ++i) nested += "<a>";
  for (int i = 0; i < 10000; ++i) nested += "</a>";
  nested += "</project>";
  EXPECT_THAT([&] { project.LoadFromStream(nested, system); },
              ::testing::ThrowsMessage<model::XmlError>(HasSubstr("nested deeper than")));
  EXPECT_THAT([&] { project.LoadFromStream(std::string_view(), system); },
              ::testing::ThrowsMessage<model::XmlError>(HasSubstr("parse error")));

  // The book model descends only into the children it knows, so depth costs it nothing.
  model::book::TMBook book;
  std::string chapters = "<book><Chapters>";
  for (int i = 0; i < 10000; ++i) chapters += "<chapter><Chapters>";
  for (int i = 0; i < 10000; ++i) chapters += "</Chapters></chapter>";
  chapters += "</Chapters></book>";
  book.LoadFromStream(chapters, {});
  EXPECT_EQ(book.Chapters().Count(), 1u);
}

// Bytes on disk below folder, each file counted once however many names it has.
std::int64_t DiskUse(const fs::path& folder) {
  std::set<std::pair<dev_t, ino_t>> seen;
  std::int64_t bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        seen.insert({st.st_dev, st.st_ino}).second)
      bytes += static_cast<std::int64_t>(st.st_size);
  }
  return bytes;
}

// One 1 MiB record under two thousand names costs the disk one record; two thousand records
// that overlap the same bytes stop the run at twice the package's size.
TEST(HostilePackage, NoBookWritesMoreThanTwiceItsPackage) {
  for (const bool overlapping : {false, true}) {
    SCOPED_TRACE(overlapping ? "overlapping records" : "one record, many names");
    TempDir dir;
    {
      PackageWriter w(dir / "book.pkg");
      const RecordRef r = w.AddRecord(std::string(1 << 20, 'r'));
      std::string elements;
      for (int i = 0; i < 2000; ++i)
        elements += fmt::format("<img src=\"res/pages/e{}.bin\"{}/>", i,
                                RefAttributes("", overlapping ? RecordRef{r.pos - i, r.size - i} : r));
      w.Finish("<book><Chapters><chapter><Pages><page><elem>" + elements +
                   "</elem></page></Pages></chapter>"
                   "</Chapters></book>",
               "<project/>");
    }
    const std::string error = UnpackChecked(dir, dir / "book.pkg");
    const fs::path files = dir / "outer/inner/run/files";
    EXPECT_LE(DiskUse(files), 2 * static_cast<std::int64_t>(fs::file_size(dir / "book.pkg")));
    if (overlapping) {
      EXPECT_THAT(error, HasSubstr("twice the size of its package"));
    } else {
      EXPECT_EQ(error, "");
      EXPECT_EQ(fs::file_size(files / "res/pages/e1999.bin"), 1u << 20);
    }
  }
}

// Pages that name the same mobile image for different records: each page's images come from
// its own record, though the next page's file takes the name while the workers decode.
TEST(HostilePackage, PagesSharingAMobileImageNameEachGetTheirOwn) {
  TempDir dir;
  {
    PackageWriter w(dir / "book.pkg");
    const RecordRef wide = w.AddRecord(Png(300, 100));
    const RecordRef tall = w.AddRecord(Png(100, 300));
    std::string pages;
    for (int i = 0; i < 24; ++i)
      pages += fmt::format(
          "<page mobilefile2=\"res/pages/m.png\" mobilefile1=\"m.png\" photoviewthumb=\"t.png\"{}/>",
          RefAttributes("mobilefile2", i % 2 ? tall : wide));
    w.Finish("<book pagewidth=\"100\" pageheight=\"100\"><Chapters><chapter><Pages>" + pages +
                 "</Pages></chapter></Chapters></book>",
             "<project/>");
  }
  QuietListener listener;
  SilentNotifier notifier;
  UnpackRun run({.bookFile = dir / "book.pkg", .workingFolder = dir / "run", .options = {{}, 2}}, listener,
                notifier);
  const auto book = run.Run();
  EXPECT_TRUE(listener.loaded);
  ASSERT_TRUE(book);
  EXPECT_EQ(book->pagesWithoutImages, 0u) << testing::ReadFile(run.Log()->FileName());
  for (int i = 0; i < 24; ++i) {
    const QImage mobile(QString::fromStdString(
        (run.Paths() / layout::MobileImage(static_cast<std::size_t>(i), ".png")).string()));
    EXPECT_EQ(mobile.width() > mobile.height(), i % 2 == 0) << "page " << i;
  }
}

TEST(HostilePackage, TheToolNamesTheBookAndTheProblem) {
  TempDir dir;
  WriteFile(dir / "raw.exe", "<book/>" + U32(7) + "<project/>" + U32(0x7FFFFFFF));
  const testing::ToolResult result =
      testing::RunTool({"extract", (dir / "raw.exe").string(), "-o", (dir / "out").string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("raw.exe"));
  EXPECT_THAT(result.err, HasSubstr("not a book (no package found at its end)"));
}

// A language archive that would expand past the run's budget is left out, and the book opens
// without it.
TEST(HostilePackage, ALanguageArchivePastTheBudgetIsLeftOut) {
  TempDir dir;
  {
    PackageWriter w(dir / "book.pkg");
    const RecordRef langs =
        w.AddRecord(Zip({{"en.xml", "<lang/>"}, {"zeros.bin", std::string(8 << 20, '\0')}}));
    w.Finish("<book" + RefAttributes("langs_", langs) + "/>", "<project/>");
  }
  EXPECT_EQ(UnpackChecked(dir, dir / "book.pkg"), "");
  const fs::path languages = dir / "outer/inner/run" / layout::kLanguages;
  EXPECT_TRUE(fs::is_directory(languages));
  EXPECT_TRUE(fs::is_empty(languages)) << "half an archive was left";
}

// One noisy image under many pages' own names: pages alike are made once and linked; pages
// that differ are made until the run's budget is spent, and the book still opens.
TEST(HostilePackage, ImagesMadeOfOneRecordAreMadeOnceAndWithinTheBudget) {
  QImage noise(300, 300, QImage::Format_RGB32);
  std::uint32_t seed = 1;
  for (int y = 0; y < noise.height(); ++y)
    for (int x = 0; x < noise.width(); ++x) noise.setPixel(x, y, seed = seed * 1664525u + 1013904223u);
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  noise.save(&buffer, "JPG", 95);
  constexpr int kPages = 30;
  for (const bool alike : {true, false}) {
    SCOPED_TRACE(alike ? "pages alike" : "pages that differ");
    TempDir dir;
    {
      PackageWriter w(dir / "book.pkg");
      const RecordRef r = w.AddRecord(jpeg.toStdString());
      std::string pages;
      for (int i = 0; i < kPages; ++i)
        pages += fmt::format(
            "<page mobilefile2=\"res/pages/m{0}.jpg\" mobilefile1=\"m.jpg\" "
            "photoviewthumb=\"t.jpg\"{1}><elem><img src=\"res/pages/p{0}.jpg\" "
            "left=\"{2}\" top=\"0\" width=\"300\" height=\"300\"{3}/></elem></page>",
            i, RefAttributes("mobilefile2", r), alike ? 0 : i, RefAttributes("", r));
      w.Finish("<book pagewidth=\"300\" pageheight=\"300\" thumbscale=\"1\"><Chapters><chapter><Pages>" +
                   pages + "</Pages></chapter></Chapters></book>",
               "<project/>");
    }
    const fs::path work = dir / "run";
    QuietListener listener;
    SilentNotifier notifier;
    OpenerOptions options;
    options.jobs = 2;
    if (!alike) options.madeImageBytes = 0;
    UnpackRun run({.bookFile = dir / "book.pkg", .workingFolder = work, .options = options}, listener,
                  notifier);
    const auto unpacked = run.Run();
    ASSERT_TRUE(unpacked.has_value());
    if (alike) {
      EXPECT_EQ(unpacked->pagesWithoutImages, 0u);
      struct stat st {};
      ASSERT_EQ(::stat((work / layout::PageThumbnail(kPages - 1)).c_str(), &st), 0);
      EXPECT_EQ(st.st_nlink, static_cast<nlink_t>(kPages)) << "each page's thumbnail made again";
    } else {
      EXPECT_LE(DiskUse(work / "files"), 2 * static_cast<std::int64_t>(fs::file_size(dir / "book.pkg")));
      EXPECT_GT(unpacked->pagesWithoutImages, 0u);
    }
  }
}

}  // namespace
}  // namespace pagewend::book
