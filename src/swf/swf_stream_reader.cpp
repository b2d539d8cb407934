#include "swf/swf_stream_reader.h"

#include <fmt/format.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "support/text.h"

namespace pagewend::swf {
namespace {

// A read-only streambuf over bytes that live elsewhere.
class ViewBuf : public std::streambuf {
 public:
  explicit ViewBuf(std::string& bytes) { setg(bytes.data(), bytes.data(), bytes.data() + bytes.size()); }
  std::size_t Consumed() const { return static_cast<std::size_t>(gptr() - eback()); }
};

void AppendRest(std::istream& stream, std::string& out, std::size_t limit) {
  char buffer[64 * 1024];
  while (stream.read(buffer, sizeof buffer) || stream.gcount() > 0) {
    const auto got = static_cast<std::size_t>(stream.gcount());
    if (out.size() + got > limit)
      throw StreamError(fmt::format("SWF movie is larger than the limit of {} bytes", limit));
    out.append(buffer, got);
  }
}

// Inflates exactly `want` bytes from the rest of stream. The output grows with the data that
// really arrives, never with what the header claims. Errors quote `claimed`, the header's own
// number, since `want` may be the reader's cap rather than anything the file says.
std::string InflateExactly(std::istream& stream, std::uint64_t want, std::uint64_t claimed) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw StreamError("zlib could not start");
  const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);

  std::string out;
  char in[64 * 1024];
  char chunk[64 * 1024];
  bool inputDone = false;
  while (out.size() < want) {
    if (z.avail_in == 0 && !inputDone) {
      stream.read(in, sizeof in);
      z.next_in = reinterpret_cast<Bytef*>(in);
      z.avail_in = static_cast<uInt>(stream.gcount());
      inputDone = z.avail_in == 0;
    }
    const std::size_t room =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, want - out.size()));
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = static_cast<uInt>(room);
    const int rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = room - z.avail_out;
    out.append(chunk, produced);
    if (rc == Z_STREAM_END && out.size() < want)
      throw StreamError(fmt::format("SWF compressed data ends after {} of the {} bytes its header claims",
                                    out.size(), claimed));
    if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT || rc == Z_MEM_ERROR)
      throw StreamError(fmt::format("SWF compressed data is damaged after {} bytes: {}", out.size(),
                                    z.msg ? z.msg : "invalid data"));
    if (rc == Z_BUF_ERROR && inputDone)
      throw StreamError(
          fmt::format("SWF compressed data is truncated after {} of the {} bytes its header claims",
                      out.size(), claimed));
  }
  return out;
}

}  // namespace

SwfStreamReader::SwfStreamReader(const std::filesystem::path& fileName) {
  if (!fileName.empty()) Load(fileName);
}

void SwfStreamReader::Load(const std::filesystem::path& fileName, Extent extent) {
  // A FIFO or a device would hold the open, or the read, for as long as it likes.
  std::error_code ec;
  if (const auto status = std::filesystem::status(fileName, ec);
      !ec && status.type() != std::filesystem::file_type::regular)
    throw StreamError(fmt::format("{}: not a regular file", fileName.string()));
  std::ifstream stream(fileName, std::ios::binary);
  if (!stream) throw StreamError(fmt::format("{}: cannot open", fileName.string()));
  try {
    LoadFromStream(stream, extent);
  } catch (const StreamError& e) {
    throw StreamError(fmt::format("{}: {}", fileName.string(), e.what()));
  }
}

bool SwfStreamReader::CheckSignature(std::istream& stream) {
  stream.seekg(0, std::ios::end);
  const auto size = static_cast<std::streamoff>(stream.tellg());
  valid_ = false;
  compressed_ = false;
  if (size >= 4) {
    char sig[3];
    stream.seekg(0);
    stream.read(sig, 3);
    signature_.assign(sig, 3);
    valid_ = signature_ == "FWS" || signature_ == "CWS";
    compressed_ = signature_ == "CWS";
  }
  stream.clear();
  return valid_;
}

void SwfStreamReader::ReadHeader(std::streambuf& stream, int mode) {
  BitsEngine bits(stream);
  if (mode == 0 || mode == 1) {
    for (auto& b : header_) b = bits.ReadByte();
    fileLength_ = static_cast<std::uint32_t>(header_[4]) | static_cast<std::uint32_t>(header_[5]) << 8 |
                  static_cast<std::uint32_t>(header_[6]) << 16 | static_cast<std::uint32_t>(header_[7]) << 24;
  }
  if (mode == 0 || mode == 2) {
    const int n = static_cast<int>(bits.ReadBits(5));
    rect_.xMin = bits.ReadSignedBits(n);
    rect_.xMax = bits.ReadSignedBits(n);
    rect_.yMin = bits.ReadSignedBits(n);
    rect_.yMax = bits.ReadSignedBits(n);
    bits.FlushBits(false);
    frameRate_ = bits.ReadWord();
    frameCount_ = bits.ReadWord();
  }
}

void SwfStreamReader::LoadFromStream(std::istream& stream, Extent extent) {
  if (!CheckSignature(stream)) return;
  stream.seekg(0);
  body_.clear();
  if (compressed_) {
    ReadHeader(*stream.rdbuf(), 1);
    if (fileLength_ < 8)
      throw StreamError(
          fmt::format("SWF header claims a file length of {}, shorter than the header", fileLength_));
    // The RECT is at most 17 bytes, the frame rate and count 4 more.
    constexpr std::uint64_t kHeaderRest = 21;
    const std::uint64_t claimed = fileLength_ - 8u;
    const std::uint64_t want = extent == Extent::Header ? std::min(claimed, kHeaderRest) : claimed;
    if (want > static_cast<std::uint64_t>(kMaxSwfLength)) {
      // Inflate up to the limit first: a short stream is reported as damaged, not as too large.
      InflateExactly(stream, static_cast<std::uint64_t>(kMaxSwfLength) + 1, want);
      throw StreamError(fmt::format("SWF movie is larger than the limit of {} bytes", kMaxSwfLength));
    }
    std::string memory = InflateExactly(stream, want, claimed);
    ViewBuf view(memory);
    ReadHeader(view, 2);
    memory.erase(0, view.Consumed());
    if (extent == Extent::Movie) body_ = std::move(memory);
  } else {
    ReadHeader(*stream.rdbuf(), 0);
    if (extent == Extent::Movie) AppendRest(stream, body_, static_cast<std::size_t>(kMaxSwfLength));
  }
}

int SwfStreamReader::Width() const {
  return static_cast<int>((static_cast<std::int64_t>(rect_.xMax) - rect_.xMin) / 20);
}

int SwfStreamReader::Height() const {
  return static_cast<int>((static_cast<std::int64_t>(rect_.yMax) - rect_.yMin) / 20);
}

SwfSize GetSwfSize(const std::filesystem::path& path, Notifier& notifier) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    notifier.Notify(path.string() + " do not exist.");
    return {};
  }
  if (Lower(path.extension().string()) != ".swf") {
    notifier.Notify(path.string() + " is not a SWF File.");
    return {};
  }
  SwfStreamReader reader;
  reader.Load(path, SwfStreamReader::Extent::Header);
  return {reader.Width(), reader.Height()};
}

}  // namespace pagewend::swf
