#pragma once

#include <pugixml.hpp>

#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pagewend::model {

// A document that cannot be parsed; the message says where and why.
class XmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses a whole document with the encoding the document itself names: a byte-order mark
// (UTF-8, UTF-16, UTF-32), else the declaration's encoding (windows-1252, ISO-8859-1 and any
// other character set iconv knows are converted to UTF-8 first), else UTF-8. Element text
// and attribute values come out as UTF-8. Throws XmlError for malformed XML, an unknown
// encoding, elements nested deeper than kMaxXmlDepth or more than kMaxXmlElements of them.
inline constexpr int kMaxXmlDepth = 256;
// Every element costs the parsed tree and the model built from it about half a KiB, so the
// count is bounded before anything is parsed: far above the largest book's documents, and
// well under a GiB whatever the document's 64 MiB hold.
inline constexpr std::size_t kMaxXmlElements = 500'000;
pugi::xml_document LoadXmlDocument(std::string_view bytes);

// The depth walk is a pass over every node of the document. A reader whose recursion is
// bounded by its own model, not by the document's nesting, may skip it.
enum class XmlDepthCheck { kCheck, kSkip };
pugi::xml_document LoadXmlDocument(std::string_view bytes, XmlDepthCheck depthCheck);

// The encoding named by the declaration, lower-cased, or empty when there is none.
std::string DeclaredEncoding(std::string_view bytes);

// Locale-free conversions shared by both models' property tables.
// A decimal integer of type Int (optional sign, no spaces, in Int's range), or nothing.
template <class Int>
std::optional<Int> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  Int value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}
inline std::optional<std::int32_t> ParseInt32(std::string_view text) {
  return ParseInteger<std::int32_t>(text);
}
// A decimal fraction written with the given separator ("1.5" or "1,5"), optional sign and
// exponent, or nothing.
std::optional<double> ParseDecimal(std::string_view text, char separator);
// The shortest text that reads back as the same double, with the given separator.
std::string FormatDecimal(double value, char separator);
// The general format of the book's own writer: 15 significant digits, trailing zeros dropped,
// fixed notation for decimal exponents from -4 to 14 ("0.3", "0.0001", "123456789012345") and
// otherwise a mantissa, "E" and the exponent ("1E-5", "1.5E20"). Reads back through
// ParseDecimal.
std::string FormatGeneral15(double value, char separator);

// Whether a code page name ("UTF-8", "utf8", ...) names UTF-8, where narrowing changes nothing.
bool IsUtf8CodePage(std::string_view codePage);
// UTF-8 text converted to an 8-bit code page (iconv name); characters the code page lacks
// become '?'. The result is converted back to UTF-8 so callers keep one text form.
std::string Narrow8Bit(std::string_view utf8, const std::string& codePage);

}  // namespace pagewend::model
