#pragma once

#include <QImage>
#include <filesystem>
#include <functional>

#include "imaging/page_images.h"

namespace pagewend::imaging {

struct DecodedImage {
  QImage image;
  Size original;
};

// Decodes a raster file at the size sizeFor gives for its original size, or at the original size
// where that is no smaller: a JPEG by libjpeg's scaled decoding within its limits, the other
// formats by Qt's readers within the decoded-image limit. Throws PageImageError naming the file
// for a missing, broken or oversized image.
DecodedImage DecodeImage(const std::filesystem::path& source,
                         const std::function<Size(Size original)>& sizeFor);

}  // namespace pagewend::imaging
