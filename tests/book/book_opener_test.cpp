#include "book/book_opener.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QImage>

#include <regex>

#include "model/book/m_book.h"
#include "model/book/m_page_elements.h"
#include "model/project/pw_project.h"
#include "package/package_writer.h"
#include "testing/book_package.h"
#include "testing/swf_bytes.h"
#include "testing/temp_dir.h"
#include "testing/zip_archive.h"

namespace pagewend::book {
using namespace package;
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ImageBytes;
using testing::ReadFile;
using testing::RefAttrs;
using testing::RefElements;
using testing::TempDir;

class RecordingListener : public BookListener {
 public:
  void BookTitle(const std::string& title) override { events.push_back("title " + title); }
  void BookProgress(int done, int total) override {
    events.push_back(fmt::format("progress {} {}", done, total));
  }
  void BookLoaded(const book::UnpackedBook&) override { events.push_back("loaded"); }
  std::vector<std::string> events;
};

class RecordingNotifier : public Notifier {
 public:
  void Notify(std::string_view message) override { messages.emplace_back(message); }
  std::vector<std::string> messages;
};

// The messages of the run log, without their time stamps.
std::vector<std::string> LogLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line.size() > 23 ? line.substr(23) : line);
  return lines;
}

QSize ImageSize(const fs::path& path) { return QImage(QString::fromStdString(path.string())).size(); }

// One run of the opener over a package, into a working folder of its own.
struct OpenerRun {
  TempDir dir;
  fs::path w = dir / "work";
  fs::path f = w / "files";
  RecordingListener listener;
  RecordingNotifier notifier;
  std::unique_ptr<RunLog> log;
  std::unique_ptr<BookOpener> opener;

  explicit OpenerRun(unsigned jobs = 2) {
    const RunFolder paths = RunFolder::At(w);
    paths.Create();
    log = std::make_unique<RunLog>(dir / "log.txt");
    opener = std::make_unique<BookOpener>(listener, notifier, paths, log.get(), OpenerOptions{{}, jobs});
  }
  fs::path Package() const { return dir / "book.exe"; }
  void OpenAndSplit() {
    opener->Open(Package());
    opener->SplitAll();
  }
  std::vector<std::string> Log() const { return LogLines(dir / "log.txt"); }
  // Every path below the temporary folder except the working folder's, the package and the log.
  std::vector<std::string> Outside() const {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path())) {
      const auto rel = fs::relative(e.path(), dir.Path()).string();
      if (rel.rfind("work", 0) != 0 && rel != "book.exe" && rel != "log.txt" && rel != "stub")
        out.push_back(rel);
    }
    return out;
  }
};

TEST(BookOpener, UnpacksEveryKindOfRecordWhereItBelongs) {
  OpenerRun run;
  testing::WriteFile(run.dir / "stub", "#!/bin/sh\necho player\n");
  testing::WriteRichBook(run.Package(), run.dir / "stub");
  run.OpenAndSplit();

  EXPECT_THAT(run.listener.events, ElementsAre("title My Book", "progress 5 100", "progress 10 100",
                                               "progress 55 100", "progress 100 100", "loaded"));
  EXPECT_TRUE(run.notifier.messages.empty()) << run.notifier.messages.front();
  const fs::path f = run.f;
  EXPECT_EQ(ImageSize(f / "res/other/background.JPG"), QSize(20, 10));
  EXPECT_EQ(ReadFile(f / "res/navbtn/arrow.png"), "FIRST");  // the lowest type wins a shared name
  EXPECT_EQ(ReadFile(f / "res/navbtn/dl.png"), "DL");
  EXPECT_THAT(ReadFile(f / "res/navbtn/info.ini"), HasSubstr("firstpage=arrow.png"));
  EXPECT_EQ(ReadFile(f / "res/navbar/top.png"), "TOP");
  EXPECT_EQ(ReadFile(f / "res/navbar/bottom.png"), "BOTTOM");
  EXPECT_EQ(ReadFile(f / "res/navbar/info.ini"), "[info]\r\nheight=40\r\n");
  EXPECT_EQ(ReadFile(f / "book.swf").substr(0, 3), "CWS");
  EXPECT_EQ(ReadFile(f / "res/other/logo.png"), "LOGO");
  EXPECT_EQ(ReadFile(f / "res/other/index.txt"), "search words");
  EXPECT_EQ(ReadFile(f / "res/other/toc.xml"), "<toc/>");
  EXPECT_EQ(ReadFile(f / "res/sounds/bg.mp3"), "ID3");
  EXPECT_EQ(ReadFile(f / "res/downloads/all.zip"), "ZIPDL");
  EXPECT_EQ(ReadFile(f / "res/languages/de/de.xml"), "<de/>");
  EXPECT_FALSE(fs::exists(f / "res/languages/langs.zip"));
  EXPECT_EQ(ReadFile(f / "res/search/2.txt"), "page two words");
  EXPECT_EQ(ReadFile(f / "res/downloads/two.pdf"), "%PDF");
  EXPECT_EQ(ReadFile(f / "res/video/v.flv"), "FLV");
  EXPECT_TRUE(fs::exists(f / "res/video/v.jpg"));
  EXPECT_EQ(ReadFile(f / "framework.swf"), "FRAMEWORK");
  EXPECT_EQ(ReadFile(f / "res/other/thumb.swf"), "THUMB");

  // Derived images: names by page number, sizes by the fits and the thumbnail scale.
  EXPECT_EQ(ImageSize(f / "res/mobile/page0001_i1.jpg"), QSize(800, 452));
  EXPECT_EQ(ImageSize(f / "res/pages/thumb_0001.jpg"), QSize(200, 113));
  EXPECT_EQ(ImageSize(f / "res/thumbnails/thumb_0.png"), QSize(200, 113));
  EXPECT_EQ(ImageSize(f / "res/mobile/page0002_i1.png"), QSize(533, 800));
  EXPECT_EQ(ImageSize(f / "res/pages/thumb_0002.png"), QSize(133, 200));
  // Page two's first element is an 800 x 452 movie: the image goes into its rectangle only.
  const QImage thumb(QString::fromStdString((f / "res/thumbnails/thumb_1.png").string()));
  ASSERT_EQ(thumb.size(), QSize(200, 113));
  EXPECT_EQ(qAlpha(thumb.pixel(50, 50)), 0);
  EXPECT_EQ(qAlpha(thumb.pixel(150, 50)), 255);

  // The model points at the written files.
  const auto& page = run.opener->Book().Chapters().Items(0).Pages().Items(1);
  EXPECT_EQ(page.searchtxt(), (f / "res/search/2.txt").string());
  EXPECT_EQ(page.pagethumb(), (f / "res/thumbnails/thumb_1.png").string());
  const auto& first = static_cast<const model::book::TBasicVisualPageFileElement&>(page.elem().Items(0));
  EXPECT_EQ(first.src(), (f / "res/pages/p2.swf").string());
  EXPECT_EQ(run.opener->Project().background().filename(), (f / "res/other/background.JPG").string());
  EXPECT_EQ(run.opener->Book().Chapters().Items(0).Pages().Items(0).print(), (f / "print/p1.pdf").string());

  EXPECT_THAT(
      run.Log(),
      ElementsAre("Finish SplitProjBg", "Finish SplitProjNavBtn", "Finish SplitProjNavBarBg",
                  "Finish SplitPreloader", "Finish SplitLogo", "Finish SplitSearchFile", "Finish SplitToc",
                  "Finish SplitDownloadFiles", "Finish SplitLanguageXMLs", "Page Count: 2",
                  "Finish Split Page[0].Elem1/2", "Finish Split Page[0].Elem2/2",
                  "Finish Split Page[1].Elem1/2", "Finish Split Page[1].Elem2/2", "Finish SplitPages"));
  EXPECT_TRUE(run.Outside().empty());
}

// The book may start once its files are written: the viewer's and the pages' files are there,
// and each page image is on disk or named as still in making, never just missing.
TEST(BookOpener, WrittenComesWithEveryFileInPlaceAndThePageImagesOnDiskOrInMaking) {
  struct AtWritten : RecordingListener {
    std::function<void()> check;
    void BookWritten(const std::shared_ptr<const book::FilesInMaking>&) override {
      events.push_back("written");
      check();
    }
  };
  TempDir dir;
  const fs::path f = dir / "w/files";
  const RunFolder paths = RunFolder::At(dir / "w");
  paths.Create();
  testing::WriteFile(dir / "stub", "#!/bin/sh\n");
  testing::WriteRichBook(dir / "book.exe", dir / "stub");
  AtWritten listener;
  RecordingNotifier notifier;
  BookOpener opener(listener, notifier, paths, nullptr, {{}, 2});
  const std::vector<fs::path> images = {f / "res/mobile/page0001_i1.jpg", f / "res/pages/thumb_0001.jpg",
                                        f / "res/thumbnails/thumb_0.png", f / "res/mobile/page0002_i1.png",
                                        f / "res/pages/thumb_0002.png",   f / "res/thumbnails/thumb_1.png"};
  // A wait for an image in making (named in another case) ends once, when it is made; a wait
  // dropped by its owner never ends.
  int woken = 0;
  int dropped = 0;
  const int reader = 0;
  const int gone = 0;
  listener.check = [&] {
    if (!opener.ImagesInMaking()->WhenDone(f / "res/thumbnails/THUMB_1.PNG", &reader, [&] { ++woken; }))
      ++woken;
    opener.ImagesInMaking()->WhenDone(images.back(), &gone, [&] { ++dropped; });
    opener.ImagesInMaking()->DropWaiters(&gone);
    EXPECT_EQ(ReadFile(f / "framework.swf"), "FRAMEWORK");
    EXPECT_EQ(ReadFile(f / "book.swf").substr(0, 3), "CWS");
    EXPECT_EQ(ReadFile(f / "res/pages/p2.swf").substr(0, 3), "FWS");
    for (const fs::path& image : images)  // asked in this order: one done between is on disk
      EXPECT_TRUE(opener.ImagesInMaking()->Contains(image) || fs::exists(image)) << image;
  };
  opener.Open(dir / "book.exe");
  opener.SplitAll();
  EXPECT_THAT(listener.events, ElementsAre("title My Book", "progress 5 100", "progress 10 100", "written",
                                           "progress 55 100", "progress 100 100", "loaded"));
  EXPECT_EQ(woken, 1);
  EXPECT_EQ(dropped, 0);
  for (const fs::path& image : images) {
    EXPECT_TRUE(fs::exists(image)) << image;
    EXPECT_FALSE(opener.ImagesInMaking()->Contains(image)) << image;
  }
}

void WriteMinimal(const fs::path& path, const std::string& book = "<book/>",
                  const std::string& project = "<project/>") {
  PackageWriter w(path);
  w.Finish(book, project);
}

TEST(BookOpener, ABookWithNothingPackagedStillLoads) {
  OpenerRun run;
  WriteMinimal(run.Package());
  run.OpenAndSplit();
  EXPECT_THAT(run.listener.events,
              ElementsAre("title Flash Player", "progress 5 100", "progress 10 100", "loaded"));
  // Nothing but the book document, kept beside the start movie for the book's viewer to read.
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(run.w))
    if (e.is_regular_file()) files.push_back(e.path().lexically_relative(run.w));
  EXPECT_THAT(files, ElementsAre(fs::path("files/book.xml")));
  EXPECT_EQ(ReadFile(run.w / "files/book.xml"), "<book/>");
  EXPECT_THAT(run.Log(), ::testing::Contains("Page Count: 0"));
}

TEST(BookOpener, TheBookWideDownloadFollowsTheButtonOnlyInAFullRun) {
  for (const bool complete : {true, false}) {
    OpenerRun run;
    {
      PackageWriter w(run.Package());
      const auto dl = w.AddRecord(std::string("DL"));
      w.Finish(fmt::format(R"(<book download="a\b.zip" {}/>)", RefAttrs(dl, "download_")),
               "<project><navbtn><download>False</download></navbtn></project>");
    }
    run.opener->Open(run.Package());
    complete ? run.opener->SplitAll() : run.opener->Split();
    EXPECT_EQ(fs::exists(run.f / "res/downloads/b.zip"), !complete);
    EXPECT_EQ(run.listener.events.back(), "loaded");
  }
}

std::string Pages(int count, const std::string& page = "<page/>") {
  std::string out;
  for (int i = 0; i < count; ++i) out += page;
  return "<book><Chapters><chapter><Pages>" + out + "</Pages></chapter></Chapters></book>";
}

TEST(BookOpener, ProgressRunsFromTenToAHundredOverThePages) {
  OpenerRun run;
  WriteMinimal(run.Package(), Pages(18));
  run.OpenAndSplit();
  std::vector<std::string> expected = {"title Flash Player", "progress 5 100", "progress 10 100"};
  for (int v = 15; v <= 100; v += 5) expected.push_back(fmt::format("progress {} 100", v));
  expected.push_back("loaded");
  EXPECT_EQ(run.listener.events, expected);
}

TEST(BookOpener, AStoppedRunNeverReportsLoaded) {
  {
    OpenerRun run;
    WriteMinimal(run.Package(), Pages(3));
    run.opener->Open(run.Package());
    run.opener->SetStopped(true);
    run.opener->SplitAll();
    EXPECT_THAT(run.listener.events, ElementsAre("title Flash Player", "progress 5 100"));
  }
  {
    // Stopped while pages are being written: the run ends without loaded or the viewer files.
    struct StopAt : RecordingListener {
      BookOpener* opener = nullptr;
      void BookProgress(int done, int total) override {
        RecordingListener::BookProgress(done, total);
        if (done == 40) opener->SetStopped(true);
      }
    } listener;
    TempDir dir;
    const RunFolder paths = RunFolder::At(dir / "w");
    paths.Create();
    WriteMinimal(dir / "book", Pages(3));
    RecordingNotifier notifier;
    BookOpener opener(listener, notifier, paths, nullptr, {{}, 1});
    listener.opener = &opener;
    opener.Open(dir / "book");
    opener.SplitAll();
    EXPECT_THAT(listener.events,
                ElementsAre("title Flash Player", "progress 5 100", "progress 10 100", "progress 40 100"));
  }
  {
    // Stopped once the files are written (the window closed while the images are made): the
    // images not begun are left, and the run ends without loaded.
    struct StopAtWritten : RecordingListener {
      BookOpener* opener = nullptr;
      void BookWritten(const std::shared_ptr<const book::FilesInMaking>&) override {
        opener->SetStopped(true);
      }
    } listener;
    TempDir dir;
    const RunFolder paths = RunFolder::At(dir / "w");
    paths.Create();
    {
      PackageWriter w(dir / "book");
      const auto mobile = w.AddRecord(ImageBytes(1600, 1600, ".jpg"));
      std::string pages;
      for (int i = 0; i < 100; ++i)
        pages += fmt::format(R"(<page mobilefile2="m.jpg" mobilefile1="x.jpg" photoviewthumb="y.jpg" {}/>)",
                             RefAttrs(mobile, "mobilefile2"));
      w.Finish(R"(<book pagewidth="40" pageheight="40" thumbscale="1"><Chapters><chapter><Pages>)" + pages +
                   "</Pages></chapter></Chapters></book>",
               "<project/>");
    }
    RecordingNotifier notifier;
    BookOpener opener(listener, notifier, paths, nullptr, {{}, 2});
    listener.opener = &opener;
    opener.Open(dir / "book");
    opener.SplitAll();
    EXPECT_NE(listener.events.back(), "loaded");
    const auto made =
        std::distance(fs::directory_iterator(dir / "w/files/res/thumbnails"), fs::directory_iterator());
    EXPECT_LT(made, 50);
    EXPECT_FALSE(opener.ImagesInMaking()->Contains(dir / "w/files/res/thumbnails/thumb_99.png"));
  }
}

TEST(BookOpener, AFailedPageIsLoggedTwiceAndEndsTheRun) {
  OpenerRun run;
  WriteMinimal(run.Package(),
               Pages(2, R"(<page><elem><img src="a.jpg" pos_="999999" size_="10"/></elem></page>)"));
  run.opener->Open(run.Package());
  try {
    run.opener->SplitAll();
    FAIL() << "the run did not fail";
  } catch (const std::exception& e) {
    EXPECT_THAT(e.what(), HasSubstr("book.page[0].elem[1]"));
    EXPECT_THAT(e.what(), HasSubstr("past the end"));
  }
  const auto log = run.Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_THAT(log[log.size() - 2], ::testing::StartsWith("[Velmaro.SplitPages]: Error:book.page[0].elem[1]"));
  EXPECT_THAT(log.back(), ::testing::StartsWith("[Velmaro.Split]: Error:book.page[0].elem[1]"));
  EXPECT_EQ(run.listener.events.back(), "progress 10 100");
}

TEST(BookOpener, DocumentsThatDoNotLoadNameTheirStep) {
  OpenerRun run;
  testing::WriteFile(run.Package(), "not a package at all, just text");
  try {
    run.opener->Open(run.Package());
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_THAT(e.what(), ::testing::StartsWith("Failed to SplitProj: "));
  }
  WriteMinimal(run.Package(), "<book><broken></book>");
  try {
    run.opener->Open(run.Package());
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_THAT(e.what(), ::testing::StartsWith("Failed to SplitMagProj: "));
  }
  // Nothing half-read is left to split.
  EXPECT_THROW(run.opener->SplitAll(), std::logic_error);
  EXPECT_THROW(run.opener->Open(run.dir / "missing.exe"), PackageError);
}

TEST(BookOpener, NamesThatLeaveTheWorkingFolderAreRefusedAndTheRestUnpacked) {
  OpenerRun run;
  {
    PackageWriter w(run.Package());
    const auto group = w.AddGroup({{0, std::string("EVIL")}, {1, std::string("OK")}},
                                  "[info]\r\nfirstpage=..\\..\\..\\evil.png\r\nlastpage=last.png\r\n");
    const auto bar = w.AddGroup({{0, std::string("EVIL")}}, "[info]\r\n");
    fs::create_directory(run.dir / "z");
    testing::MakeZip(run.dir / "z/l.zip", {{"../../../zip-escape.xml", "x"}, {"ok.xml", "<ok/>"}});
    const auto langs = w.AddRecord(run.dir / "z/l.zip");
    fs::remove_all(run.dir / "z");
    const auto a = w.AddRecord(std::string("A"));
    const auto b = w.AddRecord(std::string("B"));
    const auto c = w.AddRecord(std::string("C"));
    const auto d = w.AddRecord(std::string("D"));
    const auto good = w.AddRecord(std::string("GOOD"));
    w.Finish(
        fmt::format(R"(<book {0} download="..\..\..\dl-escape" {1}><Chapters><chapter><Pages>)"
                    R"(<page searchtxt="/tmp/abs-escape.txt" {2} mobilefile2="..\..\m-escape.jpg" {3}>)"
                    R"(<elem><img src="..\..\..\src-escape.jpg" {4}/><img src="res\pages\ok.jpg" {5}/>)"
                    R"(<img src="../e1" {4}/><img src="../e2" {4}/><img src="../e3" {4}/>)"
                    R"(<img src="../e4" {4}/><img src="../e5" {4}/><img src="../e6" {4}/></elem>)"
                    R"(</page></Pages></chapter></Chapters></book>)",
                    RefAttrs(langs, "langs_"), RefAttrs(a, "download_"), RefAttrs(b, "search_"),
                    RefAttrs(c, "mobilefile2"), RefAttrs(d), RefAttrs(good)),
        fmt::format("<project><navbtn>{}</navbtn><navbar><topfile>../../bar-escape.png</topfile>{}</navbar>"
                    "</project>",
                    RefElements(group), RefElements(bar)));
  }
  run.opener->Open(run.Package());
  run.opener->Split();  // a partial run, so the book-wide download is tried too
  EXPECT_EQ(run.listener.events.back(), "loaded");
  EXPECT_TRUE(run.Outside().empty()) << ::testing::PrintToString(run.Outside());
  EXPECT_FALSE(fs::exists(run.dir.Path().parent_path() / "evil.png"));
  EXPECT_FALSE(fs::exists("/tmp/abs-escape.txt"));
  EXPECT_EQ(ReadFile(run.f / "res/navbtn/last.png"), "OK");
  EXPECT_EQ(ReadFile(run.f / "res/languages/ok.xml"), "<ok/>");
  EXPECT_EQ(ReadFile(run.f / "res/pages/ok.jpg"), "GOOD");
  EXPECT_EQ(ReadFile(run.f / "res/downloads/dl-escape"), "A");  // only the file name part counts
  // One message after the run names every refusal the log holds, never a message per name
  // while the loader waits.
  ASSERT_EQ(run.notifier.messages.size(), 1u) << ::testing::PrintToString(run.notifier.messages);
  const std::string& message = run.notifier.messages.front();
  // The first ten, then how many more.
  EXPECT_THAT(message, ::testing::StartsWith("The book has 12 problems:"));
  EXPECT_THAT(message, ::testing::HasSubstr("\n... and 2 more"));
  std::size_t refusals = 0;
  std::size_t listed = 0;
  for (const auto& line : run.Log())
    if (line.find("was not written") != std::string::npos) {
      ++refusals;
      if (message.find(line) != std::string::npos) ++listed;
    }
  EXPECT_EQ(refusals, 12u);
  EXPECT_EQ(listed, 10u);
}

TEST(BookOpener, APageWithAMobileImageButNoElementsGetsAStretchedThumbnail) {
  const auto thumbnail = [](int width, int height) {
    OpenerRun run;
    {
      PackageWriter w(run.Package());
      const auto mobile = w.AddRecord(ImageBytes(300, 300, ".png"));
      w.Finish(
          fmt::format(R"(<book pagewidth="{}" pageheight="{}" thumbscale="0.5"><Chapters><chapter><Pages>)"
                      R"(<page mobilefile2="m.png" mobilefile1="x.png" photoviewthumb="y.png" {}/>)"
                      R"(</Pages></chapter></Chapters></book>)",
                      width, height, RefAttrs(mobile, "mobilefile2")),
          "<project/>");
    }
    run.OpenAndSplit();
    return QImage(QString::fromStdString((run.f / "res/thumbnails/thumb_0.png").string()));
  };
  const QImage thumb = thumbnail(400, 300);
  ASSERT_EQ(thumb.size(), QSize(200, 150));
  EXPECT_EQ(qAlpha(thumb.pixel(5, 5)), 255);
  // The canvas rounds ties to even: 2.5 gives 2, 3.5 gives 4.
  EXPECT_EQ(thumbnail(5, 7).size(), QSize(2, 4));
}

TEST(BookOpener, PageTenThousandIsNamedWithAllItsDigits) {
  OpenerRun run(1);
  {
    PackageWriter w(run.Package());
    const auto mobile = w.AddRecord(ImageBytes(40, 40, ".jpg"));
    std::string pages;
    for (int i = 0; i < 9999; ++i) pages += "<page/>";
    pages += fmt::format(R"(<page mobilefile2="m.jpg" mobilefile1="x.jpg" photoviewthumb="y.jpg" {}/>)",
                         RefAttrs(mobile, "mobilefile2"));
    w.Finish(R"(<book pagewidth="40" pageheight="40" thumbscale="1"><Chapters><chapter><Pages>)" + pages +
                 "</Pages></chapter></Chapters></book>",
             "<project/>");
  }
  run.OpenAndSplit();
  EXPECT_TRUE(fs::exists(run.f / "res/mobile/page10000_i1.jpg"));
  EXPECT_TRUE(fs::exists(run.f / "res/pages/thumb_10000.jpg"));
  EXPECT_TRUE(fs::exists(run.f / "res/thumbnails/thumb_9999.png"));
  EXPECT_EQ(run.listener.events.back(), "loaded");
}

}  // namespace
}  // namespace pagewend::book
