#include "model/project/settings_listing.h"

#include <fmt/format.h>

#include "model/xml_source.h"

namespace pagewend::model::project {
namespace {

void ListInto(const Object& object, const std::string& prefix, std::vector<ListedSetting>& out);

void ListListInto(const ObjectList& list, const std::string& prefix, std::vector<ListedSetting>& out) {
  for (std::size_t i = 0; i < list.Count(); ++i)
    ListInto(list.Items(i), fmt::format("{}[{}].", prefix, i), out);
}

void ListInto(const Object& object, const std::string& prefix, std::vector<ListedSetting>& out) {
  for (const PropertyInfo& property : object.Properties()) {
    const PropertyValue value = object.Value(property);
    const std::string path = prefix + std::string(property.name);
    if (const auto* section = std::get_if<const Object*>(&value)) {
      ListInto(**section, path + ".", out);
    } else if (const auto* list = std::get_if<const ObjectList*>(&value)) {
      ListListInto(**list, path, out);
    } else {
      out.push_back({path, property.kind, value});
    }
  }
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    // C1 controls (U+0080..U+009F, UTF-8 C2 80..C2 9F) start escape sequences on some terminals.
    const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += fmt::format("\\u{:04X}", static_cast<unsigned>(c));
    } else if (c1) {
      out += fmt::format("\\u{:04X}", static_cast<unsigned>(static_cast<unsigned char>(text[++i])));
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

}  // namespace

std::vector<ListedSetting> ListSettings(const Object& object) {
  std::vector<ListedSetting> out;
  ListInto(object, {}, out);
  return out;
}

std::string FormatSettingValue(const PropertyValue& value, char decimalSeparator) {
  return std::visit(
      [&](const auto& v) -> std::string {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, bool>) {
          return v ? "True" : "False";
        } else if constexpr (std::is_same_v<V, double>) {
          return FormatDecimal(v, decimalSeparator);
        } else if constexpr (std::is_same_v<V, std::string_view>) {
          return Quote(v);
        } else if constexpr (std::is_pointer_v<V>) {
          return {};
        } else {
          return fmt::format("{}", v);
        }
      },
      value);
}

}  // namespace pagewend::model::project
