#include "testing/book_package.h"

#include <QBuffer>
#include <QImage>

#include <fmt/format.h>

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
  image.save(&buffer, extension == ".png" ? "PNG" : "JPEG");
  return buffer.data().toStdString();
}

}  // namespace pagewend::testing
