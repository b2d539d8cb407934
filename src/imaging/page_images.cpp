#include "imaging/page_images.h"

#include <fcntl.h>
#include <unistd.h>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QString>

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "imaging/image_decode.h"
#include "imaging/image_write.h"
#include "imaging/jpeg_reader.h"
#include "support/unique_fd.h"

namespace pagewend::imaging {
namespace {

QString ToQString(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

// Little-endian first two bytes of the raster formats the page thumbnail accepts.
constexpr std::array<std::uint16_t, 9> kRasterMarks = {0x050A, 0x4238, 0x4947, 0x4949, 0x4D42,
                                                       0x5089, 0xA659, 0xD8FF, 0xDA01};
// The JPEG one, which is also what Qt's reader goes by.
constexpr std::uint16_t kJpegMark = 0xD8FF;

// The file's first two bytes, little-endian; nothing for a file that cannot be read or is shorter.
std::optional<std::uint16_t> Mark(const std::filesystem::path& path) {
  unsigned char mark[2] = {0, 0};
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid() || ::read(fd.Get(), mark, 2) != 2) return std::nullopt;
  return static_cast<std::uint16_t>(mark[0] | mark[1] << 8);
}

double ScaleToFit(Size image, Size box) {
  if (image.width <= 0 || image.height <= 0) return 1.0;
  return std::min(
      {1.0, static_cast<double>(box.width) / image.width, static_cast<double>(box.height) / image.height});
}

Size Scaled(Size image, double factor) {
  return {std::max(1, static_cast<int>(std::lround(image.width * factor))),
          std::max(1, static_cast<int>(std::lround(image.height * factor)))};
}

Size WithinPixelLimit(Size size, const std::filesystem::path& path) {
  if (static_cast<std::int64_t>(size.width) * size.height > kMaxImagePixels)
    throw PageImageError(fmt::format("{}: the image claims {} x {} pixels, more than the limit of {}",
                                     path.string(), size.width, size.height, kMaxImagePixels));
  return size;
}

Size OriginalSize(QImageReader& reader, const std::filesystem::path& path) {
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty())
    throw PageImageError(
        fmt::format("{}: not a readable image ({})", path.string(), reader.errorString().toStdString()));
  return WithinPixelLimit({size.width(), size.height()}, path);
}

// The size the page thumbnail draws the image at: the first element's rectangle, or the canvas.
Size ThumbnailDrawSize(const PageImageJob& job) {
  return job.drawRect ? Size{job.drawRect->width, job.drawRect->height} : job.canvas;
}

// The size a job decodes at: large enough for the biggest output, smaller wherever that allows.
Size DecodedSize(const PageImageJob& job, Size original) {
  const Size target = ThumbnailDrawSize(job);
  const double thumbFactor = std::max(static_cast<double>(target.width) / original.width,
                                      static_cast<double>(target.height) / original.height);
  const double factor = std::min(1.0, std::max({ScaleToFit(original, {800, 800}), thumbFactor}));
  return factor < 1.0 ? Scaled(original, factor) : original;
}

// The one decode of a job.
DecodedImage Decode(const PageImageJob& job) {
  return DecodeImage(job.source, [&job](Size original) { return DecodedSize(job, original); },
                     {.budget = job.pixels.get(), .keep = job.sourceReadAgain, .atLibjpegScale = true});
}

QImage ScaledTo(const QImage& image, Size size) {
  if (image.width() == size.width && image.height() == size.height) return image;
  return image.scaled(size.width, size.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The mobile image from the decoded one. Where each of its pixels covers less than two of the
// decoded image's each way (a page scan at libjpeg's quarter scale, say), bilinear filtering is
// all that area averaging would give, at half its cost; it goes into the worker's own canvas,
// the same memory page after page.
QImage Reduced(const QImage& image, Size size) {
  if (image.width() == size.width && image.height() == size.height) return image;
  const bool mild = size.width <= image.width() && size.height <= image.height() &&
                    2 * size.width > image.width() && 2 * size.height > image.height();
  if (!mild || image.format() != QImage::Format_RGB32 || !image.textKeys().isEmpty())
    return ScaledTo(image, size);
  thread_local QImage canvas;
  if (canvas.width() != size.width || canvas.height() != size.height)
    canvas = QImage(size.width, size.height, QImage::Format_RGB32);
  if (canvas.isNull()) return ScaledTo(image, size);
  {
    QPainter painter(&canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(0, 0, size.width, size.height), image);
  }
  canvas.setDotsPerMeterX(image.dotsPerMeterX());
  canvas.setDotsPerMeterY(image.dotsPerMeterY());
  canvas.setColorSpace(image.colorSpace());
  return canvas;
}

// Into the run's folder, or without one into the file's own: never through a link either way.
void Save(const QImage& image, const std::filesystem::path& dest, const FolderRoot* outputs) {
  std::optional<FolderRoot> own;
  if (!outputs) {
    try {
      own.emplace(dest.has_parent_path() ? dest.parent_path() : std::filesystem::path("."));
    } catch (const FileError& e) {
      throw ImageError(e.what());
    }
  }
  // The format goes by the name, as when Qt opens the file itself.
  WriteImage(image, outputs ? dest : dest.filename(), outputs ? *outputs : *own, FormatOf(dest));
}

}  // namespace

DecodedImage DecodeImage(const std::filesystem::path& source, const std::function<Size(Size)>& sizeFor,
                         const DecodeOptions& options) {
  PixelBudget* const budget = options.budget;
  if (!std::filesystem::exists(source))
    throw PageImageError(fmt::format("File do not exist: {}", source.string()), /*missingSource=*/true);
  const auto decodedSize = [&sizeFor](Size original) {
    const Size wanted = sizeFor(original);
    if (wanted.width <= 0 || wanted.height <= 0 || wanted.width >= original.width ||
        wanted.height >= original.height)
      return original;
    return wanted;
  };
  // A JPEG by libjpeg's scaled decoding; the other formats by Qt's readers.
  std::optional<JpegReader> jpeg;
  std::optional<QImageReader> reader;
  Size original;
  if (Mark(source) == kJpegMark) {
    jpeg.emplace(source);
    original = WithinPixelLimit(jpeg->PixelSize(), source);
  } else {
    PrepareQtImageFormats();
    reader.emplace(ToQString(source));
    reader->setAutoTransform(false);
    reader->setAllocationLimit(static_cast<int>(kMaxDecodedImageBytes >> 20));
    original = OriginalSize(*reader, source);
  }
  const Size decoded = decodedSize(original);
  // With a budget, an image of the file decoded for an earlier page at this size or larger serves
  // again; a decode of it another worker has begun is waited for.
  const std::optional<PixelBudget::FileKey> key = budget ? PixelBudget::KeyOf(source) : std::nullopt;
  if (key)
    if (auto reused = budget->Reuse(*key, decoded.width, decoded.height))
      return {std::move(reused->image), original, std::move(reused->share)};
  // This decode of the file is the one the others wait for: it ends kept or dropped.
  struct Decoding {
    PixelBudget* budget;
    const std::optional<PixelBudget::FileKey>& key;
    bool kept = false;
    ~Decoding() {
      if (key && !kept) budget->Drop(*key);
    }
  } decoding{budget, key};
  // The scaled JPEG decoding works at up to twice the size asked for, each way; Qt's readers
  // decode most formats whole and scale after.
  const Size working = jpeg ? Size{2 * decoded.width, 2 * decoded.height} : original;
  PixelBudget::Share share =
      budget ? budget->Take(std::int64_t{4} * working.width * working.height) : PixelBudget::Share();
  QImage image;
  if (jpeg) {
    image = options.atLibjpegScale ? jpeg->ReadAtScale(decoded) : jpeg->Read(decoded);
  } else {
    if (decoded != original) reader->setScaledSize(QSize(decoded.width, decoded.height));
    image = reader->read();
    if (image.isNull())
      throw PageImageError(fmt::format("{}: cannot decode the image: {}", source.string(),
                                       reader->errorString().toStdString()));
  }
  share.ShrinkTo(image.sizeInBytes());
  if (!options.keep) return {std::move(image), original, std::move(share)};
  if (key) budget->Keep(*key, image);
  decoding.kept = true;
  return {std::move(image), original, std::move(share)};
}

Size RasterPixelSize(const std::filesystem::path& path) {
  const auto mark = Mark(path);
  if (!mark || std::find(kRasterMarks.begin(), kRasterMarks.end(), *mark) == kRasterMarks.end()) return {};
  if (*mark == kJpegMark) {
    try {
      return JpegReader(path).PixelSize();
    } catch (const PageImageError&) {
      return {};
    }
  }
  PrepareQtImageFormats();
  QImageReader reader(ToQString(path));
  const QSize size = reader.size();
  if (!size.isValid()) return {};
  return {size.width(), size.height()};
}

Size FitWithin(Size image, Size box) { return Scaled(image, ScaleToFit(image, box)); }

void DecodeForJob(const PageImageJob& job) { (void)Decode(job); }

bool NeedsQtImageFormats(const PageImageJob& job) {
  const auto direct = [](const std::filesystem::path& file) { return EncodedWithoutQt(FormatOf(file)); };
  return Mark(job.source) != kJpegMark || !direct(job.mobile) || !direct(job.photoThumb) ||
         !direct(job.pageThumb);
}

// The page's thumbnail: the image stretched over the canvas, or drawn into the first element's
// rectangle on a transparent one.
QImage PageThumbnail(const QImage& decoded, const PageImageJob& job) {
  if (job.canvas.width <= 0 || job.canvas.height <= 0)
    throw PageImageError(fmt::format("{}: a page thumbnail of {} x {} pixels cannot be made",
                                     job.pageThumb.string(), job.canvas.width, job.canvas.height));
  if (job.canvas.width > kMaxThumbnailSide || job.canvas.height > kMaxThumbnailSide)
    throw PageImageError(fmt::format(
        "{}: a page thumbnail of {} x {} pixels "
        "is larger than the limit of {} x {}",
        job.pageThumb.string(), job.canvas.width, job.canvas.height, kMaxThumbnailSide, kMaxThumbnailSide));
  if (!job.drawRect) return ScaledTo(decoded, job.canvas);
  const Rect& r = *job.drawRect;
  const auto far = [](int v) { return v < -4 * kMaxThumbnailSide || v > 4 * kMaxThumbnailSide; };
  if (far(r.left) || far(r.top) || far(r.width) || far(r.height))
    throw PageImageError(fmt::format("{}: the first element's rectangle {}, {}, {} x {} lies too far out",
                                     job.pageThumb.string(), r.left, r.top, r.width, r.height));
  QImage canvas(job.canvas.width, job.canvas.height, QImage::Format_ARGB32);
  canvas.fill(Qt::transparent);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect(r.left, r.top, r.width, r.height), decoded);
  painter.end();
  return canvas;
}

void MakePageImages(const PageImageJob& job) {
  const DecodedImage source = Decode(job);
  const QImage& decoded = source.image;
  const Size original = source.original;
  // Output sizes follow the original's, not the decoded image's rounded aspect. Each output
  // that can be made is, whatever became of the others.
  std::string problem;
  const auto make = [&](auto image, const std::filesystem::path& dest) {
    try {
      Save(image(), dest, job.outputs.get());
    } catch (const PageImageError& e) {
      if (problem.empty()) problem = e.what();
    }
  };
  // The thumbnails come from the mobile image where it is large enough.
  const Size mobileSize = FitWithin(original, {800, 800});
  const QImage mobile = Reduced(decoded, mobileSize);
  const Size thumbTarget = ThumbnailDrawSize(job);
  const QImage& thumbSource =
      thumbTarget.width <= mobileSize.width && thumbTarget.height <= mobileSize.height ? mobile : decoded;
  make([&] { return mobile; }, job.mobile);
  make([&] { return ScaledTo(mobile, FitWithin(original, {200, 200})); }, job.photoThumb);
  make([&] { return PageThumbnail(thumbSource, job); }, job.pageThumb);
  if (!problem.empty()) throw PageImageError(problem);
}

}  // namespace pagewend::imaging
