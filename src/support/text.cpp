#include "support/text.h"

#include <algorithm>
#include <cctype>

namespace pagewend {

std::string Trim(std::string_view text) {
  auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string ForTerminal(std::string_view text, bool keepLines) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      const bool control = byte < 0x20 || byte == 0x7F;
      if (!control || byte == '\t' || (keepLines && byte == '\n'))
        out += static_cast<char>(byte);
      else
        out += kReplacement;
      ++i;
      continue;
    }
    // One UTF-8 sequence: its length from the lead byte, its continuation bytes, and no overlong
    // form, surrogate or code point past U+10FFFF.
    const std::size_t length = byte >= 0xF0 && byte <= 0xF4  ? 4
                               : byte >= 0xE0                ? 3
                               : byte >= 0xC2 && byte < 0xE0 ? 2
                                                             : 0;
    char32_t code = length == 4 ? byte & 0x07u : length == 3 ? byte & 0x0Fu : byte & 0x1Fu;
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (valid)
      valid = (length != 3 || (code >= 0x800 && (code < 0xD800 || code > 0xDFFF))) &&
              (length != 4 || (code >= 0x10000 && code <= 0x10FFFF));
    if (valid) {
      // A C1 control is one character, and one replacement.
      if (code >= 0x80 && code < 0xA0)
        out += kReplacement;
      else
        out.append(text.substr(i, length));
      i += length;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

}  // namespace pagewend
