#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QBuffer>
#include <QImage>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "book/unpack_run.h"
#include "imaging/export_images.h"
#include "imaging/page_render.h"
#include "package/package_writer.h"
#include "testing/book_package.h"
#include "testing/jpeg_bytes.h"
#include "testing/run_tool.h"
#include "testing/temp_dir.h"

// The PDF export read back by real PDF tools: qpdf, and poppler's pdfinfo, pdftotext, pdfimages
// and pdftoppm.
namespace pagewend {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::RunTool;

struct Output {
  int exitCode = -1;
  std::string out;
};

// A command line of one of the PDF tools, its standard output collected.
Output Shell(const std::string& command) {
  Output result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string PngWithAlpha(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixelColor(x, y, QColor(20, 40 + y % 200, 220, x < width / 2 ? 128 : 255));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

// Three pages of 300 × 400: a JPEG scan whose words are only in its search text, with a link to
// page 3 and one out to the web; a PNG with half of it transparent over the page's colour, under
// a text; the first page's JPEG again. A bookmark for page 3.
struct SmallBook {
  std::string jpeg = testing::CompressJpeg(testing::PatternPicture(600, 800, 3), 85);
};

void WriteSmallBook(const fs::path& path, const SmallBook& b) {
  package::PackageWriter w(path);
  const auto scan = w.AddRecord(b.jpeg);
  const auto png = w.AddRecord(PngWithAlpha(200, 100));
  const auto search = w.AddRecord(std::string("Rivers and mountains of the northern valley"));
  w.Finish(
      fmt::format(
          R"xml(<book title="Atlas of Rivers" pagewidth="300" pageheight="400"><Chapters><chapter><Pages>)xml"
          R"xml(<page searchtxt="res\search\1.txt" {0}><elem>)xml"
          R"xml(<img src="res\pages\scan.jpg" left="0" top="0" width="300" height="400" {1}/></elem>)xml"
          R"xml(<links><link x="10" y="20" width="50" height="40"><urls><url src="3"/></urls></link>)xml"
          R"xml(<link x="100" y="20" width="50" height="40"><urls><url src="https://example.org/pdf"/></urls></link>)xml"
          R"xml(<link x="200" y="20" width="50" height="40"><urls><url src="javascript:alert(1)"/></urls></link>)xml"
          R"xml(</links></page>)xml"
          R"xml(<page bgcolor="16777164"><elem><img src="res\pages\logo.png" left="50" top="150" width="200" )xml"
          R"xml(height="100" {2}/><txt content="Hello PDF reader" left="20" top="30" width="260" height="60" )xml"
          R"xml(size="24" color="128" bold="true"/></elem></page>)xml"
          R"xml(<page><elem><img src="res\pages\scan.jpg" left="0" top="0" width="300" height="400" {1}/>)xml"
          R"xml(</elem></page></Pages></chapter></Chapters>)xml"
          R"xml(<bookmarks><bookmark title="The valley" page="3"/></bookmarks></book>)xml",
          testing::RefAttrs(search, "search_"), testing::RefAttrs(scan), testing::RefAttrs(png)),
      "<project><exetitle>Atlas of Rivers</exetitle></project>");
}

class Quiet : public book::BookListener, public Notifier {
 public:
  void BookTitle(const std::string&) override {}
  void BookProgress(int, int) override {}
  void BookLoaded(const book::UnpackedBook&) override {}
  void Notify(std::string_view) override {}
};

// The reading core's own picture of a page, at one pixel per point.
QImage CoreRender(const fs::path& package, const fs::path& folder, int page) {
  Quiet quiet;
  book::UnpackRun run({.bookFile = package, .workingFolder = folder, .options = {{}, 2}}, quiet, quiet);
  const std::optional<book::UnpackedBook> loaded = run.Run();
  if (!loaded) return {};
  const reading::Book& book = loaded->book;
  const imaging::TextDrawing drawing;
  return imaging::RenderPage(book.pages.at(static_cast<std::size_t>(page)), book.pageWidth, book.pageHeight,
                             {static_cast<int>(book.pageWidth), static_cast<int>(book.pageHeight)});
}

// The mean of |a - b| over every colour sample, or 255 when the sizes differ.
double MeanDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 255;
  const QImage x = a.convertToFormat(QImage::Format_RGB888);
  const QImage y = b.convertToFormat(QImage::Format_RGB888);
  double sum = 0;
  for (int row = 0; row < x.height(); ++row)
    for (int i = 0; i < x.width() * 3; ++i)
      sum += std::abs(x.constScanLine(row)[i] - y.constScanLine(row)[i]);
  return sum / (x.width() * x.height() * 3.0);
}

// qpdf's JSON of a file: its objects by "N 0 R", their values as qpdf writes them.
struct PdfObjects {
  nlohmann::json objects;
  std::vector<std::string> pages;

  const nlohmann::json& At(const std::string& reference) const {
    return objects.at("obj:" + reference).at("value");
  }
  // A value as it is, or the object it refers to.
  const nlohmann::json& Resolved(const nlohmann::json& value) const {
    return value.is_string() && value.get<std::string>().ends_with(" R") ? At(value.get<std::string>())
                                                                         : value;
  }
};

PdfObjects ReadObjects(const fs::path& pdf) {
  const Output json = Shell("qpdf --json=2 " + Quoted(pdf));
  const nlohmann::json parsed = nlohmann::json::parse(json.out);
  PdfObjects result;
  result.objects = parsed.at("qpdf").at(1);
  for (const auto& page : parsed.at("pages")) result.pages.push_back(page.at("object").get<std::string>());
  return result;
}

// The text of one page, its runs of white space as one space.
std::string PageText(const fs::path& pdf, int page) {
  const std::string text = Shell(fmt::format("pdftotext -f {0} -l {0} {1} -", page, Quoted(pdf))).out;
  std::string out;
  for (const char c : text) {
    const bool space = c == ' ' || c == '\n' || c == '\f' || c == '\t';
    if (!space || (!out.empty() && out.back() != ' ')) out += space ? ' ' : c;
  }
  return out;
}

TEST(PdfExport, ReadersFindThePagesImagesTextsLinksAndContents) {
  testing::TempDir dir;
  const SmallBook b;
  WriteSmallBook(dir / "atlas.exe", b);
  const fs::path pdf = dir / "out" / "atlas.pdf";
  fs::create_directories(pdf.parent_path());
  const testing::ToolResult run =
      RunTool({"export", "--pdf", (dir / "atlas.exe").string(), "-o", pdf.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr(pdf.string() + ": 3 pages, 2 images"));
  // The unpacked book and the partial file went: the folder holds the PDF alone.
  EXPECT_EQ(std::distance(fs::directory_iterator(pdf.parent_path()), fs::directory_iterator()), 1);

  const Output check = Shell("qpdf --check " + Quoted(pdf) + " 2>&1");
  EXPECT_EQ(check.exitCode, 0) << check.out;
  EXPECT_THAT(check.out, HasSubstr("No syntax or stream encoding errors"));

  const Output info = Shell("pdfinfo " + Quoted(pdf));
  EXPECT_THAT(info.out, HasSubstr("Pages:           3"));
  EXPECT_THAT(info.out, HasSubstr("Page size:       300 x 400 pts"));
  EXPECT_THAT(info.out, HasSubstr("Title:           Atlas of Rivers"));
  EXPECT_THAT(info.out, HasSubstr("Producer:        pagewend"));

  // Each page's words on that page: the search text of the scan, the text of the second page.
  EXPECT_THAT(PageText(pdf, 1), HasSubstr("Rivers and mountains of the northern valley"));
  EXPECT_THAT(PageText(pdf, 2), HasSubstr("Hello PDF reader"));
  EXPECT_THAT(PageText(pdf, 2), Not(HasSubstr("Rivers")));
  EXPECT_THAT(Shell("pdffonts " + Quoted(pdf)).out, HasSubstr("CID TrueType"));

  // The JPEG comes back byte for byte, stored once for its two pages; the PNG with its mask.
  const Output list = Shell("pdfimages -list " + Quoted(pdf));
  std::map<int, std::string> objectOfPage;
  std::set<std::string> smasks;
  std::istringstream lines(list.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    int page = 0, num = 0;
    std::string type, width, height, color, comp, bpc, enc, interp, object;
    if (!(words >> page >> num >> type >> width >> height >> color >> comp >> bpc >> enc >> interp >> object))
      continue;
    if (type == "smask") smasks.insert(object);
    if (type == "image") objectOfPage[page] = object;
  }
  ASSERT_EQ(objectOfPage.size(), 3u) << list.out;
  EXPECT_EQ(objectOfPage[1], objectOfPage[3]);
  EXPECT_NE(objectOfPage[1], objectOfPage[2]);
  EXPECT_EQ(smasks.size(), 1u) << list.out;
  fs::create_directories(dir / "images");
  ASSERT_EQ(Shell("pdfimages -all -f 1 -l 1 " + Quoted(pdf) + " " + Quoted(dir / "images" / "page")).exitCode,
            0);
  EXPECT_EQ(testing::ReadFile(dir / "images" / "page-000.jpg"), b.jpeg);

  // Rendered by poppler at one pixel per point, close to the reading core's own render.
  for (const int page : {1, 2}) {
    const fs::path prefix = dir / fmt::format("render-{}", page);
    ASSERT_EQ(Shell(fmt::format("pdftoppm -r 72 -f {0} -l {0} -singlefile {1} {2}", page, Quoted(pdf),
                                Quoted(prefix)))
                  .exitCode,
              0);
    const QImage poppler(QString::fromStdString(prefix.string() + ".ppm"));
    const QImage core = CoreRender(dir / "atlas.exe", dir / fmt::format("run-{}", page), page - 1);
    const double difference = MeanDifference(poppler, core);
    RecordProperty(fmt::format("page{}_mean_abs_difference", page), fmt::format("{:.2f}", difference));
    std::printf("page %d: mean absolute difference %.2f of 255\n", page, difference);
    EXPECT_LT(difference, 5.0);
  }

  // Links: page 3 by its page object, the web address as a URI action, javascript: nowhere.
  const PdfObjects objects = ReadObjects(pdf);
  ASSERT_EQ(objects.pages.size(), 3u);
  const nlohmann::json& annots = objects.Resolved(objects.At(objects.pages[0]).at("/Annots"));
  ASSERT_EQ(annots.size(), 2u);
  std::vector<std::string> targets;
  for (const auto& reference : annots) {
    const nlohmann::json& annot = objects.Resolved(reference);
    EXPECT_EQ(annot.at("/Subtype"), "/Link");
    if (annot.contains("/Dest"))
      targets.push_back(objects.Resolved(annot.at("/Dest")).at(0).get<std::string>());
    if (annot.contains("/A"))
      targets.push_back(objects.Resolved(annot.at("/A")).at("/URI").get<std::string>());
  }
  EXPECT_THAT(targets,
              ::testing::UnorderedElementsAre(objects.pages[2], HasSubstr("https://example.org/pdf")));

  // The scan's search text is drawn in render mode 3: there for finding, never painted.
  const std::string contents = objects.At(objects.pages[0]).at("/Contents").get<std::string>();
  const Output stream =
      Shell(fmt::format("qpdf --show-object='{}' --filtered-stream-data {}", contents, Quoted(pdf)));
  EXPECT_THAT(stream.out, HasSubstr("3 Tr"));

  // A portrait book opens in spreads with the cover alone, and with its contents shown.
  const nlohmann::json& catalog = objects.Resolved(objects.objects.at("trailer").at("value").at("/Root"));
  EXPECT_EQ(catalog.at("/PageLayout"), "/TwoPageRight");
  EXPECT_EQ(catalog.at("/PageMode"), "/UseOutlines");

  // The outline: the bookmark, to page 3.
  const Output outline = Shell("qpdf --json=2 --json-key=outlines " + Quoted(pdf));
  const nlohmann::json outlines = nlohmann::json::parse(outline.out).at("outlines");
  ASSERT_EQ(outlines.size(), 1u) << outline.out;
  EXPECT_EQ(outlines[0].at("title"), "The valley");
  EXPECT_EQ(outlines[0].at("destpageposfrom1"), 3);
}

TEST(PdfExport, ADamagedImageIsLeftOutAndTheRestIsKept) {
  testing::TempDir dir;
  const std::string good = testing::CompressJpeg(testing::PatternPicture(60, 80, 3));
  {
    package::PackageWriter w(dir / "damaged.exe");
    const auto scan = w.AddRecord(good);
    const auto broken = w.AddRecord(std::string("\xFF\xD8\xFF\xE0") + " not a JPEG at all");
    const auto cut = w.AddRecord(PngWithAlpha(40, 40).substr(0, 60));
    const std::string large = testing::CompressJpeg(testing::PatternPicture(400, 400, 3));
    const auto halved = w.AddRecord(large.substr(0, large.size() / 2));
    w.Finish(
        fmt::format(
            R"xml(<book pagewidth="60" pageheight="80"><Chapters><chapter><Pages>)xml"
            R"xml(<page><elem><img src="res\a.jpg" left="0" top="0" width="60" height="80" {0}/>)xml"
            R"xml(</elem></page><page><elem><img src="res\b.jpg" left="0" top="0" width="60" )xml"
            R"xml(height="80" {1}/><img src="res\c.png" left="0" top="0" width="20" height="20" {2}/>)xml"
            R"xml(<img src="..\..\..\outside.jpg" left="0" top="0" width="20" height="20" {0}/>)xml"
            R"xml(<img src="res\d.jpg" left="20" top="20" width="20" height="20" {3}/>)xml"
            R"xml(</elem></page></Pages></chapter></Chapters></book>)xml",
            testing::RefAttrs(scan), testing::RefAttrs(broken), testing::RefAttrs(cut),
            testing::RefAttrs(halved)),
        "<project/>");
  }
  const auto before =
      std::distance(fs::recursive_directory_iterator(dir.Path()), fs::recursive_directory_iterator());

  // Without -o the PDF is the book's name with ".pdf", beside it.
  const testing::ToolResult run = RunTool({"export", "--pdf", (dir / "damaged.exe").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Page 2: an image that cannot be read is left out of the PDF"));
  EXPECT_THAT(run.err, HasSubstr("the image is cut short"));
  EXPECT_THAT(run.err, HasSubstr("3 images left out"));
  // Named as the book names them: the unpacked copy they were read from is gone.
  EXPECT_THAT(run.err, HasSubstr(": files/res/d.jpg: "));
  EXPECT_THAT(run.err, Not(HasSubstr(".partial")));
  const fs::path pdf = dir / "damaged.pdf";
  EXPECT_EQ(Shell("qpdf --check " + Quoted(pdf) + " >/dev/null 2>&1").exitCode, 0);
  EXPECT_THAT(Shell("pdfinfo " + Quoted(pdf)).out, HasSubstr("Pages:           2"));
  EXPECT_EQ(Shell("pdfimages -list " + Quoted(pdf) + " | grep -c image").out, "1\n");
  // The PDF and nothing else is new.
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.Path()), fs::recursive_directory_iterator()),
            before + 1);

  // A second export does not replace it unless told to, and no export replaces the book.
  const testing::ToolResult again = RunTool({"export", "--pdf", (dir / "damaged.exe").string()});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_THAT(again.err, HasSubstr("exists (use --force"));
  const testing::ToolResult self = RunTool(
      {"export", "--pdf", (dir / "damaged.exe").string(), "-o", (dir / "damaged.exe").string(), "--force"});
  EXPECT_EQ(self.exitCode, 1);
  EXPECT_THAT(self.err, HasSubstr("is the book itself"));
  EXPECT_EQ(RunTool({"export", (dir / "damaged.exe").string()}).exitCode, 2);
}

}  // namespace
}  // namespace pagewend
