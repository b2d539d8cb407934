#include "paths/file_names.h"

namespace pagewend {

namespace fs = std::filesystem;

std::string WinFileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string WinExtension(std::string_view path) {
  const std::string name = WinFileName(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::optional<fs::path> JoinInside(const fs::path& folder, std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return std::nullopt;
  if (name.front() == '/' || name.front() == '\\') return std::nullopt;
  if (name.size() >= 2 && name[1] == ':') return std::nullopt;  // "C:..." from the authoring machine
  fs::path out = folder;
  bool any = false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") {
      out /= std::string(part);
      any = true;
    }
    start = end + 1;
  }
  if (!any) return std::nullopt;
  return out;
}

}  // namespace pagewend
