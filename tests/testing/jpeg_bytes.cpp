#include "testing/jpeg_bytes.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace pagewend::testing {
namespace {

constexpr char kSos[] = "\xFF\xDA";

std::size_t CountScans(const std::string& jpeg) {
  std::size_t n = 0;
  for (auto at = jpeg.find(kSos); at != std::string::npos; at = jpeg.find(kSos, at + 2)) ++n;
  return n;
}

}  // namespace

JpegPicture PatternPicture(int width, int height, int components, bool flat) {
  JpegPicture picture{width, height, components, {}};
  picture.samples.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                         static_cast<std::size_t>(components));
  std::size_t i = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c)
        picture.samples[i++] = static_cast<unsigned char>(
            flat ? 128 : (x * (c + 1) * 255 / width + y * (4 - c) * 255 / height) / 2);
  return picture;
}

std::string CompressJpeg(const JpegPicture& picture, int quality) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_CreateCompress(&cinfo, JPEG_LIB_VERSION, sizeof cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(picture.width);
  cinfo.image_height = static_cast<JDIMENSION>(picture.height);
  cinfo.input_components = picture.components;
  cinfo.in_color_space = picture.components == 1   ? JCS_GRAYSCALE
                         : picture.components == 3 ? JCS_RGB
                                                   : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  if (picture.ycck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (picture.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  const auto stride = static_cast<std::size_t>(picture.width * picture.components);
  while (cinfo.next_scanline < cinfo.image_height) {
    auto* row = const_cast<JSAMPLE*>(picture.samples.data() + stride * cinfo.next_scanline);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  const std::unique_ptr<unsigned char, decltype(&std::free)> owned(buffer, std::free);
  return {reinterpret_cast<const char*>(buffer), size};
}

std::string ClaimingSize(std::string jpeg, int width, int height) {
  // Segments from the start: FF, marker, two length bytes; a frame header (SOF0..SOF15 but
  // for DHT, JPG and DAC) holds precision, height, width.
  std::size_t at = 2;
  while (at + 9 < jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xFF) {
    const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      jpeg[at + 5] = static_cast<char>(height >> 8);
      jpeg[at + 6] = static_cast<char>(height);
      jpeg[at + 7] = static_cast<char>(width >> 8);
      jpeg[at + 8] = static_cast<char>(width);
      return jpeg;
    }
    at += 2 + (static_cast<std::size_t>(static_cast<unsigned char>(jpeg[at + 2])) << 8) +
          static_cast<unsigned char>(jpeg[at + 3]);
  }
  throw std::runtime_error("no frame header in the JPEG");
}

std::string WithScans(const std::string& jpeg, int scans) {
  // Entropy-coded data never holds FF DA (an FF there is followed by 00 or a restart marker),
  // and the compressor ends the file with the end marker right after the last scan.
  const std::size_t last = jpeg.rfind(kSos);
  const std::size_t end = jpeg.size() - 2;
  const std::string scan = jpeg.substr(last, end - last);
  std::string out = jpeg.substr(0, end);
  for (auto n = CountScans(jpeg); n < static_cast<std::size_t>(scans); ++n) out += scan;
  return out + jpeg.substr(end);
}

}  // namespace pagewend::testing
