#pragma once

#include <cstdint>
#include <stdexcept>
#include <streambuf>

namespace pagewend::swf {

// Reading past the end of a stream, or a stream that refuses a byte.
class StreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SwfRect {
  std::int32_t xMin = 0;
  std::int32_t xMax = 0;
  std::int32_t yMin = 0;
  std::int32_t yMax = 0;
  friend bool operator==(const SwfRect&, const SwfRect&) = default;
};

// Bit-level reading and writing over a byte stream, most significant bit first, as SWF stores
// its packed fields. The stream is not owned.
class BitsEngine {
 public:
  explicit BitsEngine(std::streambuf& stream) : stream_(stream) {}

  std::uint8_t ReadByte();
  std::uint16_t ReadWord();       // little-endian
  std::uint32_t ReadBits(int n);  // n < 1 gives 0
  std::int32_t ReadSignedBits(int n);
  SwfRect ReadRect();

  void WriteBits(std::uint32_t value, int n);
  void WriteByteBits(std::uint32_t value, int n) { WriteBits(value & 0xFFu, n); }
  // Pads the partial byte with zero bits and writes it (pad), or drops it; either way the next
  // read or write starts on a byte boundary.
  void FlushBits(bool pad);

  void WriteByte(std::uint8_t value);
  void WriteWord(std::uint16_t value);  // little-endian
  void WriteRect(const SwfRect& rect);  // the smallest field width that holds all four values

 private:
  std::streambuf& stream_;
  std::uint8_t partial_ = 0;
  int held_ = 0;
};

}  // namespace pagewend::swf
