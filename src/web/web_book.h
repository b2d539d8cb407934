#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "reading/book_pages.h"

// A book published as a static web book: a folder with index.html, the page-turner's own script
// and style, and the pages as images, that a browser reads from disk or any web server with
// nothing fetched from elsewhere.
namespace pagewend::web {

struct WebBookOptions {
  // Workers for the page images; 0 means one per core.
  unsigned jobs = 0;
  // The screen images fit within this square; the zoom images within twice it.
  int screenSide = 1600;
  // Called on the calling thread after each page, and once before the first with done = 0.
  std::function<void(int done, int total)> progress;
  // Asked before each page; once it answers true the export ends, throwing WebBookStopped.
  std::function<bool()> stopped;
};

class WebBookStopped : public std::runtime_error {
 public:
  WebBookStopped() : std::runtime_error("stopped") {}
};

struct WebBookSummary {
  int pages = 0;
  // Pages whose search text was cut to the limit.
  int textsCut = 0;
};

// Per page, at most this much of its search text goes into the web book.
inline constexpr std::size_t kMaxPageTextBytes = 64 << 10;

// Writes book into folder, which must exist and should be empty. The book's files must lie below
// sources (the run's working folder): a part or text file named anywhere else is left out, so no
// name from a package reaches outside it. Every output name is made here. Throws
// imaging::ImageError or FileError (naming the file) when something cannot be written.
WebBookSummary WriteWebBook(const reading::Book& book, const std::filesystem::path& sources,
                            const std::filesystem::path& folder, const WebBookOptions& options = {});

}  // namespace pagewend::web
