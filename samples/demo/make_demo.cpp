// make_demo DIR: lays out the project's demo book in DIR the way `pagewend extract
// --keep-documents` leaves a book (project.xml, book.xml, files/...), ready for `pagewend pack`.
// Pages are drawn here; the start movie is written with the project's own SWF writer: one frame
// per page, previous and next buttons, and a full-screen button that asks the player by
// ExternalInterface.
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
#include <string>
#include <vector>

#include "swf/swf_writer.h"

namespace {

namespace fs = std::filesystem;
using pagewend::swf::SwfActions;
using pagewend::swf::SwfRect;
using pagewend::swf::SwfWriter;

constexpr int kPages = 12;
constexpr int kWidth = 600;
constexpr int kHeight = 800;
constexpr int kBar = 60;

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
      "Every page of this book is a picture drawn when the project is built, and the start movie "
      "shows them one frame each. Use the buttons below the page to turn it, or to switch to full "
      "screen and back.");
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

QImage Button(const QString& label, QColor colour, int width) {
  QImage image(width, kBar - 16, QImage::Format_RGB32);
  image.fill(colour);
  QPainter p(&image);
  p.setPen(Qt::white);
  p.setFont(QFont("DejaVu Sans", 14, QFont::Bold));
  p.drawText(image.rect(), Qt::AlignCenter, label);
  return image;
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

SwfRect Twips(int x, int y, int w, int h) { return {x * 20, (x + w) * 20, y * 20, (y + h) * 20}; }

std::string Movie(const std::vector<std::string>& pages) {
  SwfWriter movie(8, Twips(0, 0, kWidth, kHeight + kBar), 24);
  movie.SetBackgroundColor({40, 44, 52});
  // Buttons: previous, full screen, next.
  const struct {
    const char* label;
    QColor colour;
    int x;
    int width;
    SwfActions action;
  } buttons[] = {
      {"\u2039 Previous", QColor(70, 110, 180), 10, 170, SwfActions().PreviousFrame()},
      {"Full screen", QColor(200, 120, 40), 215, 170, SwfActions().CallExternal("fullscreen_error")},
      {"Next \u203A", QColor(60, 150, 90), 420, 170, SwfActions().NextFrame()},
  };
  std::uint16_t id = 1;
  std::uint16_t depth = 10;
  for (const auto& b : buttons) {
    const QImage image = Button(QString::fromUtf8(b.label), b.colour, b.width);
    const std::uint16_t bitmap = id++;
    const std::uint16_t shape = id++;
    const std::uint16_t button = id++;
    movie.DefineJpeg(bitmap, Jpeg(image, 92));
    movie.DefineBitmapRectangle(shape, Twips(0, 0, image.width(), image.height()), bitmap, image.width(),
                                image.height());
    movie.DefineButton(button, shape, b.action);
    movie.PlaceObject(depth++, button, b.x * 20, (kHeight + 8) * 20);
  }
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const std::uint16_t bitmap = id++;
    const std::uint16_t shape = id++;
    movie.DefineJpeg(bitmap, pages[i]);
    movie.DefineBitmapRectangle(shape, Twips(0, 0, kWidth, kHeight), bitmap, kWidth, kHeight);
    if (i > 0) movie.RemoveObject(1);
    movie.PlaceObject(1, shape);
    movie.DoAction(SwfActions().Stop());
    movie.ShowFrame();
  }
  return movie.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo DIR\n");
    return 2;
  }
  // Fonts need a GUI application object; no display is needed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  try {
    const fs::path dir = argv[1];
    fs::remove_all(dir);
    std::vector<std::string> pages;
    std::string pageXml;
    int ref = 1;  // every reference needs numbers of its own until pack gives the real ones
    for (int i = 0; i < kPages; ++i) {
      pages.push_back(Jpeg(Page(i)));
      const std::string name = fmt::format("page{:02d}.jpg", i + 1);
      Write(dir / "files/res/pages" / name, pages.back());
      pageXml += fmt::format(
          R"(<page title="{}" mobilefile2="res\pages\{}" mobilefile1="m.jpg" photoviewthumb="t.jpg" )"
          R"(pos_mobilefile2="{}" size_mobilefile2="{}"><elem><img src="res\pages\{}" left="0" top="0" )"
          R"(width="{}" height="{}" pos_="{}" size_="{}"/></elem></page>)",
          kTopics[i], name, ref, ref, name, kWidth, kHeight, ref + 1, ref + 1);
      ref += 2;
    }
    Write(dir / "files/book.swf", Movie(pages));
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
                      "\n<project><swfwd>{0}</swfwd><swfht>{1}</swfht><pagewidth>{0}</pagewidth>"
                      "<pageheight>{2}</pageheight><exetitle>Pagewend demo book</exetitle>"
                      "<title><value>Pagewend demo</value></title>"
                      "<preloader><filename>book.swf</filename><pos_>{3}</pos_><size_>{3}</size_></preloader>"
                      "<toc><filename>toc.xml</filename><pos_>{4}</pos_><size_>{4}</size_></toc></project>\n",
                      kWidth, kHeight + kBar, kHeight, ref, ref + 1));
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
