#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>

#include "support/notifier.h"
#include "swf/bits_engine.h"

namespace pagewend::swf {

// The most a movie may hold once inflated. A compressed header may claim up to 4 GiB; memory
// follows the data actually inflated, and stops here.
inline constexpr std::int64_t kMaxSwfLength = 256 << 20;

// Reads the header of an SWF movie (plain "FWS" or zlib-compressed "CWS") and keeps the rest
// of the uncompressed file as the body. A file that is not an SWF by its signature leaves the
// reader invalid with zero sizes; a damaged or truncated movie throws StreamError.
class SwfStreamReader {
 public:
  SwfStreamReader() = default;
  explicit SwfStreamReader(const std::filesystem::path& fileName);

  // What to read: the whole movie into Body(), or the header alone (for a compressed movie the
  // few bytes up to the frame count are inflated, however large the movie).
  enum class Extent { Movie, Header };
  void Load(const std::filesystem::path& fileName, Extent extent = Extent::Movie);
  void LoadFromStream(std::istream& stream, Extent extent = Extent::Movie);

  // Stage size in pixels (twips / 20, truncated).
  int Width() const;
  int Height() const;

  bool Valid() const { return valid_; }
  bool Compressed() const { return compressed_; }
  const std::string& Signature() const { return signature_; }
  std::uint8_t Version() const { return header_[3]; }
  const std::array<std::uint8_t, 8>& HeaderBytes() const { return header_; }
  std::uint32_t FileLength() const { return fileLength_; }
  const SwfRect& Rect() const { return rect_; }
  // Raw 8.8 fixed-point value; the integer part is the high byte.
  std::uint16_t FrameRate() const { return frameRate_; }
  std::uint16_t FrameCount() const { return frameCount_; }
  std::string& Body() { return body_; }

 private:
  bool CheckSignature(std::istream& stream);
  // mode 0: header bytes, then RECT, frame rate and count; 1: header bytes only; 2: RECT, rate
  // and count only.
  void ReadHeader(std::streambuf& stream, int mode);

  std::string signature_;
  bool valid_ = false;
  bool compressed_ = false;
  std::array<std::uint8_t, 8> header_{};
  std::uint32_t fileLength_ = 0;
  SwfRect rect_;
  std::uint16_t frameRate_ = 0;
  std::uint16_t frameCount_ = 0;
  std::string body_;
};

struct SwfSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const SwfSize&, const SwfSize&) = default;
};

// The stage size of the movie at path, from its header alone. A missing file or one without the
// ".swf" extension (any case) is told to the notifier and gives 0 × 0.
SwfSize GetSwfSize(const std::filesystem::path& path, Notifier& notifier);

}  // namespace pagewend::swf
