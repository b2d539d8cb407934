#include "support/guid.h"

#include <fmt/format.h>

#include <array>
#include <cstdint>
#include <random>

namespace pagewend {

std::string NewGuidText() {
  thread_local std::mt19937 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return std::mt19937(seed);
  }();
  std::array<std::uint8_t, 16> b{};
  std::uniform_int_distribution<unsigned> byte(0, 255);
  for (auto& x : b) x = static_cast<std::uint8_t>(byte(engine));
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return fmt::format(
      "{{{:02X}{:02X}{:02X}{:02X}-{:02X}{:02X}-{:02X}{:02X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}"
      "}}",
      b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
}

}  // namespace pagewend
