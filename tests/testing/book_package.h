#pragma once

#include <filesystem>
#include <string>

#include "package/package_format.h"

namespace pagewend::testing {

// Attribute text for a reference: pos_SUFFIX="..." size_SUFFIX="...".
std::string RefAttrs(const package::RecordRef& ref, const std::string& suffix = "");
// Element text for a section's reference: <pos_>...</pos_><size_>...</size_>.
std::string RefElements(const package::RecordRef& ref);

// A JPEG or PNG (by extension) of the given size in one colour.
std::string ImageBytes(int width, int height, const std::string& extension);

}  // namespace pagewend::testing
