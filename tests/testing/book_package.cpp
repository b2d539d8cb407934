#include "testing/book_package.h"

#include <QBuffer>
#include <QImage>

#include <fmt/format.h>

#include "package/package_writer.h"
#include "testing/swf_bytes.h"
#include "testing/zip_archive.h"

namespace pagewend::testing {

std::string RefAttrs(const package::RecordRef& ref, const std::string& suffix) {
  return fmt::format(R"(pos_{0}="{1}" size_{0}="{2}")", suffix, ref.pos, ref.size);
}

std::string RefElements(const package::RecordRef& ref) {
  return fmt::format("<pos_>{}</pos_><size_>{}</size_>", ref.pos, ref.size);
}

std::string ImageBytes(int width, int height, const std::string& extension) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(40, 90, 160));
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  const std::string format = extension == ".png" ? "PNG" : extension == ".tif" ? "TIFF" : "JPEG";
  image.save(&buffer, format.c_str());
  return buffer.data().toStdString();
}

void WriteRichBook(const std::filesystem::path& package, const std::filesystem::path& stub) {
  namespace fs = std::filesystem;
  const fs::path scratch = package.string() + ".scratch";
  fs::create_directories(scratch);
  std::string book, project;
  {
    package::PackageWriter w(package, stub);
    const auto bg = w.AddRecord(ImageBytes(20, 10, ".jpg"));
    const auto buttons =
        w.AddGroup({{0, std::string("FIRST")}, {2, std::string("PREV")}, {11, std::string("DL")}},
                   "[info]\r\nfirstpage=arrow.png\r\nprevious=arrow.png\r\ndownload=dl.png\r\n");
    const auto bar =
        w.AddGroup({{0, std::string("TOP")}, {1, std::string("BOTTOM")}}, "[info]\r\nheight=40\r\n");
    const auto preloader = w.AddRecord(MakeSwf({0, 18000, 0, 12000}, 0x1800, 1, true));
    const auto logo = w.AddRecord(std::string("LOGO"));
    const auto search = w.AddRecord(std::string("search words"));
    const auto toc = w.AddRecord(std::string("<toc/>"));
    fs::create_directory(scratch / "z");
    MakeZip(scratch / "z/langs.zip", {{"en.xml", "<en/>"}, {"de/de.xml", "<de/>"}});
    const auto langs = w.AddRecord(scratch / "z/langs.zip");
    fs::remove_all(scratch / "z");
    const auto element = w.AddRecord(ImageBytes(1600, 904, ".jpg"));
    const auto mobile = w.AddRecord(ImageBytes(1600, 904, ".jpg"));
    const auto movie = w.AddRecord(MakeSwf({0, 16000, 0, 9040}, 0x1800, 1, false));
    const auto video = w.AddRecord(std::string("FLV"));
    const auto preview = w.AddRecord(ImageBytes(32, 18, ".jpg"));
    const auto pageSearch = w.AddRecord(std::string("page two words"));
    const auto pageDownload = w.AddRecord(std::string("%PDF"));
    const auto mobile2 = w.AddRecord(ImageBytes(800, 1200, ".jpg"));
    const auto download = w.AddRecord(std::string("ZIPDL"));
    const auto sound = w.AddRecord(std::string("ID3"));
    const auto framework = w.AddRecord(std::string("FRAMEWORK"));
    const auto thumbswf = w.AddRecord(std::string("THUMB"));
    project = fmt::format(
        "<project><exetitle>My "
        "Book</exetitle><background><filename>C:\\art\\Back.JPG</filename>{}</background>"
        "<navbtn><download>True</download>{}</navbtn><navbar><topfile>top.png</topfile>"
        "<bottomfile>bottom.png</bottomfile>{}</navbar><preloader><filename>pre.swf</filename>{}</preloader>"
        "<logo><filename>x\\Logo.PNG</filename>{}</logo><toc><filename>data/toc.xml</filename>{}</toc>"
        "<pos_bookinfo_>{}</pos_bookinfo_><size_bookinfo_>{}</size_bookinfo_>"
        "<pos_thumbswf_>{}</pos_thumbswf_><size_thumbswf_>{}</size_thumbswf_></project>",
        RefElements(bg), RefElements(buttons), RefElements(bar), RefElements(preloader), RefElements(logo),
        RefElements(toc), framework.pos, framework.size, thumbswf.pos, thumbswf.size);
    book = fmt::format(
        R"(<book pagewidth="800" pageheight="452" thumbscale="0.25" searchindex="res/other/index.txt" {} )"
        R"(download="files\all.zip" {} {}><Chapters><chapter bgsound="music.mp3" {}><Pages>)"
        R"(<page mobilefile2="res\mobile\m1.jpg" mobilefile1="a.jpg" photoviewthumb="b.jpg" {} print="print\p1.pdf">)"
        R"(<elem><img src="res\pages\p1.jpg" left="0" top="0" width="800" height="452" {}/><txt/></elem></page>)"
        R"(<page mobilefile2="res\mobile\m2.jpg" mobilefile1="a.png" photoviewthumb="b.png" {} )"
        R"(searchtxt="res\search\2.txt" {} download="d\two.pdf" {}>)"
        R"(<elem><img src="res\pages\p2.swf" left="400" top="0" width="400" height="452" {}/>)"
        R"(<vid src="res\video\v.flv" preview="res\video\v.jpg" {} {}/></elem></page>)"
        R"(</Pages></chapter></Chapters></book>)",
        RefAttrs(search, "search_"), RefAttrs(download, "download_"), RefAttrs(langs, "langs_"),
        RefAttrs(sound), RefAttrs(mobile, "mobilefile2"), RefAttrs(element), RefAttrs(mobile2, "mobilefile2"),
        RefAttrs(pageSearch, "search_"), RefAttrs(pageDownload, "download_"), RefAttrs(movie),
        RefAttrs(video), RefAttrs(preview, "pre_"));
    w.Finish(book, project);
  }
  fs::remove_all(scratch);
}

}  // namespace pagewend::testing
