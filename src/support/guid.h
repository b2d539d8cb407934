#pragma once

#include <string>

namespace pagewend {

// A new random (version 4) GUID in its standard text form, braces included:
// "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}" in upper-case hex.
std::string NewGuidText();

}  // namespace pagewend
