#pragma once

#include <string_view>

// The page-turner's script and style, compiled in from src/web/assets so that the tool carries
// everything a web book needs.
namespace pagewend::web {

std::string_view TurnerScript();
std::string_view TurnerStyle();

}  // namespace pagewend::web
