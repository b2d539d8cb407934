// make_demo DIR VIEWER: lays out the project's demo book in DIR the way `pagewend extract
// --keep-documents` leaves a book (project.xml, book.xml, files/...), ready for `pagewend pack`.
// Pages are drawn here; the start movie is VIEWER, the viewer compiled from viewer/Viewer.hx, which
// reads book.xml and turns the pages itself.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <fmt/format.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kPages = 12;
constexpr int kWidth = 600;
constexpr int kHeight = 800;
// The viewer's stage as its movie header gives it (samples/CMakeLists.txt).
constexpr int kStageWidth = 900;
constexpr int kStageHeight = 600;

const char* const kTopics[kPages] = {"Welcome",     "How a book is made", "The package", "Unpacking",
                                     "Page images", "Thumbnails",         "The movie",   "Turning pages",
                                     "Full screen", "The tool",           "Safety",      "The end"};

std::string Jpeg(const QImage& image, int quality = 88) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG", quality);
  return buffer.data().toStdString();
}

QImage Page(int index) {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor hue = QColor::fromHsv((index * 360 / kPages + 200) % 360, 90, 245);
  QLinearGradient gradient(0, 0, 0, kHeight);
  gradient.setColorAt(0, hue.lighter(115));
  gradient.setColorAt(1, QColor(252, 250, 244));
  p.fillRect(image.rect(), gradient);
  p.fillRect(0, 0, kWidth, 110, hue.darker(160));
  p.setPen(Qt::white);
  QFont title("DejaVu Sans", 30, QFont::Bold);
  p.setFont(title);
  p.drawText(QRect(30, 20, kWidth - 60, 70), Qt::AlignVCenter | Qt::AlignLeft, kTopics[index]);
  p.setPen(QColor(60, 60, 70));
  p.setFont(QFont("DejaVu Serif", 15));
  const QString body = QString::fromUtf8(
      "This page belongs to the demo book of pagewend, a player for packaged page-turning books. "
      "Every page of this book is a picture drawn when the project is built; the start movie, a "
      "viewer written in Haxe, reads them from the book and shows them two at a time. Turn the "
      "pages with the buttons below them or the arrow keys, or switch to full screen and back.");
  p.drawText(QRect(40, 150, kWidth - 80, 300), Qt::TextWordWrap, body);
  // A photo-like panel: circles over a soft gradient.
  QLinearGradient panel(0, 470, kWidth, 720);
  panel.setColorAt(0, hue.darker(120));
  panel.setColorAt(1, hue.lighter(140));
  p.fillRect(QRect(40, 470, kWidth - 80, 250), panel);
  for (int c = 0; c < 7; ++c) {
    p.setBrush(QColor::fromHsv((index * 30 + c * 50) % 360, 120, 255, 150));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(90 + c * 70, 595 + ((c * 37 + index * 11) % 80) - 40), 38, 38);
  }
  p.setPen(QColor(90, 90, 100));
  p.setFont(QFont("DejaVu Sans", 13));
  p.drawText(QRect(0, kHeight - 50, kWidth, 30), Qt::AlignCenter,
             QString("%1 / %2").arg(index + 1).arg(kPages));
  return image;
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in || bytes.empty()) throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_demo DIR VIEWER\n");
    return 2;
  }
  // Fonts need a GUI application object; no display is needed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  try {
    const fs::path dir = argv[1];
    fs::remove_all(dir);
    const std::string viewer = Read(argv[2]);
    std::string pageXml;
    int ref = 1;  // every reference needs numbers of its own until pack gives the real ones
    for (int i = 0; i < kPages; ++i) {
      const std::string name = fmt::format("page{:02d}.jpg", i + 1);
      Write(dir / "files/res/pages" / name, Jpeg(Page(i)));
      pageXml += fmt::format(
          R"(<page title="{}" mobilefile2="res\pages\{}" mobilefile1="m.jpg" photoviewthumb="t.jpg" )"
          R"(pos_mobilefile2="{}" size_mobilefile2="{}"><elem><img src="res\pages\{}" left="0" top="0" )"
          R"(width="{}" height="{}" pos_="{}" size_="{}"/></elem></page>)",
          kTopics[i], name, ref, ref, name, kWidth, kHeight, ref + 1, ref + 1);
      ref += 2;
    }
    Write(dir / "files/book.swf", viewer);
    std::string toc = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                      "\n<toc>\n";
    for (int i = 0; i < kPages; ++i)
      toc += fmt::format("  <item title=\"{}\" page=\"{}\"/>\n", kTopics[i], i + 1);
    Write(dir / "files/res/other/toc.xml", toc + "</toc>\n");
    Write(
        dir / "files/res/languages/en.xml",
        R"(<?xml version="1.0" encoding="UTF-8"?><lang id="en"><s id="next">Next</s><s id="prev">Previous</s></lang>)");
    Write(
        dir / "files/res/languages/de.xml",
        R"(<?xml version="1.0" encoding="UTF-8"?><lang id="de"><s id="next">Weiter</s><s id="prev">Zurück</s></lang>)");
    Write(dir / "project.xml",
          fmt::format(R"(<?xml version="1.0" encoding="UTF-8"?>)"
                      "\n<project><swfwd>{0}</swfwd><swfht>{1}</swfht><pagewidth>{2}</pagewidth>"
                      "<pageheight>{3}</pageheight><exetitle>Pagewend demo book</exetitle>"
                      "<title><value>Pagewend demo</value></title>"
                      // The viewer's own stage colour, which the player shows while the book unpacks.
                      "<background><color>2632756</color></background>"
                      "<preloader><filename>book.swf</filename><pos_>{4}</pos_><size_>{4}</size_></preloader>"
                      "<toc><filename>toc.xml</filename><pos_>{5}</pos_><size_>{5}</size_></toc></project>\n",
                      kStageWidth, kStageHeight, kWidth, kHeight, ref, ref + 1));
    Write(
        dir / "book.xml",
        fmt::format(R"(<?xml version="1.0" encoding="UTF-8"?>)"
                    "\n<book title=\"Pagewend demo\" pagewidth=\"{}\" pageheight=\"{}\" thumbscale=\"0.25\" "
                    "pos_langs_=\"{}\" size_langs_=\"{}\"><Chapters><chapter title=\"Demo\"><Pages>{}</Pages>"
                    "</chapter></Chapters></book>\n",
                    kWidth, kHeight, ref + 2, ref + 2, pageXml));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
