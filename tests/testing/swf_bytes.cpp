#include "testing/swf_bytes.h"

#include <zlib.h>

#include <sstream>
#include <stdexcept>

namespace pagewend::testing {

std::string MakeSwf(const swf::SwfRect& rect, std::uint16_t frameRate, std::uint16_t frameCount,
                    bool compressed, const std::string& body, std::uint32_t fileLength) {
  std::stringbuf rest;
  swf::BitsEngine bits(rest);
  bits.WriteRect(rect);
  bits.WriteWord(frameRate);
  bits.WriteWord(frameCount);
  std::string tail = rest.str() + body;
  if (fileLength == 0) fileLength = static_cast<std::uint32_t>(tail.size() + 8);

  std::string out = compressed ? "CWS" : "FWS";
  out += static_cast<char>(10);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((fileLength >> (8 * i)) & 0xFF);
  if (!compressed) return out + tail;

  uLongf size = compressBound(static_cast<uLong>(tail.size()));
  std::string packed(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(tail.data()),
                static_cast<uLong>(tail.size()), 9) != Z_OK)
    throw std::runtime_error("compress2 failed");
  packed.resize(size);
  return out + packed;
}

}  // namespace pagewend::testing
