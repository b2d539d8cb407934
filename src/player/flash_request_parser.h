#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagewend::player {

// Reads one ExternalInterface request of the movie: <invoke name="..."><arguments>...</arguments>
// </invoke>. Never throws: whatever cannot be read is left empty.
class FlashRequestParser {
 public:
  explicit FlashRequestParser(std::string_view request);

  // The invoke element's name attribute; empty without one.
  const std::string& GetName() const { return name_; }
  // The text of each child of arguments, in order; the element names (the value types) are
  // dropped.
  const std::vector<std::string>& Arguments() const { return arguments_; }

 private:
  std::string name_;
  std::vector<std::string> arguments_;
};

}  // namespace pagewend::player
