#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace pagewend::imaging {

// A baseline JPEG made smaller at its own size by coarser quantisation, worked on its DCT
// coefficients: no pixels are decoded or encoded, so it costs a fraction of a decode. Each step
// of the new tables is the source's or that of `quality`, whichever is coarser, so no image gains
// a finer table than it had. Only single-scan YCbCr or grayscale JPEGs whose coefficients take at
// most maxCoefficientBytes are done; for any other file, or a fault, nothing comes back and the
// caller decodes instead. ICC profiles are kept.
std::string RequantizeJpeg(const std::filesystem::path& source, int quality, std::size_t maxCoefficientBytes);

}  // namespace pagewend::imaging
