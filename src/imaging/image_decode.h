#pragma once

#include <QImage>
#include <filesystem>
#include <functional>

#include "imaging/page_images.h"
#include "imaging/pixel_budget.h"

namespace pagewend::imaging {

struct DecodedImage {
  QImage image;
  Size original;
  // The image's bytes in the run's pixel budget, held as long as the image is.
  PixelBudget::Share share = {};
};

struct DecodeOptions {
  // The run's budget of decoded pixels; none: no limit but the image's own.
  PixelBudget* budget = nullptr;
  // Whether the decode is kept in the budget for those that follow: not when none will ask for
  // the file again.
  bool keep = true;
  // A JPEG comes at libjpeg's scale, which may be larger than asked, for a caller that scales
  // the rest of the way itself.
  bool atLibjpegScale = false;
};

// Decodes a raster file at the size sizeFor gives for its original size, or at the original size
// where that is no smaller: a JPEG by libjpeg's scaled decoding within its limits, the other
// formats by Qt's readers within the decoded-image limit. Throws PageImageError naming the file
// for a missing, broken or oversized image. With a budget, the decode first waits for its bytes,
// and an image of the same file kept from an earlier decode at this size or larger is given
// instead: the image may then be larger than sizeFor asked.
DecodedImage DecodeImage(const std::filesystem::path& source,
                         const std::function<Size(Size original)>& sizeFor,
                         const DecodeOptions& options = {});

}  // namespace pagewend::imaging
