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

// Text from a book made safe to print on a terminal: control characters (C0 but for tab and, with
// keepLines, newline; DEL; C1) and bytes that are not UTF-8 become U+FFFD, so that no book can
// move the cursor, set the window's title or write to the clipboard through a terminal's
// escape sequences.
std::string ForTerminal(std::string_view text, bool keepLines = false);

// text with invalid UTF-8 replaced by U+FFFD, and cut to at most maxBytes without splitting a
// character.
std::string ValidUtf8(std::string_view text, std::size_t maxBytes = std::string::npos);

// Text as it reads: runs of white space (and NUL) as one space, none at either end.
std::string Collapsed(std::string_view text);

// text with every from replaced by to, left to right; what to brings in is not looked at again.
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

}  // namespace pagewend
