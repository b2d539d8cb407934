#include "swf/bits_engine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace pagewend::swf {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

TEST(BitsEngine, ReadsBitsMostSignificantFirstAcrossBytes) {
  std::stringbuf buf(Bytes({0b10110011, 0b01011100, 0xFF}));
  BitsEngine bits(buf);
  EXPECT_EQ(bits.ReadBits(3), 0b101u);
  EXPECT_EQ(bits.ReadBits(7), 0b1001101u);  // 5 bits of the first byte, 2 of the second
  EXPECT_EQ(bits.ReadBits(0), 0u);
  EXPECT_EQ(bits.ReadBits(-4), 0u);
  EXPECT_EQ(bits.ReadBits(6), 0b011100u);
  EXPECT_EQ(bits.ReadByte(), 0xFF);
}

TEST(BitsEngine, SignExtendsOnlyWhenTheTopBitIsSet) {
  std::stringbuf buf(Bytes({0b11111011, 0b11100000}));
  BitsEngine bits(buf);
  EXPECT_EQ(bits.ReadSignedBits(5), -1);
  EXPECT_EQ(bits.ReadSignedBits(5), 15);  // 01111
  EXPECT_EQ(bits.ReadSignedBits(1), -1);  // a lone set bit is -1
}

TEST(BitsEngine, ReadsThirtyTwoBitsAndWords) {
  std::stringbuf buf(Bytes({0x80, 0x00, 0x00, 0x01, 0x34, 0x12}));
  BitsEngine bits(buf);
  EXPECT_EQ(bits.ReadBits(32), 0x80000001u);
  EXPECT_EQ(bits.ReadWord(), 0x1234);
}

TEST(BitsEngine, ReadingPastTheEndThrows) {
  std::stringbuf buf(Bytes({0x01}));
  BitsEngine bits(buf);
  EXPECT_EQ(bits.ReadBits(4), 0u);
  EXPECT_THROW(bits.ReadBits(8), StreamError);
}

TEST(BitsEngine, FlushAlignsTheReaderToTheNextByte) {
  std::stringbuf buf(Bytes({0b11100000, 0x42}));
  BitsEngine bits(buf);
  EXPECT_EQ(bits.ReadBits(3), 0b111u);
  bits.FlushBits(false);
  EXPECT_EQ(bits.ReadByte(), 0x42);
}

TEST(BitsEngine, RectOfFieldWidthZeroIsOneByte) {
  std::stringbuf buf(Bytes({0x00, 0x7A}));
  BitsEngine bits(buf);
  EXPECT_EQ(bits.ReadRect(), SwfRect{});
  EXPECT_EQ(bits.ReadByte(), 0x7A);
}

TEST(BitsEngine, WritesWholeBytesAsSoonAsTheyAreComplete) {
  std::stringbuf buf;
  BitsEngine bits(buf);
  bits.WriteBits(0b101, 3);
  EXPECT_EQ(buf.str().size(), 0u);
  bits.WriteBits(0b11111, 5);
  EXPECT_EQ(buf.str(), Bytes({0b10111111}));
  bits.WriteBits(0xABC, 12);  // one byte out, four bits held
  EXPECT_EQ(buf.str(), Bytes({0b10111111, 0xAB}));
  bits.FlushBits(true);
  EXPECT_EQ(buf.str(), Bytes({0b10111111, 0xAB, 0xC0}));
  bits.WriteBits(0x1FF, 3);  // only the low bits count
  bits.FlushBits(false);     // dropped, not written
  EXPECT_EQ(buf.str().size(), 3u);
  bits.WriteByteBits(0x3AB, 8);  // WriteByteBits keeps the low 8 bits
  EXPECT_EQ(static_cast<unsigned char>(buf.str().back()), 0xAB);
}

TEST(BitsEngine, WriteThenReadRoundTripsEveryWidth) {
  std::stringbuf buf;
  BitsEngine writer(buf);
  std::uint32_t seed = 12345;
  std::vector<std::pair<std::uint32_t, int>> written;
  for (int n = 1; n <= 32; ++n) {
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245u + 12345u;
      const std::uint32_t value = n == 32 ? seed : seed & ((1u << n) - 1);
      writer.WriteBits(seed, n);
      written.emplace_back(value, n);
    }
  }
  writer.FlushBits(true);
  std::stringbuf in(buf.str());
  BitsEngine reader(in);
  for (const auto& [value, n] : written) ASSERT_EQ(reader.ReadBits(n), value) << "width " << n;
}

TEST(BitsEngine, RectRoundTripsWithNegativeAndExtremeValues) {
  for (const SwfRect& rect : {SwfRect{0, 16000, 0, 9040}, SwfRect{-1, 1, -20, 0},
                              SwfRect{-1073741824, 1073741823, 0, 0}, SwfRect{}}) {
    std::stringbuf buf;
    BitsEngine writer(buf);
    writer.WriteRect(rect);
    std::stringbuf in(buf.str());
    BitsEngine reader(in);
    EXPECT_EQ(reader.ReadRect(), rect);
  }
  std::stringbuf buf;
  BitsEngine writer(buf);
  EXPECT_THROW(writer.WriteRect({INT32_MIN, 0, 0, 0}), StreamError);
}

}  // namespace
}  // namespace pagewend::swf
