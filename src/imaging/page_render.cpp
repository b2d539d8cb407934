#include "imaging/page_render.h"

#include <QFont>
#include <QPainter>
#include <QTextOption>
#include <algorithm>
#include <cmath>

#include "imaging/image_decode.h"

namespace pagewend::imaging {

namespace {

QRectF ToPixels(const reading::Box& box, double scaleX, double scaleY) {
  return {box.x * scaleX, box.y * scaleY, box.width * scaleX, box.height * scaleY};
}

QColor Colour(std::uint32_t rgb) { return QColor::fromRgb(rgb); }

void DrawImage(QPainter& painter, const reading::PagePart& part, const QRectF& rect, PixelBudget* budget) {
  // A box far larger than the page asks for no more than the decoder's own limits allow.
  const auto side = [](double length) {
    return static_cast<int>(std::clamp(std::ceil(length), 1.0, 16384.0));
  };
  const Size shown{side(rect.width()), side(rect.height())};
  try {
    const DecodedImage decoded = DecodeImage(part.file, [shown](Size) { return shown; }, {.budget = budget});
    // A kept decode of the file may be larger than asked; the painter's own scaling would alias.
    const QImage& image = decoded.image;
    painter.drawImage(
        rect, image.width() > shown.width || image.height() > shown.height
                  ? image.scaled(shown.width, shown.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  : image);
  } catch (const PageImageError&) {
    // The page shows without it, as the movie would show a page whose image is missing.
  }
}

void DrawText(QPainter& painter, const reading::PagePart& part, const QRectF& rect, double scale) {
  painter.setFont(TextFont(part.style, std::max(1, static_cast<int>(std::lround(part.style.size * scale)))));
  painter.setPen(Colour(part.style.color));
  painter.drawText(rect, QString::fromStdString(part.text), TextOptions(part.style));
}

}  // namespace

QFont TextFont(const reading::TextStyle& style, int pixelSize) {
  QFont font(QString::fromStdString(style.font));
  font.setPixelSize(std::max(1, pixelSize));
  font.setBold(style.bold);
  font.setItalic(style.italic);
  font.setUnderline(style.underline);
  return font;
}

QTextOption TextOptions(const reading::TextStyle& style) {
  Qt::Alignment align = Qt::AlignLeft;
  if (style.align == "center") align = Qt::AlignHCenter;
  if (style.align == "right") align = Qt::AlignRight;
  QTextOption option(align | Qt::AlignTop);
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  return option;
}

QImage RenderPage(const reading::Page& page, double pageWidth, double pageHeight, Size pixels,
                  PixelBudget* budget) {
  QImage image(std::max(1, pixels.width), std::max(1, pixels.height), QImage::Format_RGB32);
  image.fill(Colour(page.background));
  if (pageWidth <= 0 || pageHeight <= 0) return image;
  const double scaleX = image.width() / pageWidth;
  const double scaleY = image.height() / pageHeight;
  QPainter painter(&image);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  for (const reading::PagePart& part : page.parts) {
    const QRectF rect = ToPixels(part.box, scaleX, scaleY);
    if (rect.isEmpty() || !rect.intersects(QRectF(image.rect()))) continue;
    if (part.kind == reading::PagePart::Kind::Image)
      DrawImage(painter, part, rect, budget);
    else
      DrawText(painter, part, rect, scaleY);
  }
  return image;
}

double ImageResolution(const reading::Page& page) {
  double best = 0;
  for (const reading::PagePart& part : page.parts) {
    if (part.kind != reading::PagePart::Kind::Image || part.box.Empty()) continue;
    const Size size = RasterPixelSize(part.file);
    best = std::max({best, size.width / part.box.width, size.height / part.box.height});
  }
  return best;
}

}  // namespace pagewend::imaging
