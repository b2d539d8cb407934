#pragma once

#include <string>
#include <string_view>

namespace pagewend {

// White space off both ends ("trimmed", as the documents' file names are compared).
std::string Trim(std::string_view text);
// ASCII letters in lower case; other bytes as they are.
std::string Lower(std::string_view text);
// Equal once ASCII letters are in one case (locale-free: it serves names on hot paths).
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

}  // namespace pagewend
