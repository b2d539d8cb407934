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

std::optional<std::vector<std::string>> PartsInside(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return std::nullopt;
  if (name.front() == '/' || name.front() == '\\') return std::nullopt;
  if (name.size() >= 2 && name[1] == ':') return std::nullopt;  // "C:..." from the authoring machine
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") parts.emplace_back(part);
    start = end + 1;
  }
  if (parts.empty()) return std::nullopt;
  return parts;
}

std::optional<fs::path> JoinInside(const fs::path& folder, std::string_view name) {
  const auto parts = PartsInside(name);
  if (!parts) return std::nullopt;
  fs::path out = folder;
  for (const std::string& part : *parts) out /= part;
  return out;
}

}  // namespace pagewend
