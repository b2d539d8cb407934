#pragma once

#include <cstdint>
#include <string>

#include "swf/bits_engine.h"

namespace pagewend::testing {

// The bytes of a movie with the given header fields and body; compressed makes it "CWS".
// fileLength 0 means the true length.
std::string MakeSwf(const swf::SwfRect& rect, std::uint16_t frameRate, std::uint16_t frameCount,
                    bool compressed, const std::string& body = {}, std::uint32_t fileLength = 0);

}  // namespace pagewend::testing
