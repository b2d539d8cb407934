#include "imaging/image_write.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <mutex>

#include <fmt/format.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "imaging/page_images.h"
#include "support/text.h"

namespace pagewend::imaging {
namespace {

// Qt's RGB32 pixel, 0xAARRGGBB in native order, is B, G, R, A in memory on little-endian machines.
constexpr bool kLittleEndian = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;

// The pixel formats the writers below take as they are; any other goes to Qt's writers.
bool IsRgb32Family(QImage::Format format) {
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
         format == QImage::Format_ARGB32_Premultiplied;
}

// JPEG by libjpeg-turbo from the image's own rows, as Qt's writer makes it (same settings, same
// bytes) but without its row conversion or its plugin.
struct JpegErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void JpegExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

struct JpegOutput {
  unsigned char* bytes = nullptr;
  unsigned long size = 0;
  ~JpegOutput() { std::free(bytes); }
};

// Only trivial locals here: libjpeg leaves by longjmp.
bool CompressJpeg(jpeg_compress_struct& cinfo, JpegErrors& errors, const QImage& image, int quality,
                  const QByteArray& icc, JpegOutput& out) {
  if (setjmp(errors.jump)) return false;
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &out.bytes, &out.size);
  const bool gray = image.format() == QImage::Format_Grayscale8;
  cinfo.image_width = static_cast<JDIMENSION>(image.width());
  cinfo.image_height = static_cast<JDIMENSION>(image.height());
  cinfo.input_components = gray ? 1 : 4;
  cinfo.in_color_space = gray ? JCS_GRAYSCALE : kLittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
  jpeg_set_defaults(&cinfo);
  cinfo.density_unit = 1;  // dots per inch
  cinfo.X_density = static_cast<UINT16>(std::max(1, qRound(image.dotsPerMeterX() * .0254)));
  cinfo.Y_density = static_cast<UINT16>(std::max(1, qRound(image.dotsPerMeterY() * .0254)));
  jpeg_set_quality(&cinfo, quality >= 0 ? std::min(quality, 100) : 75, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  if (!icc.isEmpty())
    jpeg_write_icc_profile(&cinfo, reinterpret_cast<const JOCTET*>(icc.constData()),
                           static_cast<unsigned>(icc.size()));
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(image.constScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

std::string EncodeJpeg(const QImage& image, int quality) {
  jpeg_compress_struct cinfo{};
  JpegErrors errors{};
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = JpegExit;
  JpegOutput out;
  const QByteArray icc = image.colorSpace().isValid() ? image.colorSpace().iccProfile() : QByteArray();
  const bool done = CompressJpeg(cinfo, errors, image, quality, icc, out);
  jpeg_destroy_compress(&cinfo);
  if (!done) {
    char message[JMSG_LENGTH_MAX];
    (*errors.pub.format_message)(reinterpret_cast<j_common_ptr>(&cinfo), message);
    throw ImageError(fmt::format("cannot encode the image: {}", message));
  }
  return std::string(reinterpret_cast<const char*>(out.bytes), out.size);
}

// PNG by libpng: each row filtered by its left neighbour and run-length coded. For photographs
// and scans that is three times faster than Qt's writer (every filter tried on every row) at its
// fastest level, and no larger.
struct PngState {
  std::string bytes;
  std::string error;
};

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* state = static_cast<PngState*>(png_get_io_ptr(png));
  bool full = false;
  try {
    state->bytes.append(reinterpret_cast<const char*>(data), length);
  } catch (const std::bad_alloc&) {
    full = true;
  }
  // Outside the handler: png_error leaves by longjmp.
  if (full) png_error(png, "out of memory");
}

void PngFlush(png_structp) {}

[[noreturn]] void PngFail(png_structp png, png_const_charp message) {
  static_cast<PngState*>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

// How a row of the image is laid out for libpng: colour type and the transformations that take
// Qt's pixels to PNG's.
enum class PngPixels { kGray, kRgb, kRgba };

// Only trivial locals here: libpng leaves by longjmp.
bool CompressPng(png_structp png, png_infop info, const QImage& image, PngPixels pixels,
                 const QByteArray& icc) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int colorType = pixels == PngPixels::kGray  ? PNG_COLOR_TYPE_GRAY
                        : pixels == PngPixels::kRgb ? PNG_COLOR_TYPE_RGB
                                                    : PNG_COLOR_TYPE_RGB_ALPHA;
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()),
               8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (image.dotsPerMeterX() > 0 || image.dotsPerMeterY() > 0)
    png_set_pHYs(png, info, static_cast<png_uint_32>(image.dotsPerMeterX()),
                 static_cast<png_uint_32>(image.dotsPerMeterY()), PNG_RESOLUTION_METER);
  if (!icc.isEmpty())
    png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE,
                 reinterpret_cast<png_const_bytep>(icc.constData()), static_cast<png_uint_32>(icc.size()));
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_strategy(png, Z_RLE);
  png_write_info(png, info);
  if (pixels != PngPixels::kGray) {
    if (kLittleEndian) {
      png_set_bgr(png);
      if (pixels == PngPixels::kRgb) png_set_filler(png, 0, PNG_FILLER_AFTER);
    } else {
      png_set_swap_alpha(png);
      if (pixels == PngPixels::kRgb) png_set_filler(png, 0, PNG_FILLER_BEFORE);
    }
  }
  for (int y = 0; y < image.height(); ++y) png_write_row(png, image.constScanLine(y));
  png_write_end(png, info);
  return true;
}

std::string EncodePng(const QImage& source) {
  const QImage image = source.format() == QImage::Format_ARGB32_Premultiplied
                           ? source.convertToFormat(QImage::Format_ARGB32)
                           : source;
  // An image all of whose pixels are opaque is written without its alpha channel: the same
  // pixels, a quarter fewer bytes to compress.
  const PngPixels pixels = image.format() == QImage::Format_Grayscale8 ? PngPixels::kGray
                           : image.format() == QImage::Format_ARGB32 && HasTranslucentPixels(image)
                               ? PngPixels::kRgba
                               : PngPixels::kRgb;
  const QByteArray icc = image.colorSpace().isValid() ? image.colorSpace().iccProfile() : QByteArray();
  PngState state;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, PngFail, PngWarn);
  if (!png) throw ImageError("cannot encode the image: out of memory");
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &state, PngWrite, PngFlush);
  const bool done = info && CompressPng(png, info, image, pixels, icc);
  png_destroy_write_struct(&png, &info);
  if (!done) throw ImageError(fmt::format("cannot encode the image: {}", state.error));
  return std::move(state.bytes);
}

// What Qt's writers make, for the formats and images the encoders above do not take. PNG at
// Qt's quality 80, zlib level 1: three times faster than its default, for images barely larger.
std::string EncodeByQt(const QImage& image, const QByteArray& format, int quality,
                       const std::filesystem::path& dest) {
  PrepareQtImageFormats();
  // Checked first, so that the message says what is wrong rather than that writing failed.
  if (!QImageWriter::supportedImageFormats().contains(format))
    throw PageImageError(fmt::format("{}: no image format goes by this file name", dest.string()));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(format == "png" ? 80 : quality);
  if (!writer.write(image)) {
    if (writer.error() == QImageWriter::UnsupportedFormatError)
      throw PageImageError(fmt::format("{}: no image format goes by this file name", dest.string()));
    throw ImageError(fmt::format("cannot write the image: {}", writer.errorString().toStdString()));
  }
  return bytes.toStdString();
}

}  // namespace

void PrepareQtImageFormats() {
  static std::once_flag once;
  std::call_once(once, [] {
    (void)QImageReader::supportedImageFormats();
    (void)QImageWriter::supportedImageFormats();
  });
}

QByteArray FormatOf(const std::filesystem::path& file) {
  return QByteArray::fromStdString(Lower(file.extension().string())).mid(1);
}

bool EncodedWithoutQt(const QByteArray& format) {
  return format == "jpeg" || format == "jpg" || format == "png";
}

bool HasTranslucentPixels(const QImage& image) {
  if (!image.hasAlphaChannel()) return false;
  const QImage argb =
      image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_ARGB32_Premultiplied
          ? image
          : image.convertToFormat(QImage::Format_ARGB32);
  const int width = argb.width();
  for (int y = 0; y < argb.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    if (!std::all_of(row, row + width, [](QRgb pixel) { return qAlpha(pixel) == 255; })) return true;
  }
  return false;
}

void WriteImage(const QImage& image, const std::filesystem::path& dest, const FolderRoot& outputs,
                const QByteArray& format, int quality) {
  // Text keys and the other pixel formats are left to Qt's writers.
  const bool direct = EncodedWithoutQt(format) && image.textKeys().isEmpty() && !image.isNull() &&
                      (IsRgb32Family(image.format()) || image.format() == QImage::Format_Grayscale8);
  std::string bytes;
  try {
    if (direct && format == "png")
      bytes = EncodePng(image);
    else if (direct)
      bytes = EncodeJpeg(image, quality);
    else
      bytes = EncodeByQt(image, format, quality, dest);
  } catch (const PageImageError&) {
    throw;
  } catch (const ImageError& e) {
    throw ImageError(fmt::format("{}: {}", dest.string(), e.what()));
  }
  try {
    outputs.WriteFile(dest, bytes);
  } catch (const FileError& e) {
    throw ImageError(e.what());
  }
}

}  // namespace pagewend::imaging
