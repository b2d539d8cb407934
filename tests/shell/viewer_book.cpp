#include "shell/viewer_book.h"

#include <fmt/format.h>

#include <QBuffer>
#include <QImage>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "package/package_writer.h"
#include "testing/temp_dir.h"
#include "testing/zip_archive.h"

namespace pagewend::shell::testing {

namespace fs = std::filesystem;

namespace {

std::string Image(const QColor& colour, const char* format) {
  QImage image(120, 160, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

// Half a second of silence: MPEG-1 layer III frames at 128 kbit/s, 44.1 kHz, mono, whose side
// information is all zero.
std::string SilentMp3() {
  std::string frame(417, '\0');
  frame[0] = '\xFF';
  frame[1] = '\xFB';
  frame[2] = '\x90';
  frame[3] = '\xC4';
  std::string out;
  for (int i = 0; i < 20; ++i) out += frame;
  return out;
}

std::string Ref(const package::RecordRef& ref, const std::string& suffix = "") {
  return fmt::format(R"(pos_{0}="{1}" size_{0}="{2}")", suffix, ref.pos, ref.size);
}

}  // namespace

std::string TestMovie(const std::string& name) {
  std::ifstream in(fs::path(PAGEWEND_TEST_MOVIES) / name, std::ios::binary);
  if (!in) throw std::runtime_error("no test movie " + name + " in " PAGEWEND_TEST_MOVIES);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteViewerBook(const fs::path& out, bool withSecondImage) {
  pagewend::testing::TempDir scratch;
  pagewend::testing::MakeZip(scratch / "langs.zip",
                             {{"en.xml", R"(<language><string id="next">Next</string></language>)"}});
  package::PackageWriter writer(out);
  const package::RecordRef start = writer.AddRecord(TestMovie("preloader.swf"));
  const package::RecordRef framework = writer.AddRecord(TestMovie("framework.swf"));
  const package::RecordRef langs = writer.AddRecord(scratch / "langs.zip");
  const package::RecordRef sound = writer.AddRecord(SilentMp3());
  const package::RecordRef first = writer.AddRecord(Image(QColor(0x20, 0x40, 0xA0), "JPEG"));
  const package::RecordRef second =
      withSecondImage ? writer.AddRecord(Image(QColor(0xE0, 0xC0, 0x20), "PNG")) : package::RecordRef{};
  const package::RecordRef third = writer.AddRecord(Image(QColor(0x40, 0xA0, 0x60), "JPEG"));
  const auto page = [](const char* name, const package::RecordRef& ref) {
    return fmt::format(
        R"(<page><elem><img src="{}" left="0" top="0" width="600" height="800" {}/></elem></page>)", name,
        ref.Absent() ? std::string() : Ref(ref));
  };
  writer.Finish(
      fmt::format(R"(<?xml version="1.0" encoding="UTF-8"?><book title="Viewer book" pagewidth="600" )"
                  R"(pageheight="800" {}><Chapters><chapter bgsound="music.mp3" {}><Pages>{}{}{})"
                  R"(</Pages></chapter></Chapters></book>)",
                  Ref(langs, "langs_"), Ref(sound), page(R"(res\pages\p1.jpg)", first),
                  page(R"(res\pages\p2.png)", second), page(R"(res\pages\p3.jpg)", third)),
      fmt::format(R"(<?xml version="1.0" encoding="UTF-8"?><project><exetitle>Viewer book</exetitle>)"
                  R"(<preloader><filename>book.swf</filename><pos_>{}</pos_><size_>{}</size_></preloader>)"
                  R"(<pos_bookinfo_>{}</pos_bookinfo_><size_bookinfo_>{}</size_bookinfo_></project>)",
                  start.pos, start.size, framework.pos, framework.size));
}

}  // namespace pagewend::shell::testing
