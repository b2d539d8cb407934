#pragma once

#include <string>
#include <string_view>

namespace pagewend {

// White space off both ends ("trimmed", as the documents' file names are compared).
std::string Trim(std::string_view text);
// ASCII letters in lower case; other bytes as they are.
std::string Lower(std::string_view text);

}  // namespace pagewend
