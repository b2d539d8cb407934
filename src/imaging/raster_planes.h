#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "imaging/page_images.h"

namespace pagewend::imaging {

// An image's pixels as a document format stores them: 8-bit RGB rows without padding, and an
// 8-bit alpha plane only where some pixel is not opaque.
struct RasterPlanes {
  Size size;
  std::vector<std::uint8_t> rgb;
  std::vector<std::uint8_t> alpha;
};

// Decodes a raster file at its own size, within the decoders' limits. Throws PageImageError
// naming the file for a missing, broken or oversized image.
RasterPlanes DecodePlanes(const std::filesystem::path& source);

// The pixel size of a JPEG file whose header libjpeg reads, within the limits a decode would
// keep. Throws PageImageError naming the file for anything else.
Size CheckedJpegSize(const std::filesystem::path& source);

// Whether a JPEG file's bytes reach their end-of-image marker after the first scan begins: a
// file cut short does not, since the coded data of a scan never holds the marker's bytes.
bool JpegComplete(std::string_view bytes);

}  // namespace pagewend::imaging
