#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagewend {

// Names as a package stores them: written on Windows, so "\" and "/" both separate.

// The part after the last "\" or "/".
std::string WinFileName(std::string_view path);
// The extension of WinFileName(path), from its last "." and with the dot; empty when there is none.
std::string WinExtension(std::string_view path);

// The parts of a name from a package below its folder: "\" and "/" both separate, "." and empty
// parts are dropped. Nothing when the name is empty, absolute (a leading separator or a drive
// letter), holds a NUL, or climbs with "..".
std::optional<std::vector<std::string>> PartsInside(std::string_view name);

// The path that a name from a package becomes below folder: "\" and "/" both separate, "." and
// empty parts are dropped. Nothing when the name is empty, absolute (a leading separator or a
// drive letter), or climbs with "..": such a name must not be written anywhere.
std::optional<std::filesystem::path> JoinInside(const std::filesystem::path& folder, std::string_view name);

}  // namespace pagewend
