#include "support/links.h"

#include "support/text.h"

namespace pagewend {

bool MayOpenOutside(std::string_view url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string scheme = Lower(url.substr(0, colon));
  const std::string_view rest = url.substr(colon + 1);
  if (scheme == "mailto") return !rest.empty();
  return (scheme == "http" || scheme == "https") && rest.starts_with("//") && rest.size() > 2;
}

std::optional<std::string> LinkToOpen(std::string_view url) {
  if (!MayOpenOutside(url)) return std::nullopt;
  if (Lower(url.substr(0, url.find(':'))) != "mailto") return std::string(url);
  const std::size_t query = url.find('?');
  std::string out(url.substr(0, query));
  if (query == std::string_view::npos) return out;
  char separator = '?';
  std::string_view fields = url.substr(query + 1);
  while (!fields.empty()) {
    const std::size_t end = fields.find('&');
    const std::string_view field = fields.substr(0, end);
    const std::string name = Lower(field.substr(0, field.find('=')));
    if (name == "to" || name == "cc" || name == "bcc" || name == "subject" || name == "body") {
      out += separator;
      out += field;
      separator = '&';
    }
    fields = end == std::string_view::npos ? std::string_view() : fields.substr(end + 1);
  }
  return out;
}

}  // namespace pagewend
