#include "imaging/raster_planes.h"

#include <QImage>
#include <algorithm>

#include "imaging/image_decode.h"
#include "imaging/jpeg_reader.h"

namespace pagewend::imaging {

RasterPlanes DecodePlanes(const std::filesystem::path& source) {
  const DecodedImage decoded = DecodeImage(source, [](Size original) { return original; });
  const bool transparent = decoded.image.hasAlphaChannel();
  const QImage image =
      decoded.image.convertToFormat(transparent ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  RasterPlanes planes;
  planes.size = {image.width(), image.height()};
  const auto width = static_cast<std::size_t>(image.width());
  const auto height = static_cast<std::size_t>(image.height());
  planes.rgb.resize(width * height * 3);
  if (transparent) planes.alpha.resize(width * height);
  bool opaque = true;
  for (std::size_t y = 0; y < height; ++y) {
    const uchar* row = image.constScanLine(static_cast<int>(y));
    std::uint8_t* rgb = planes.rgb.data() + y * width * 3;
    if (!transparent) {
      std::copy_n(row, width * 3, rgb);
      continue;
    }
    std::uint8_t* alpha = planes.alpha.data() + y * width;
    for (std::size_t x = 0; x < width; ++x) {
      std::copy_n(row + x * 4, 3, rgb + x * 3);
      alpha[x] = row[x * 4 + 3];
      opaque = opaque && alpha[x] == 0xFF;
    }
  }
  // An alpha channel that nothing uses costs a mask for nothing.
  if (opaque) planes.alpha.clear();
  return planes;
}

Size CheckedJpegSize(const std::filesystem::path& source) {
  const JpegReader reader(source);
  return reader.PixelSize();
}

bool JpegComplete(std::string_view bytes) {
  const std::size_t scan = bytes.find("\xFF\xDA");
  const std::size_t end = bytes.rfind("\xFF\xD9");
  return scan != std::string_view::npos && end != std::string_view::npos && end > scan;
}

}  // namespace pagewend::imaging
