#include "page_generator.h"

#include <fmt/format.h>

#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <random>
#include <string>

#include "package/package_writer.h"

namespace pagewend::bench {

std::vector<std::filesystem::path> MakePages(const std::filesystem::path& folder, int count, int quality) {
  std::filesystem::create_directories(folder);
  std::vector<std::filesystem::path> pages;
  std::mt19937 random(7);
  for (int i = 0; i < count; ++i) {
    QImage image(2480, 3508, QImage::Format_RGB32);
    image.fill(QColor(250, 248, 240));
    QPainter painter(&image);
    // Text: rows of dark strokes of word-like lengths.
    for (int line = 0; line < 60; ++line) {
      const int y = 200 + line * 50;
      if (y > 1500 && y < 2700) continue;
      for (int x = 200; x < 2280;) {
        const int word = 30 + static_cast<int>(random() % 150);
        painter.fillRect(x, y, std::min(word, 2280 - x), 26, QColor(30, 30, 30));
        x += word + 18;
      }
    }
    // A photo-like area: smooth gradients under fine noise.
    QImage photo(1800, 1150, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
      for (int x = 0; x < photo.width(); ++x) {
        const int noise = static_cast<int>(random() % 24);
        row[x] = qRgb((x * 255 / 1800 + i * 13 + noise) % 256, (y * 255 / 1150 + noise) % 256,
                      (128 + (x + y) / 24 + noise) % 256);
      }
    }
    painter.drawImage(340, 1540, photo);
    painter.end();
    const auto path = folder / ("page" + std::to_string(i + 1) + ".jpg");
    image.save(QString::fromStdString(path.string()), "JPEG", quality);
    pages.push_back(path);
  }
  return pages;
}

namespace {

// About 300 words of a page's text, different on every page.
std::string PageWords(int page) {
  static constexpr const char* kWords[] = {"river",  "valley", "mountain", "harbour", "village", "forest",
                                           "bridge", "meadow", "glacier",  "island",  "canal",   "orchard"};
  std::string text = fmt::format("Page {}.", page);
  for (int i = 0; i < 300; ++i) text += fmt::format(" {}{}", kWords[(page * 7 + i * 5) % 12], i % 17);
  return text;
}

}  // namespace

void MakeBook(const std::filesystem::path& out, int count, const std::string& startMovie, bool searchTexts) {
  const std::filesystem::path scratch = out.string() + ".pages";
  const auto images = MakePages(scratch, std::clamp(count, 1, 8));
  package::PackageWriter writer(out);
  std::string project = "<project><exetitle>Generated book</exetitle>";
  if (!startMovie.empty()) {
    const auto movie = writer.AddRecord(startMovie);
    project +=
        fmt::format("<preloader><filename>start.swf</filename><pos_>{}</pos_><size_>{}</size_></preloader>",
                    movie.pos, movie.size);
  }
  std::string pages;
  for (int i = 0; i < count; ++i) {
    const auto ref = writer.AddRecord(images[static_cast<std::size_t>(i) % images.size()]);
    std::string search;
    if (searchTexts) {
      const auto text = writer.AddRecord(PageWords(i + 1));
      search = fmt::format(R"(searchtxt="res\search\{0}.txt" pos_search_="{1}" size_search_="{2}" )", i + 1,
                           text.pos, text.size);
    }
    pages += fmt::format(
        R"(<page {3}mobilefile2="res\pages\m{0}.jpg" mobilefile1="m.jpg" photoviewthumb="t.jpg" )"
        R"(pos_mobilefile2="{1}" size_mobilefile2="{2}"><elem><img src="res\pages\p{0}.jpg" left="0" top="0" )"
        R"(width="595" height="842" pos_="{1}" size_="{2}"/></elem></page>)",
        i + 1, ref.pos, ref.size, search);
  }
  writer.Finish(R"(<?xml version="1.0" encoding="UTF-8"?><book pagewidth="595" pageheight="842" )"
                R"(thumbscale="0.25"><Chapters><chapter><Pages>)" +
                    pages + "</Pages></chapter></Chapters></book>",
                project + "</project>");
  std::filesystem::remove_all(scratch);
}

}  // namespace pagewend::bench
