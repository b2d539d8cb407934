// The request XML that a movie sends through the call bridge, on arbitrary bytes. The movie is
// part of the book, so its requests are as much a stranger's input as the package.
#include <cstdint>
#include <string_view>

#include "player/flash_request_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const pagewend::player::FlashRequestParser parser(
      std::string_view(reinterpret_cast<const char*>(data), size));
  volatile std::size_t count = parser.GetName().size() + parser.Arguments().size();
  (void)count;
  return 0;
}
