#include "swf/bits_engine.h"

#include <algorithm>
#include <bit>

namespace pagewend::swf {

std::uint8_t BitsEngine::ReadByte() {
  const auto c = stream_.sbumpc();
  if (c == std::streambuf::traits_type::eof()) throw StreamError("Stream read error: unexpected end of data");
  return static_cast<std::uint8_t>(c);
}

std::uint16_t BitsEngine::ReadWord() {
  const std::uint16_t low = ReadByte();
  const std::uint16_t high = ReadByte();
  return static_cast<std::uint16_t>(low | high << 8);
}

std::uint32_t BitsEngine::ReadBits(int n) {
  if (n < 1) return 0;
  std::uint64_t result = 0;
  while (n > held_) {
    result |= static_cast<std::uint64_t>(partial_) << (n - held_);
    n -= held_;
    partial_ = ReadByte();
    held_ = 8;
  }
  result |= static_cast<std::uint64_t>(partial_ >> (held_ - n));
  held_ -= n;
  partial_ = static_cast<std::uint8_t>(partial_ & ((1u << held_) - 1));
  return static_cast<std::uint32_t>(result);
}

std::int32_t BitsEngine::ReadSignedBits(int n) {
  std::uint32_t value = ReadBits(n);
  if (n >= 1 && n < 32 && (value >> (n - 1)) & 1u) value |= ~((1u << n) - 1);
  return static_cast<std::int32_t>(value);
}

SwfRect BitsEngine::ReadRect() {
  const int n = static_cast<int>(ReadBits(5));
  SwfRect rect;
  rect.xMin = ReadSignedBits(n);
  rect.xMax = ReadSignedBits(n);
  rect.yMin = ReadSignedBits(n);
  rect.yMax = ReadSignedBits(n);
  FlushBits(false);
  return rect;
}

void BitsEngine::WriteByte(std::uint8_t value) {
  if (stream_.sputc(static_cast<char>(value)) == std::streambuf::traits_type::eof())
    throw StreamError("Stream write error");
}

void BitsEngine::WriteWord(std::uint16_t value) {
  WriteByte(static_cast<std::uint8_t>(value & 0xFF));
  WriteByte(static_cast<std::uint8_t>(value >> 8));
}

void BitsEngine::WriteBits(std::uint32_t value, int n) {
  if (n <= 0) return;
  const std::uint64_t v = n >= 32 ? value : value & ((1u << n) - 1);
  const int t = n + held_;
  if (t <= 7) {
    partial_ = static_cast<std::uint8_t>(static_cast<std::uint64_t>(partial_) << n | v);
    held_ = t;
    return;
  }
  const int r = t % 8;
  std::uint64_t word;
  if (r != 0) {
    word = (static_cast<std::uint64_t>(partial_) << (n - r)) + (v >> r);
    partial_ = static_cast<std::uint8_t>(value & ((1u << r) - 1));
    held_ = r;
  } else {
    word = (static_cast<std::uint64_t>(partial_) << n) + v;
    partial_ = 0;
    held_ = 0;
  }
  for (int i = t / 8 - 1; i >= 0; --i) WriteByte(static_cast<std::uint8_t>(word >> (8 * i)));
}

void BitsEngine::FlushBits(bool pad) {
  if (held_ > 0 && pad) WriteByte(static_cast<std::uint8_t>(partial_ << (8 - held_)));
  partial_ = 0;
  held_ = 0;
}

void BitsEngine::WriteRect(const SwfRect& rect) {
  // Signed width of a value: its significant bits plus one for the sign.
  auto width = [](std::int32_t v) -> int {
    const auto u = static_cast<std::uint32_t>(v < 0 ? ~v : v);
    if (u == 0) return v < 0 ? 1 : 0;
    return static_cast<int>(std::bit_width(u)) + 1;
  };
  const int n = std::max({width(rect.xMin), width(rect.xMax), width(rect.yMin), width(rect.yMax)});
  if (n > 31) throw StreamError("a rectangle value needs more than the 31 bits a RECT field can hold");
  WriteBits(static_cast<std::uint32_t>(n), 5);
  for (std::int32_t v : {rect.xMin, rect.xMax, rect.yMin, rect.yMax})
    WriteBits(static_cast<std::uint32_t>(v), n);
  FlushBits(true);
}

}  // namespace pagewend::swf
