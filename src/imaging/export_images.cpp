#include "imaging/export_images.h"

#include <QGuiApplication>
#include <QImage>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "imaging/image_decode.h"
#include "imaging/image_write.h"
#include "imaging/jpeg_reader.h"
#include "imaging/jpeg_requantize.h"
#include "imaging/page_render.h"

namespace pagewend::imaging {
namespace {

// A source up to this much above twice the screen size is kept at its own size for zooming:
// decoding at full scale is libjpeg's fastest, and a resample of a few percent buys little.
constexpr double kZoomSlack = 1.1;
// From this (times the screen side) up the screen image is the zoom image halved; below, a zoom
// image no more than kZoomSlack above the screen side is the screen image itself.
constexpr double kHalving = 1.8;
// JPEG qualities: the zoom image is seen enlarged, where artefacts hide better in detail.
constexpr int kScreenQuality = 78;
constexpr int kZoomQuality = 60;
constexpr int kThumbQuality = 75;

bool OneImageOverPage(const ExportImageJob& job) {
  if (job.page.parts.size() != 1 || job.page.parts[0].kind != reading::PagePart::Kind::Image) return false;
  const reading::Box& box = job.page.parts[0].box;
  // Within half a page unit of the page's edges, as layouts round them.
  return std::abs(box.x) <= 0.5 && std::abs(box.y) <= 0.5 && std::abs(box.width - job.pageWidth) <= 0.5 &&
         std::abs(box.height - job.pageHeight) <= 0.5;
}

int LongSide(Size size) { return std::max(size.width, size.height); }

Size PageFit(const ExportImageJob& job, int side) {
  const double scale = side / std::max(job.pageWidth, job.pageHeight);
  return {std::max(1, static_cast<int>(std::lround(job.pageWidth * scale))),
          std::max(1, static_cast<int>(std::lround(job.pageHeight * scale)))};
}

// The zoom size of a page of this source: its own size when that is about twice the screen or
// less, else fitted within twice the screen.
Size ZoomFor(Size original, int screenSide) {
  if (LongSide(original) <= kZoomSlack * 2 * screenSide) return original;
  return FitWithin(original, {2 * screenSide, 2 * screenSide});
}

// Exactly half the size, each pixel the mean of four: as good as a smooth resample at this ratio
// and several times faster.
QImage Halve(const QImage& source) {
  const QImage in =
      source.format() == QImage::Format_RGB32
          ? source
          : source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                            : QImage::Format_RGB32);
  const int w = std::max(1, in.width() / 2);
  const int h = std::max(1, in.height() / 2);
  if (in.width() < 2 || in.height() < 2)
    return in.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  QImage out(w, h, in.format());
  for (int y = 0; y < h; ++y) {
    const auto* top = reinterpret_cast<const std::uint32_t*>(in.constScanLine(2 * y));
    const auto* bottom = reinterpret_cast<const std::uint32_t*>(in.constScanLine(2 * y + 1));
    auto* row = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const std::uint32_t a = top[2 * x], b = top[2 * x + 1], c = bottom[2 * x], d = bottom[2 * x + 1];
      // Two channels at a time, each with eight bits of headroom for the sum of four.
      const std::uint64_t evens = (std::uint64_t{a & 0x00FF00FF} + (b & 0x00FF00FF) + (c & 0x00FF00FF) +
                                   (d & 0x00FF00FF) + 0x00020002) >>
                                  2;
      const std::uint64_t odds = (std::uint64_t{(a >> 8) & 0x00FF00FF} + ((b >> 8) & 0x00FF00FF) +
                                  ((c >> 8) & 0x00FF00FF) + ((d >> 8) & 0x00FF00FF) + 0x00020002) >>
                                 2;
      row[x] = static_cast<std::uint32_t>((evens & 0x00FF00FF) | ((odds & 0x00FF00FF) << 8));
    }
  }
  return out;
}

void Write(const QImage& image, const std::filesystem::path& dest, const FolderRoot& outputs, int quality) {
  WriteImage(image, dest, outputs, FormatOf(dest), quality);
}

void WriteBytes(const std::string& bytes, const std::filesystem::path& dest, const FolderRoot& outputs) {
  try {
    outputs.WriteFile(dest, bytes);
  } catch (const FileError& e) {
    throw ImageError(e.what());
  }
}

std::filesystem::path Named(const std::filesystem::path& base, const std::string& extension) {
  return std::filesystem::path(base.string() + extension);
}

// The screen image of a source at the zoom size: half of it where it is about twice the screen,
// so that a JPEG decodes at exactly half scale; fitted to the screen otherwise.
Size ScreenFor(Size zoom, int side) {
  if (LongSide(zoom) >= kHalving * side) return {std::max(1, zoom.width / 2), std::max(1, zoom.height / 2)};
  return FitWithin(zoom, {side, side});
}

// The usual page, one JPEG over all of it at about twice the screen size or less: the zoom image
// is the source itself requantised, the screen image one decode at reduced size. Nothing when
// the page is not such a page or its JPEG not one the requantiser takes.
std::optional<ExportedImages> FromOneJpeg(const ExportImageJob& job, int side) {
  const std::filesystem::path& source = job.page.parts[0].file;
  const Size original = RasterPixelSize(source);
  if (original.width <= 0 || ZoomFor(original, side) != original || LongSide(original) <= kZoomSlack * side)
    return std::nullopt;
  const DecodedImage decoded =
      DecodeImage(source, [side](Size size) { return ScreenFor(size, side); }, {.budget = job.pixels.get()});
  if (decoded.original != original || decoded.image.hasAlphaChannel()) return std::nullopt;
  const std::string zoom = RequantizeJpeg(source, kZoomQuality, JpegLimits{}.decoderBytes);
  if (zoom.empty()) return std::nullopt;
  ExportedImages made;
  made.extension = ".jpg";
  made.separateZoom = true;
  made.zoom = original;
  const Size screenSize = ScreenFor(original, side);
  const QImage screen =
      decoded.image.width() == screenSize.width && decoded.image.height() == screenSize.height
          ? decoded.image
          : decoded.image.scaled(screenSize.width, screenSize.height, Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
  made.screen = screenSize;
  made.thumb = FitWithin(screenSize, {job.thumbSide, job.thumbSide});
  Write(screen, Named(job.screen, made.extension), *job.outputs, kScreenQuality);
  WriteBytes(zoom, Named(job.zoom, made.extension), *job.outputs);
  Write(screen.scaled(made.thumb.width, made.thumb.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
        Named(job.thumb, made.extension), *job.outputs, kThumbQuality);
  return made;
}

}  // namespace

TextDrawing::TextDrawing() {
  if (QCoreApplication::instance() != nullptr) return;
  // Qt keeps the arguments for the application's life, and takes out those it reads: they are
  // set afresh for every application, or a second one in the process would miss its platform.
  static int argc;
  static char name[] = "pagewend", option[] = "-platform", platform[] = "offscreen";
  static char* argv[4];
  argc = 3;
  argv[0] = name;
  argv[1] = option;
  argv[2] = platform;
  argv[3] = nullptr;
  // What Qt says of a desktop the tool does not use (no XDG_RUNTIME_DIR, say) is no news to its
  // user; only its errors are.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
      std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  });
  application_ = std::make_unique<QGuiApplication>(argc, argv);
}

TextDrawing::~TextDrawing() {
  if (application_) {
    application_.reset();
    qInstallMessageHandler(nullptr);
  }
}

ExportedImages WriteExportImages(const ExportImageJob& job) {
  const int side = std::max(16, job.screenSide);
  QImage zoom;
  bool composed = !OneImageOverPage(job);
  if (!composed) {
    try {
      if (auto made = FromOneJpeg(job, side)) return *made;
      Size wanted;
      DecodedImage decoded = DecodeImage(job.page.parts[0].file,
                                         [&](Size original) {
                                           wanted = ZoomFor(original, side);
                                           return wanted;
                                         },
                                         {.budget = job.pixels.get()});
      zoom = std::move(decoded.image);
      if (zoom.width() != wanted.width || zoom.height() != wanted.height)
        zoom = zoom.scaled(wanted.width, wanted.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } catch (const PageImageError&) {
      // A page whose image is broken or missing is drawn as the reader draws it: its background.
      composed = true;
    }
  }
  if (composed) {
    const double resolution = ImageResolution(job.page);
    // Texts draw sharp at any size; a page with nothing on it has nothing to zoom into.
    Size size = PageFit(job, job.page.parts.empty() ? side : 2 * side);
    if (resolution > 0) {
      const int native = static_cast<int>(std::lround(resolution * std::max(job.pageWidth, job.pageHeight)));
      size = PageFit(job, std::clamp(native, side / 2, 2 * side));
    }
    zoom = RenderPage(job.page, job.pageWidth, job.pageHeight, size, job.pixels.get());
  }

  ExportedImages made;
  made.extension = HasTranslucentPixels(zoom) ? ".png" : ".jpg";
  const Size zoomSize{zoom.width(), zoom.height()};
  const bool separate = LongSide(zoomSize) > kZoomSlack * side;
  QImage screen = zoom;
  if (LongSide(zoomSize) >= kHalving * side) {
    screen = Halve(zoom);
  } else if (separate) {
    const Size fit = FitWithin(zoomSize, {side, side});
    screen = zoom.scaled(fit.width, fit.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  const Size thumbSize = FitWithin({screen.width(), screen.height()}, {job.thumbSide, job.thumbSide});
  const QImage thumb =
      screen.scaled(thumbSize.width, thumbSize.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  Write(screen, Named(job.screen, made.extension), *job.outputs, kScreenQuality);
  if (separate) Write(zoom, Named(job.zoom, made.extension), *job.outputs, kZoomQuality);
  Write(thumb, Named(job.thumb, made.extension), *job.outputs, kThumbQuality);
  made.screen = {screen.width(), screen.height()};
  made.zoom = separate ? zoomSize : made.screen;
  made.thumb = thumbSize;
  made.separateZoom = separate;
  return made;
}

}  // namespace pagewend::imaging
