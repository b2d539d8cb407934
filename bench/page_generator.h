#pragma once

#include <filesystem>
#include <vector>

namespace pagewend::bench {

// Writes `count` A4 pages at 300 dpi (2480 × 3508) as JPEG files in folder: lines of text-like
// strokes and a photo-like area of gradients and noise, different on every page.
std::vector<std::filesystem::path> MakePages(const std::filesystem::path& folder, int count,
                                             int quality = 85);

}  // namespace pagewend::bench
