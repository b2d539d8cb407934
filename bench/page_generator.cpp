#include "page_generator.h"

#include <QImage>
#include <QPainter>
#include <QString>

#include <random>
#include <string>

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

}  // namespace pagewend::bench
