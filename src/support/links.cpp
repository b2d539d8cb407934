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

}  // namespace pagewend
