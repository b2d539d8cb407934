#include "imaging/jpeg_reader.h"

#include <QColorSpace>
#include <QtGlobal>

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace pagewend::imaging {
namespace {

// An embedded colour profile longer than this is dropped (the image keeps no profile): real
// profiles are a few hundred KiB at most, and every byte of one is held until the image is made.
constexpr std::size_t kMaxIccBytes = std::size_t{1} << 20;

// Qt's RGB32 pixel, 0xAARRGGBB in native order, is B, G, R, A in memory on little-endian machines.
constexpr J_COLOR_SPACE kRgb32Space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;

enum class Stop { kNone, kScans, kTime };

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

struct ProgressMonitor {
  jpeg_progress_mgr pub;
  std::chrono::steady_clock::time_point deadline;
  int maxScans;
  Stop stop;
};

// libjpeg-turbo's Huffman decoder takes its fast path only while a whole MCU's worst case (3 KiB
// for 4:2:0 colour) is in the buffer: with stdio's 4 KiB buffer most of each refill is decoded the
// slow way, a tenth of the decode's time. A larger buffer keeps it on the fast path.
constexpr std::size_t kSourceBufferBytes = std::size_t{256} << 10;

struct FileSource {
  jpeg_source_mgr pub{};
  int fd = -1;
  std::unique_ptr<JOCTET[]> buffer;
  bool atEnd = false;
};

void InitSource(j_decompress_ptr) {}

// At the end of the file (or on a read error) a fake end marker, as libjpeg's stdio source does:
// a cut file decodes as far as it goes.
boolean FillSource(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<FileSource*>(cinfo->src);
  ssize_t got = -1;
  if (!src->atEnd) {
    do got = ::read(src->fd, src->buffer.get(), kSourceBufferBytes);
    while (got < 0 && errno == EINTR);
  }
  if (got <= 0) {
    src->atEnd = true;
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->pub.next_input_byte = src->buffer.get();
  src->pub.bytes_in_buffer = static_cast<std::size_t>(got);
  return TRUE;
}

void SkipSource(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* src = cinfo->src;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    (*src->fill_input_buffer)(cinfo);
  }
  if (count > 0) {
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<std::size_t>(count);
  }
}

void TermSource(j_decompress_ptr) {}

struct IccProfile {
  std::unique_ptr<JOCTET[]> data;
  std::size_t length = 0;
  bool dropped = false;
};

// The callbacks below run inside libjpeg and leave it by longjmp: they hold only trivial locals,
// and so do the State functions that set the jump target.

[[noreturn]] void ExitByJump(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings (corrupt data, a premature end) leave a usable image, as with Qt's reader.
void IgnoreMessage(j_common_ptr) {}

// Called at least once per row of blocks consumed and per row output, and on every scan.
void Monitor(j_common_ptr cinfo) {
  auto* progress = reinterpret_cast<ProgressMonitor*>(cinfo->progress);
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > progress->maxScans)
    progress->stop = Stop::kScans;
  else if (std::chrono::steady_clock::now() > progress->deadline)
    progress->stop = Stop::kTime;
  else
    return;
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// The file source never suspends: at the end of the file it feeds a fake end marker.
JOCTET NextByte(j_decompress_ptr cinfo) {
  jpeg_source_mgr* src = cinfo->src;
  if (src->bytes_in_buffer == 0) (*src->fill_input_buffer)(cinfo);
  --src->bytes_in_buffer;
  return *src->next_input_byte++;
}

// APP2 segments carry the ICC profile in pieces. libjpeg's own marker saver keeps every saved
// segment, however many a file holds; this keeps only profile bytes, up to kMaxIccBytes.
boolean ReadApp2(j_decompress_ptr cinfo) {
  auto& icc = *static_cast<IccProfile*>(cinfo->client_data);
  long length = NextByte(cinfo) << 8;
  length += NextByte(cinfo);
  length -= 2;
  constexpr long kHeader = 14;  // "ICC_PROFILE\0", sequence number, count
  if (length < kHeader) {
    if (length > 0) (*cinfo->src->skip_input_data)(cinfo, length);
    return TRUE;
  }
  JOCTET header[kHeader];
  for (JOCTET& b : header) b = NextByte(cinfo);
  length -= kHeader;
  const bool isIcc = std::memcmp(header, "ICC_PROFILE", 12) == 0;
  if (isIcc && !icc.dropped && static_cast<std::size_t>(length) <= kMaxIccBytes - icc.length) {
    for (long i = 0; i < length; ++i) icc.data[icc.length++] = NextByte(cinfo);
    return TRUE;
  }
  if (isIcc) icc.dropped = true;
  if (length > 0) (*cinfo->src->skip_input_data)(cinfo, length);
  return TRUE;
}

void CmykToRgb32(const JSAMPLE* in, unsigned char* out, JDIMENSION width) {
  // Adobe's programs write CMYK inverted; Qt's reader reads it so, and the images must not change.
  for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 4) {
    const unsigned k = in[3];
    const std::uint32_t pixel =
        0xFF000000u | (k * in[0] / 255) << 16 | (k * in[1] / 255) << 8 | (k * in[2] / 255);
    std::memcpy(out, &pixel, sizeof pixel);
  }
}

}  // namespace

struct JpegReader::State {
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  ProgressMonitor progress{};
  IccProfile icc;
  FileSource source{};
  bool multiScan = false;

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    // Safe in any state, also when creation itself failed (the struct starts zeroed).
    jpeg_destroy_decompress(&cinfo);
    if (source.fd >= 0) ::close(source.fd);
  }

  bool ReadHeader(std::size_t decoderBytes) {
    if (setjmp(err.jump)) return false;
    jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof cinfo);
    cinfo.progress = &progress.pub;
    // Beyond this libjpeg would need a backing store, which it does not have: it stops.
    cinfo.mem->max_memory_to_use = static_cast<long>(decoderBytes);
    source.pub.init_source = InitSource;
    source.pub.fill_input_buffer = FillSource;
    source.pub.skip_input_data = SkipSource;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = TermSource;
    cinfo.src = &source.pub;
    jpeg_set_marker_processor(&cinfo, JPEG_APP0 + 2, ReadApp2);
    jpeg_read_header(&cinfo, TRUE);
    return true;
  }

  bool Prepare() {
    if (setjmp(err.jump)) return false;
    jpeg_calc_output_dimensions(&cinfo);
    multiScan = jpeg_has_multiple_scans(&cinfo);
    return true;
  }

  bool Decompress(unsigned char* bits, std::size_t stride, JSAMPLE* cmykRow) {
    if (setjmp(err.jump)) return false;
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
      unsigned char* line = bits + stride * cinfo.output_scanline;
      JSAMPROW row = cmykRow ? cmykRow : line;
      if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
        std::snprintf(err.message, sizeof err.message, "the decoder stopped before the last row");
        return false;
      }
      if (cmykRow) CmykToRgb32(cmykRow, line, cinfo.output_width);
    }
    // The rest of the file (jpeg_finish_decompress would read it to the end) adds nothing.
    return true;
  }

  // What a multi-scan image's coefficients take: every block of every component, padded to
  // whole MCUs, kept until the last scan.
  std::uint64_t CoefficientBytes() const {
    if (!multiScan) return 0;
    std::uint64_t bytes = 0;
    for (int i = 0; i < cinfo.num_components; ++i) {
      const jpeg_component_info& c = cinfo.comp_info[i];
      const auto up = [](std::uint64_t v, int step) {
        const auto s = static_cast<std::uint64_t>(std::max(step, 1));
        return (v + s - 1) / s * s;
      };
      bytes +=
          up(c.width_in_blocks, c.h_samp_factor) * up(c.height_in_blocks, c.v_samp_factor) * sizeof(JBLOCK);
    }
    return bytes;
  }
};

JpegReader::JpegReader(const std::filesystem::path& path, const JpegLimits& limits)
    : path_(path), limits_(limits), state_(std::make_unique<State>()) {
  State& s = *state_;
  s.cinfo.err = jpeg_std_error(&s.err.pub);
  s.err.pub.error_exit = ExitByJump;
  s.err.pub.output_message = IgnoreMessage;
  s.progress.pub.progress_monitor = Monitor;
  s.progress.deadline = std::chrono::steady_clock::now() + limits.time;
  s.progress.maxScans = limits.scans;
  s.icc.data = std::make_unique_for_overwrite<JOCTET[]>(kMaxIccBytes);
  s.cinfo.client_data = &s.icc;
  s.source.buffer = std::make_unique_for_overwrite<JOCTET[]>(kSourceBufferBytes);
  s.source.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (s.source.fd < 0)
    throw PageImageError(fmt::format("{}: cannot open the image: {}", path.string(), std::strerror(errno)));
  if (!s.ReadHeader(limits.decoderBytes)) Fail("not a readable image");
}

JpegReader::~JpegReader() = default;

Size JpegReader::PixelSize() const {
  return {static_cast<int>(state_->cinfo.image_width), static_cast<int>(state_->cinfo.image_height)};
}

void JpegReader::Fail(const char* what) const {
  const State& s = *state_;
  const std::string file = path_.string();
  switch (s.progress.stop) {
    case Stop::kScans:
      throw PageImageError(fmt::format("{}: the image has more than {} scans", file, limits_.scans));
    case Stop::kTime:
      throw PageImageError(
          fmt::format("{}: decoding the image took longer than {} ms", file, limits_.time.count()));
    case Stop::kNone:
      break;
  }
  if (s.err.pub.msg_code == JERR_NO_BACKING_STORE || s.err.pub.msg_code == JERR_OUT_OF_MEMORY)
    throw PageImageError(
        fmt::format("{}: decoding the image needs more than {} MiB", file, limits_.decoderBytes >> 20));
  throw PageImageError(fmt::format("{}: {} ({})", file, what, s.err.message));
}

QImage JpegReader::Read(Size size) {
  QImage image = ReadAtScale(size);
  if (image.width() != size.width || image.height() != size.height)
    image = image.scaled(size.width, size.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return image;
}

QImage JpegReader::ReadAtScale(Size size) {
  State& s = *state_;
  jpeg_decompress_struct& cinfo = s.cinfo;
  const std::string file = path_.string();
  // Qt's choice of scale, so that images come out as they did from Qt's reader.
  const double f = std::min(static_cast<double>(cinfo.image_width) / size.width,
                            static_cast<double>(cinfo.image_height) / size.height);
  cinfo.scale_num = static_cast<unsigned>(std::clamp(static_cast<int>(std::ceil(8 / f)), 1, 8));
  cinfo.scale_denom = 8;
  QImage::Format format = QImage::Format_RGB32;
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      cinfo.out_color_space = JCS_GRAYSCALE;
      format = QImage::Format_Grayscale8;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo.out_color_space = kRgb32Space;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo.out_color_space = JCS_CMYK;
      break;
    default:
      throw PageImageError(
          fmt::format("{}: cannot decode the image: a JPEG of {} components in no known "
                      "colour space",
                      file, cinfo.num_components));
  }
  if (!s.Prepare()) Fail("cannot decode the image");

  const std::uint64_t coefficients = s.CoefficientBytes();
  if (coefficients > limits_.decoderBytes)
    throw PageImageError(fmt::format(
        "{}: the image ({} x {}, {} components, progressive or in several scans) needs {} MiB to decode, "
        "more than the limit of {} MiB",
        file, cinfo.image_width, cinfo.image_height, cinfo.num_components, coefficients >> 20,
        limits_.decoderBytes >> 20));
  const std::uint64_t pixelBytes = format == QImage::Format_Grayscale8 ? 1 : 4;
  const std::uint64_t imageBytes = std::uint64_t{cinfo.output_width} * cinfo.output_height * pixelBytes;
  if (imageBytes > limits_.imageBytes)
    throw PageImageError(
        fmt::format("{}: the image decoded at {} x {} would take {} MiB, more than the limit of {} MiB", file,
                    cinfo.output_width, cinfo.output_height, imageBytes >> 20, limits_.imageBytes >> 20));

  QImage image(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), format);
  if (image.isNull())
    throw PageImageError(fmt::format("{}: no memory for the decoded image of {} x {}", file,
                                     cinfo.output_width, cinfo.output_height));
  std::vector<JSAMPLE> cmykRow(cinfo.out_color_space == JCS_CMYK ? std::size_t{cinfo.output_width} * 4 : 0);
  if (!s.Decompress(image.bits(), static_cast<std::size_t>(image.bytesPerLine()),
                    cmykRow.empty() ? nullptr : cmykRow.data()))
    Fail("cannot decode the image");

  if (cinfo.density_unit == 1) {
    image.setDotsPerMeterX(static_cast<int>(100. * cinfo.X_density / 2.54));
    image.setDotsPerMeterY(static_cast<int>(100. * cinfo.Y_density / 2.54));
  } else if (cinfo.density_unit == 2) {
    image.setDotsPerMeterX(100 * cinfo.X_density);
    image.setDotsPerMeterY(100 * cinfo.Y_density);
  }
  if (s.icc.length > 0 && !s.icc.dropped)
    image.setColorSpace(QColorSpace::fromIccProfile(
        QByteArray(reinterpret_cast<const char*>(s.icc.data.get()), static_cast<qsizetype>(s.icc.length))));
  return image;
}

}  // namespace pagewend::imaging
