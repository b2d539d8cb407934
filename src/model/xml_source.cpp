#include "model/xml_source.h"
#include "support/text.h"

#include <fmt/format.h>
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

namespace pagewend::model {
namespace {

bool HasBom(std::string_view b) {
  auto starts = [&](std::string_view prefix) { return b.substr(0, prefix.size()) == prefix; };
  using namespace std::string_view_literals;
  return starts("\xEF\xBB\xBF"sv) || starts("\xFE\xFF"sv) || starts("\xFF\xFE"sv) ||
         starts("\x00\x00\xFE\xFF"sv);
}

// Converts with iconv; `replace` turns unconvertible characters into '?' instead of failing.
std::string Iconv(std::string_view in, const std::string& from, const std::string& to, bool replace) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) throw XmlError(fmt::format("Unsupported encoding: {}", from));
  const std::unique_ptr<void, int (*)(iconv_t)> guard(cd, iconv_close);
  std::string out;
  std::vector<char> buffer(std::max<std::size_t>(4096, in.size() * 4));
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buffer.data();
    std::size_t dstLeft = buffer.size();
    const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer.data(), buffer.size() - dstLeft);
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    if (!replace)
      throw XmlError(fmt::format("The document is not valid {} at byte {}", from, in.size() - srcLeft));
    // Skip one unconvertible input character: a whole UTF-8 sequence.
    std::size_t skip = 1;
    while (skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) ++skip;
    src += skip;
    srcLeft -= skip;
    out += '?';
  }
  return out;
}

int MaxDepth(const pugi::xml_node& root) {
  int depth = 0, deepest = 0;
  pugi::xml_node node = root.first_child();
  if (!node) return 0;
  depth = 1;
  while (node) {
    deepest = std::max(deepest, depth);
    if (node.first_child()) {
      node = node.first_child();
      ++depth;
      continue;
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      --depth;
      if (node == root) return deepest;
    }
    if (node) node = node.next_sibling();
  }
  return deepest;
}

}  // namespace

std::string DeclaredEncoding(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (bytes.substr(0, 5) != "<?xml") return {};
  const std::size_t end = bytes.find("?>");
  const std::string_view decl = bytes.substr(0, end);
  const std::size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  std::size_t i = at + 8;
  while (i < decl.size() && std::isspace(static_cast<unsigned char>(decl[i]))) ++i;
  if (i >= decl.size() || decl[i] != '=') return {};
  ++i;
  while (i < decl.size() && std::isspace(static_cast<unsigned char>(decl[i]))) ++i;
  if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return {};
  const char quote = decl[i++];
  const std::size_t close = decl.find(quote, i);
  if (close == std::string_view::npos) return {};
  return Lower(decl.substr(i, close - i));
}

pugi::xml_document LoadXmlDocument(std::string_view bytes) {
  return LoadXmlDocument(bytes, XmlDepthCheck::kCheck);
}

pugi::xml_document LoadXmlDocument(std::string_view bytes, XmlDepthCheck depthCheck) {
  // Every start tag, comment or declaration opens with a '<' not followed by '/'. In UTF-16 and
  // UTF-32 the end tags count too: such documents may hold half as many elements.
  std::size_t tags = 0;
  for (std::size_t at = bytes.find('<'); at != std::string_view::npos; at = bytes.find('<', at + 1))
    if (at + 1 == bytes.size() || bytes[at + 1] != '/') ++tags;
  if (tags > kMaxXmlElements)
    throw XmlError(fmt::format("The document holds more than {} elements", kMaxXmlElements));
  pugi::xml_document doc;
  std::string converted;
  pugi::xml_encoding encoding = pugi::encoding_auto;
  if (!HasBom(bytes)) {
    const std::string declared = DeclaredEncoding(bytes);
    if (declared.empty() || declared == "utf-8" || declared == "utf8") {
      encoding = pugi::encoding_utf8;
    } else if (declared.rfind("utf-16", 0) == 0 || declared.rfind("utf-32", 0) == 0 ||
               declared.rfind("ucs-", 0) == 0) {
      encoding = pugi::encoding_auto;  // pugixml recognises these by their first bytes
    } else {
      converted = Iconv(bytes, declared, "UTF-8", false);
      bytes = converted;
      encoding = pugi::encoding_utf8;
    }
  }
  const pugi::xml_parse_result result =
      doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_declaration, encoding);
  if (!result)
    throw XmlError(fmt::format("XML parse error at offset {}: {}", result.offset, result.description()));
  if (depthCheck == XmlDepthCheck::kCheck && MaxDepth(doc) > kMaxXmlDepth)
    throw XmlError(fmt::format("XML elements are nested deeper than {} levels", kMaxXmlDepth));
  return doc;
}

std::optional<double> ParseDecimal(std::string_view text, char separator) {
  std::string copy(text);
  if (separator != '.') {
    if (copy.find('.') != std::string::npos) return std::nullopt;
    std::replace(copy.begin(), copy.end(), separator, '.');
  }
  std::string_view view = copy;
  if (!view.empty() && view.front() == '+') view.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (view.empty() || ec != std::errc() || end != view.data() + view.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::string FormatDecimal(double value, char separator) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string out(buffer, ec == std::errc() ? end : buffer);
  if (separator != '.') std::replace(out.begin(), out.end(), '.', separator);
  return out;
}

std::string FormatGeneral15(double value, char separator) {
  if (value == 0 || !std::isfinite(value)) return value == 0 ? "0" : FormatDecimal(value, separator);
  char buffer[64];
  // d.dddddddddddddde±XX: the 15 significant digits and the decimal exponent.
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const bool negative = text.front() == '-';
  const std::size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(negative ? 1 : 0, e - (negative ? 1 : 0)))
    if (c != '.') digits += c;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int exponent = ParseInteger<int>(text.substr(e + 1)).value_or(0);

  // Appended piece by piece: GCC 12 at -O3 misreads temporaries joined with + as overlapping copies.
  std::string out = negative ? "-" : "";
  const auto count = static_cast<int>(digits.size());
  if (exponent < -4 || exponent >= 15) {
    out += digits.front();
    if (count > 1) {
      out += separator;
      out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent < 0) {
    out += '0';
    out += separator;
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  } else if (count <= exponent + 1) {
    out += digits;
    out.append(static_cast<std::size_t>(exponent + 1 - count), '0');
  } else {
    const auto point = static_cast<std::size_t>(exponent + 1);
    out.append(digits, 0, point);
    out += separator;
    out.append(digits, point);
  }
  return out;
}

bool IsUtf8CodePage(std::string_view codePage) {
  return EqualsIgnoringCase(codePage, "UTF-8") || EqualsIgnoringCase(codePage, "UTF8");
}

std::string Narrow8Bit(std::string_view utf8, const std::string& codePage) {
  if (IsUtf8CodePage(codePage)) return std::string(utf8);
  return Iconv(Iconv(utf8, "UTF-8", codePage, true), codePage, "UTF-8", false);
}

}  // namespace pagewend::model
