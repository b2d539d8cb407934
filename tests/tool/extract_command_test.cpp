#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <fstream>
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
  // --force replaces the folder: what an earlier run left there is gone.
  testing::WriteFile(out / "stale.txt", "old");
  EXPECT_EQ(RunTool({"extract", (dir / "tiny.exe").string(), "-o", out.string(), "--force"}).exitCode, 0);
  EXPECT_FALSE(fs::exists(out / "stale.txt"));
  EXPECT_TRUE(fs::exists(out / "files/res/other/logo.png"));
}

// A book long enough to be interrupted at several points of its pages.
void WriteLongBook(const fs::path& path, int pages) {
  package::PackageWriter w(path);
  const std::string image = testing::ImageBytes(600, 800, ".jpg");
  std::string xml;
  for (int i = 0; i < pages; ++i)
    xml += fmt::format(R"(<page mobilefile2="m{}.jpg" mobilefile1="a.jpg" photoviewthumb="b.jpg" {}/>)", i,
                       testing::RefAttrs(w.AddRecord(image), "mobilefile2"));
  w.Finish(
      fmt::format(R"(<book pagewidth="600" pageheight="800" thumbscale="0.2"><Chapters><chapter><Pages>{})"
                  R"(</Pages></chapter></Chapters></book>)",
                  xml),
      "<project/>");
}

TEST(ExtractCommand, AnInterruptedRunLeavesTheTargetAsItWasAndNoPartialFolder) {
  testing::TempDir dir;
  WriteLongBook(dir / "long", 200);
  auto leftovers = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
      if (entry.path().filename().string().find("partial") != std::string::npos)
        names.push_back(entry.path().filename().string());
    return names;
  };
  const fs::path target = dir / "out";
  // A signal that comes before the tool watches for it stops the run all the same, as soon as
  // it can; later ones, wherever they find the run.
  for (const int delay : {0, 30, 100, 300, 700}) {
    const int signal = delay == 0 ? SIGHUP : delay == 300 ? SIGTERM : SIGINT;
    auto run = testing::RunToolInterrupted(
        {"extract", (dir / "long").string(), "-o", target.string(), "--jobs", "1"},
        std::chrono::milliseconds(delay), signal);
    if (run.exitCode == 0 && delay > 0) {  // finished before the signal came
      fs::remove_all(target);
      continue;
    }
    EXPECT_EQ(run.exitCode, 128 + signal) << delay << " ms: " << run.err;
    // Pending from the start, it reaches the run; one that comes before the tool watches may end
    // the tool as the signal does, before anything is written.
    if (delay == 0) {
      EXPECT_THAT(run.err, HasSubstr("interrupted"));
    }
    EXPECT_FALSE(fs::exists(target)) << delay << " ms";
    EXPECT_THAT(leftovers(), ::testing::IsEmpty()) << delay << " ms";
  }
  // An interrupted --force leaves the earlier folder as it was.
  fs::create_directories(target);
  testing::WriteFile(target / "earlier.txt", "kept");
  auto forced = testing::RunToolInterrupted(
      {"extract", (dir / "long").string(), "-o", target.string(), "--force", "--jobs", "1"},
      std::chrono::milliseconds(150), SIGINT);
  EXPECT_EQ(testing::ReadFile(target / "earlier.txt"), "kept") << forced.err;
  EXPECT_THAT(leftovers(), ::testing::IsEmpty());

  // Without -o, a book without an extension unpacks into NAME.d in the current folder.
  auto named = testing::RunToolInterrupted({"extract", "long"}, std::chrono::milliseconds(-1), 0, dir.Path());
  EXPECT_EQ(named.exitCode, 0) << named.err;
  EXPECT_TRUE(fs::is_directory(dir / "long.d/files"));
}

// Books from old tools carry faults that cost a reader nothing but the faulty part.
TEST(ExtractCommand, AForgivingBookLoadsAndItsLogNamesEachFault) {
  testing::TempDir dir;
  const std::string jpeg = testing::ImageBytes(300, 400, ".jpg");
  {
    package::PackageWriter w(dir / "old.exe");
    int n = 0;
    const auto page = [&](const std::string& source, const std::string& mobile) {
      return fmt::format(R"(<page mobilefile2="m{}.jpg" mobilefile1="{}" photoviewthumb="p.jpg" {}/>)", n++,
                         mobile, testing::RefAttrs(w.AddRecord(source), "mobilefile2"));
    };
    std::string pages = page(jpeg, "a.jpg");                          // fine
    pages += page("\xFF\xD8\xFF\xE0 not a picture at all", "a.jpg");  // cannot be decoded
    pages += page(testing::ImageBytes(300, 400, ".tif"), "a.jpg");    // TIFF
    pages += page(jpeg, "mobile");                                    // no extension: no format
    // A picture whose length field disagrees with its size_: read by pos_ and size_ all the same.
    package::RecordRef shifted = w.AddRecord("JUNK" + jpeg);
    shifted.size -= 4;
    pages += fmt::format(R"(<page><elem><img src="pictures/e.jpg" {}/></elem></page>)",
                         testing::RefAttrs(shifted));
    w.Finish(
        fmt::format(R"(<book pagewidth="300" pageheight="400" thumbscale="0.5"><Chapters><chapter><Pages>{})"
                    R"(</Pages></chapter></Chapters></book>)",
                    pages),
        "<project><exetitle>Old</exetitle><navbtn><download>true</download></navbtn></project>");
  }
  const fs::path out = dir / "out";
  auto run = RunTool({"extract", (dir / "old.exe").string(), "-o", out.string(), "--events"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("WM_BOOK_LOADED"));
  EXPECT_THAT(run.err, HasSubstr("2 pages without all their images"));
  const std::string log = testing::ReadFile(out / "files/Log/log1.txt");
  // The faults name the files where they are after the run, not the folder they were made in.
  EXPECT_THAT(log,
              HasSubstr("Page[1]: its images were not all made: " + fs::absolute(out).string() + "/files/"));
  EXPECT_THAT(log, HasSubstr("Page[3]: its images were not all made: "));
  EXPECT_THAT(log + run.err, ::testing::Not(HasSubstr(".partial-")));
  EXPECT_THAT(log, HasSubstr("length field"));
  for (int page : {0, 2, 3})
    EXPECT_TRUE(fs::exists(out / fmt::format("files/res/thumbnails/thumb_{}.png", page))) << page;
  EXPECT_FALSE(fs::exists(out / "files/res/thumbnails/thumb_1.png"));
  EXPECT_TRUE(fs::exists(out / "files/res/mobile/page0003_i1.jpg"));  // the TIFF page
  EXPECT_EQ(testing::ReadFile(out / "files/pictures/e.jpg"), jpeg);
}

// A page size and thumbnail scale from a hostile book cannot make a thumbnail of any size, nor
// a number that does not fit.
TEST(ExtractCommand, AHugeThumbnailIsRefusedForItsPageOnly) {
  testing::TempDir dir;
  for (const char* size : {R"(pagewidth="30000" pageheight="30000" thumbscale="1")",
                           R"(pagewidth="800" pageheight="600" thumbscale="1e300")"}) {
    {
      package::PackageWriter w(dir / "huge.exe");
      const auto ref = w.AddRecord(testing::ImageBytes(80, 60, ".jpg"));
      w.Finish(
          fmt::format(R"(<book {}><Chapters><chapter><Pages><page mobilefile2="m.jpg" mobilefile1="a.jpg" )"
                      R"(photoviewthumb="b.jpg" {}><elem><img src="e.jpg" width="2000000000"/></elem></page>)"
                      R"(</Pages></chapter></Chapters></book>)",
                      size, testing::RefAttrs(ref, "mobilefile2")),
          "<project/>");
    }
    fs::remove_all(dir / "out");
    auto run = RunTool({"extract", (dir / "huge.exe").string(), "-o", (dir / "out").string()});
    ASSERT_EQ(run.exitCode, 0) << size << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr("1 page without all its images")) << size;
    EXPECT_THAT(testing::ReadFile(dir / "out/files/Log/log1.txt"), HasSubstr("larger than the limit"))
        << size;
    EXPECT_TRUE(fs::exists(dir / "out/files/res/mobile/page0001_i1.jpg")) << size;
  }
}

// A link given as the output folder is followed and stays a link, with nothing left beside it;
// an output folder that holds the book is refused before anything of it is removed.
TEST(ExtractCommand, TheOutputFolderIsFollowedThroughALinkAndNeverHoldsTheBook) {
  testing::TempDir dir;
  fs::create_directories(dir / "box");
  testing::WriteRichBook(dir / "box/book.exe");
  fs::create_directory(dir / "real");
  fs::create_directory_symlink("real", dir / "link");
  for (int run = 0; run < 2; ++run)
    EXPECT_EQ(RunTool({"extract", (dir / "box/book.exe").string(), "-o", (dir / "link").string(), "--force"})
                  .exitCode,
              0);
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_FALSE(fs::is_empty(dir / "real"));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_THAT(names, ::testing::ElementsAre("box", "link", "real"));

  for (const char* command : {"extract", "export"}) {
    std::vector<std::string> args = {command, (dir / "box/book.exe").string(), "-o", (dir / "box").string(),
                                     "--force"};
    if (std::string(command) == "export") args.push_back("--html");
    const auto held = RunTool(args);
    EXPECT_EQ(held.exitCode, 1) << command;
    EXPECT_THAT(held.err, HasSubstr("holds the book itself")) << command;
    EXPECT_TRUE(fs::exists(dir / "box/book.exe")) << command;
  }
}

TEST(ExtractCommand, FailsWithTheFileAndTheProblem) {
  testing::TempDir dir;
  testing::WriteFile(dir / "junk.exe", std::string(100, 'j'));
  auto junk = RunTool({"extract", (dir / "junk.exe").string(), "-o", (dir / "o").string(), "--events"});
  EXPECT_EQ(junk.exitCode, 1);
  EXPECT_EQ(junk.err, "pagewend extract: " + (dir / "junk.exe").string() +
                          ": not a book (no package found at its end)\n");
  EXPECT_EQ(RunTool({"extract", (dir / "junk.exe").string(), "--jobs", "0"}).exitCode, 2);

  // A package whose settings do not load: the user's words, then the run log's line.
  {
    package::PackageWriter w(dir / "broken.exe");
    w.Finish("<book/>", "<project><swfwd>");
  }
  auto run = RunTool({"extract", (dir / "broken.exe").string(), "-o", (dir / "o").string(), "--events"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, ::testing::StartsWith("pagewend extract: " + (dir / "broken.exe").string() +
                                             ": the book could not be unpacked\n  Failed to SplitProj: "));
  EXPECT_THAT(run.out, ::testing::Not(HasSubstr("WM_BOOK_LOADED")));
  EXPECT_FALSE(fs::exists(dir / "o"));  // nothing half-written, not even an empty tree
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
  // Run from the folder above, with the folder named as a relative path: the file it names is
  // the one that is missing.
  const auto relative = testing::RunToolInterrupted({"pack", "a", "-o", "bad.pkg"},
                                                    std::chrono::milliseconds(-1), 0, dir.Path());
  EXPECT_THAT(relative.err, HasSubstr("pagewend pack: a: project.logo: files/res/other/logo.png is missing"));
  EXPECT_EQ(RunTool({"pack", (dir / "nowhere").string(), "-o", (dir / "x.pkg").string()}).exitCode, 1);
  for (const auto& entry : fs::directory_iterator(dir.Path()))
    EXPECT_THAT(entry.path().filename().string(), ::testing::Not(HasSubstr("partial")));
}

// A book of two chapters: every command counts, unpacks, packs and exports the pages of both, and
// the second chapter's files and sound survive a round trip through pack.
TEST(PackCommand, EveryCommandAgreesOnABookOfTwoChapters) {
  testing::TempDir dir;
  {
    package::PackageWriter w(dir / "two.exe");
    std::vector<package::RecordRef> images;
    for (int i = 0; i < 4; ++i) images.push_back(w.AddRecord(testing::ImageBytes(60 + i, 80, ".jpg")));
    const auto sound = w.AddRecord(std::string("SOUND"));
    std::string chapters;
    for (int c = 0; c < 2; ++c) {
      chapters += fmt::format(R"(<chapter{}><Pages>)",
                              c == 1 ? " bgsound=\"b.mp3\" " + testing::RefAttrs(sound) : "");
      for (int p = 2 * c; p < 2 * c + 2; ++p)
        chapters += fmt::format(
            R"(<page><elem><img src="res\pages\p{}.jpg" width="60" height="80" {}/></elem></page>)", p,
            testing::RefAttrs(images[static_cast<std::size_t>(p)]));
      chapters += "</Pages></chapter>";
    }
    w.Finish(R"(<book pagewidth="60" pageheight="80"><Chapters>)" + chapters + "</Chapters></book>",
             "<project><exetitle>Two chapters</exetitle></project>");
  }
  const auto info = [&](const fs::path& book) {
    const auto run = RunTool({"info", book.string(), "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return nlohmann::json::parse(run.out);
  };
  EXPECT_EQ(info(dir / "two.exe")["pages"], 4);
  ASSERT_EQ(RunTool({"extract", (dir / "two.exe").string(), "-o", (dir / "a").string(), "--keep-documents"})
                .exitCode,
            0);
  auto pack = RunTool({"pack", (dir / "a").string(), "-o", (dir / "again.pkg").string()});
  ASSERT_EQ(pack.exitCode, 0) << pack.err;
  const auto again = info(dir / "again.pkg");
  EXPECT_EQ(again["pages"], 4);
  for (const auto& reference : again["references"])
    EXPECT_THAT(reference["status"].get<std::string>(), ::testing::AnyOf("ok", "absent")) << reference.dump();
  ASSERT_EQ(RunTool({"extract", (dir / "again.pkg").string(), "-o", (dir / "b").string()}).exitCode, 0);
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(testing::ReadFile(dir / fmt::format("b/files/res/pages/p{}.jpg", p)),
              testing::ReadFile(dir / fmt::format("a/files/res/pages/p{}.jpg", p)));
  }
  EXPECT_EQ(testing::ReadFile(dir / "b/files/res/sounds/bg2.mp3"), "SOUND");
  ASSERT_EQ(
      RunTool({"export", "--html", (dir / "again.pkg").string(), "-o", (dir / "web").string()}).exitCode, 0);
  EXPECT_TRUE(fs::exists(dir / "web/pages/page-0004.jpg"));
  EXPECT_FALSE(fs::exists(dir / "web/pages/page-0005.jpg"));

  // A reference that no file of the book comes from is never dropped in silence.
  std::string document = testing::ReadFile(dir / "a/book.xml");
  document.replace(document.find("<elem>"), 6, R"(<elem><txt content="x" pos_="99" size_="9"/>)");
  std::ofstream(dir / "a/book.xml", std::ios::binary) << document;
  pack = RunTool({"pack", (dir / "a").string(), "-o", (dir / "lossy.pkg").string()});
  EXPECT_EQ(pack.exitCode, 1);
  EXPECT_THAT(pack.err, HasSubstr("book.page[0].elem[1]"));
  EXPECT_FALSE(fs::exists(dir / "lossy.pkg"));
}

}  // namespace
}  // namespace pagewend
