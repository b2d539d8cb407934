#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "reading/book_pages.h"
#include "support/notifier.h"

// A book kept as a PDF that any reader opens, searches and prints: one page per book page, its
// JPEG images as their own bytes, its texts as text, its search text as an invisible layer, its
// links and contents as links and outline.
namespace pagewend::pdf {

struct PdfBookOptions {
  // Called on the calling thread after each page, and once before the first with done = 0.
  std::function<void(int done, int total)> progress;
  // Asked before each page; once it answers true the export ends, throwing PdfBookStopped.
  std::function<bool()> stopped;
};

class PdfBookStopped : public std::runtime_error {
 public:
  PdfBookStopped() : std::runtime_error("stopped") {}
};

// The PDF could not be written: the library's own words.
class PdfBookError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PdfBookSummary {
  int pages = 0;
  // Images stored, each once however many pages show it.
  int images = 0;
  // Page images that could not be read and were left out.
  int imagesLeftOut = 0;
};

// Per page, at most this much of its search text goes into the PDF.
inline constexpr std::size_t kMaxSearchTextBytes = 64 << 10;

// Writes book as a PDF to file, replacing it. The book's files must lie below sources (the
// run's working folder): nothing named elsewhere is read. A page image that cannot be read is
// left out, with a notice; its page is written without it. Texts are set as the page view sets
// them, in the application's or a TextDrawing's fonts: call it on the main thread. Throws
// PdfBookError when the file cannot be written.
PdfBookSummary WritePdfBook(const reading::Book& book, const std::filesystem::path& sources,
                            const std::filesystem::path& file, Notifier& notifier,
                            const PdfBookOptions& options = {});

}  // namespace pagewend::pdf
