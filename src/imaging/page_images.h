#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "support/folder_root.h"

namespace pagewend::imaging {

class PixelBudget;

// An image that could not be made, for a reason that ends the run (the disk is full, the
// folder is gone, a link stands where an image goes).
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A fault of one page's own images (its mobile image is missing, broken, too large or of a
// format nothing decodes, or an output's name selects no format): the book goes on without them.
class PageImageError : public ImageError {
 public:
  explicit PageImageError(const std::string& what, bool missingSource = false)
      : ImageError(what), missingSource_(missingSource) {}
  // The mobile image itself is not there.
  bool MissingSource() const { return missingSource_; }

 private:
  bool missingSource_;
};

// Images larger than this are refused before they are decoded.
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{16384} * 16384;
// A page thumbnail is at most this wide and high (a book's page size times its thumbnail scale),
// and the first element's rectangle on it at most this far out. 64 MiB of canvas: with the
// decoded image's own limit, one page's images stay within 256 MiB.
inline constexpr int kMaxThumbnailSide = 4096;

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// The pixel size of a raster image: its first two bytes must mark one of the known raster
// formats (PNG, JPEG, GIF, BMP, TIFF, PCX, PSD, ...), then the size comes from its header without
// decoding. Anything else is 0 × 0.
Size RasterPixelSize(const std::filesystem::path& path);

// image scaled to fit within box, aspect kept, never enlarged.
Size FitWithin(Size image, Size box);

// The derived images of one page, all made from one decode of its mobile image.
struct PageImageJob {
  std::filesystem::path source;      // the page's mobile image
  std::filesystem::path mobile;      // fit within 800 × 800
  std::filesystem::path photoThumb;  // fit within 200 × 200
  std::filesystem::path pageThumb;   // canvas-sized thumbnail
  Size canvas;                       // the thumbnail's size
  // Where the image goes on a transparent canvas; nothing means stretched over the canvas.
  std::optional<Rect> drawRect;
  // The folder the three outputs lie below: each is created beneath it, never through a link.
  // Without one, each is created in its own folder, never through a link either.
  std::shared_ptr<const FolderRoot> outputs = {};
  // The run's budget for decoded pixels, shared by its workers; none: no limit but the image's own.
  std::shared_ptr<PixelBudget> pixels = {};
  // Whether a later job reads the same source. Only then is the decode kept in the budget: an
  // image kept for no one would make every later page decode into fresh memory.
  bool sourceReadAgain = true;
};

// Decodes the source once, at the smallest size that serves every output, and writes the three
// images, each in the format its file name's extension selects. Throws PageImageError naming the
// file for a missing, broken or oversized source (nothing is made) or an output that cannot be
// made (the others are), and ImageError for a write that fails for want of disk or folder.
void MakePageImages(const PageImageJob& job);

// Whether the job reads or writes an image through Qt's image plugins (a source that is not a JPEG,
// an output in a format other than JPEG or PNG): PrepareQtImageFormats is then due before it runs
// on another thread.
bool NeedsQtImageFormats(const PageImageJob& job);

// The same decode and nothing else: the floor that MakePageImages is measured against.
void DecodeForJob(const PageImageJob& job);

}  // namespace pagewend::imaging
