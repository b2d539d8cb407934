// The SWF header reader on arbitrary bytes, taken as they are. An input that starts with 'Z'
// instead has the rest wrapped in a well-formed zlib stream behind a "CWS" header, so that the
// inflated header (the rectangle, frame rate and count) is reached without the fuzzer having
// to learn deflate.
#include <zlib.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "swf/swf_stream_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pagewend::swf;
  if (size == 0) return 0;
  std::string bytes;
  if (data[0] != 'Z') {
    bytes.assign(reinterpret_cast<const char*>(data), size);
  } else {
    // Byte 1: version; bytes 2..5: the claimed length (0: the true one); the rest: the body.
    const std::string tail(reinterpret_cast<const char*>(data) + std::min<std::size_t>(size, 6),
                           size - std::min<std::size_t>(size, 6));
    std::uint32_t claimed = 0;
    for (std::size_t i = 0; i < 4 && 2 + i < size; ++i)
      claimed |= static_cast<std::uint32_t>(data[2 + i]) << (8 * i);
    if (claimed == 0) claimed = static_cast<std::uint32_t>(tail.size() + 8);
    uLongf packedSize = compressBound(static_cast<uLong>(tail.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(tail.data()), static_cast<uLong>(tail.size()), 1) != Z_OK)
      return 0;
    packed.resize(packedSize);
    bytes = "CWS";
    bytes += static_cast<char>(size > 1 ? data[1] : 10);
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((claimed >> (8 * i)) & 0xFF);
    bytes += packed;
  }
  std::istringstream stream(bytes);
  SwfStreamReader reader;
  try {
    reader.LoadFromStream(stream);
    if (reader.Valid()) {
      volatile int area = reader.Width() + reader.Height();
      (void)area;
    }
  } catch (const StreamError&) {
  }
  return 0;
}
