#pragma once

#include <string>
#include <string_view>

#include "support/text.h"

// Text from a book, made safe for the place in a web page where it lands. Every function first
// replaces bytes that are not valid UTF-8 with U+FFFD, so that no malformed sequence can let a
// browser read past an escape.
namespace pagewend::web {

// For HTML text and for double- or single-quoted attribute values: & < > " ' as references.
std::string EscapeHtml(std::string_view text);

// A JSON string, quotes included, that may also stand inside an HTML <script> block: besides
// JSON's own escapes, < > & and the line separators U+2028 and U+2029 (which older JavaScript
// parsers take as line ends) are written as \u escapes, so "</script>" or "<!--" never appear.
std::string JsonString(std::string_view text);

}  // namespace pagewend::web
