#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pagewend::bench {

// Writes `count` A4 pages at 300 dpi (2480 × 3508) as JPEG files in folder: lines of text-like
// strokes and a photo-like area of gradients and noise, different on every page.
std::vector<std::filesystem::path> MakePages(const std::filesystem::path& folder, int count,
                                             int quality = 85);

// A book package of `pages` generated A4 pages, each shown by an image element and used as the
// page's mobile image, with the page size and scale a real book carries; with startMovie, the
// book's start movie too; with searchTexts, a search text of about 300 words per page, as the
// authoring tool writes for most books. A few distinct pages are repeated: generating is slower
// than unpacking.
void MakeBook(const std::filesystem::path& out, int pages, const std::string& startMovie = {},
              bool searchTexts = false);

}  // namespace pagewend::bench
