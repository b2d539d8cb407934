#pragma once

#include <QImage>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>

#include "imaging/page_images.h"

namespace pagewend::imaging {

// The most a decoded image may take, whichever decoder makes it.
inline constexpr std::size_t kMaxDecodedImageBytes = std::size_t{128} << 20;

// What one JPEG decode may cost. Qt's allocation limit covers only the decoded image: a
// progressive or multi-scan JPEG makes libjpeg keep every DCT coefficient of the full-size image
// whatever scale is decoded, and every scan walks all of them again.
struct JpegLimits {
  // libjpeg's own buffers, chiefly a multi-scan image's coefficients.
  std::size_t decoderBytes = std::size_t{96} << 20;
  // The decoded pixels, at the scale decoded.
  std::size_t imageBytes = kMaxDecodedImageBytes;
  // Real encoders write at most a few dozen scans; libjpeg-turbo's own TurboJPEG stops at 500.
  int scans = 500;
  // Wall time from opening the file to the last row.
  std::chrono::milliseconds time{3000};
};

// A JPEG file decoded by libjpeg within limits. Opening reads the header; every fault of the
// file, or a limit it would pass, throws PageImageError naming the file.
class JpegReader {
 public:
  explicit JpegReader(const std::filesystem::path& path, const JpegLimits& limits = {});
  ~JpegReader();
  JpegReader(const JpegReader&) = delete;
  JpegReader& operator=(const JpegReader&) = delete;

  Size PixelSize() const;

  // The image at exactly size, as Qt's reader makes it for a scaled size: libjpeg's smallest
  // M/8 scale that is at least as large, then smooth scaling the rest of the way. CMYK and YCCK
  // come out as RGB the way Qt reads them (Adobe's inverted CMYK), grayscale as Grayscale8.
  // One read per reader.
  QImage Read(Size size);
  // The same without the smooth scaling: libjpeg's scale, at least size.
  QImage ReadAtScale(Size size);

 private:
  struct State;
  [[noreturn]] void Fail(const char* what) const;

  std::filesystem::path path_;
  JpegLimits limits_;
  std::unique_ptr<State> state_;
};

}  // namespace pagewend::imaging
