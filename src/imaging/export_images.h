#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "imaging/page_images.h"
#include "reading/book_pages.h"
#include "support/folder_root.h"

class QGuiApplication;

namespace pagewend::imaging {

// Qt lays out text only while a QGuiApplication exists: a program without one (the tool) holds
// this while pages with texts are drawn, which makes one on the offscreen platform unless an
// application object exists already. Made and dropped on the main thread, around the workers.
class TextDrawing {
 public:
  TextDrawing();
  ~TextDrawing();
  TextDrawing(const TextDrawing&) = delete;
  TextDrawing& operator=(const TextDrawing&) = delete;

 private:
  std::unique_ptr<QGuiApplication> application_;
};

// One page of a book published as images: the size a screen shows it at, a larger one to zoom
// into, and a thumbnail, all from one decode (or one composition) of the page.
struct ExportImageJob {
  reading::Page page;
  double pageWidth = 0;
  double pageHeight = 0;
  // The screen image fits within this square; the zoom image within twice it, and never above
  // the resolution of the page's own images; the thumbnail within thumbSide.
  int screenSide = 1600;
  int thumbSide = 200;
  // The three files' names below outputs, without the extension, which the content picks:
  // ".png" for a page with transparent places, ".jpg" for an opaque one.
  std::filesystem::path screen;
  std::filesystem::path zoom;
  std::filesystem::path thumb;
  std::shared_ptr<const FolderRoot> outputs;
  // The export's budget for decoded pixels, shared by its workers.
  std::shared_ptr<PixelBudget> pixels = {};
};

struct ExportedImages {
  std::string extension;  // ".jpg" or ".png", for all three
  Size screen;
  Size zoom;
  Size thumb;
  // Whether the zoom image is a file of its own; a page whose sources are not much larger than
  // the screen image zooms into the screen image.
  bool separateZoom = false;
};

// Writes the page's three images. A page that is one raster image over the whole page (the usual
// scanned or exported page) is decoded once, at the zoom size, by the reduced-size decoding; any
// other page is composed by RenderPage, within a TextDrawing. Throws PageImageError naming the file when the
// page's only image cannot be decoded, and ImageError when a file cannot be written.
ExportedImages WriteExportImages(const ExportImageJob& job);

}  // namespace pagewend::imaging
