#include "paths/path_getter.h"

#include <fmt/format.h>

#include <array>
#include <random>

namespace pagewend {

namespace fs = std::filesystem;

PathGetter::PathGetter(fs::path temp, std::string runName)
    : perRun_(true), temp_(std::move(temp)), runName_(std::move(runName)) {}

PathGetter PathGetter::NewRun() { return PathGetter(fs::temp_directory_path(), NewGuidText()); }

PathGetter PathGetter::AtFolder(const fs::path& workingFolder) {
  fs::path absolute = fs::absolute(workingFolder).lexically_normal();
  if (!absolute.has_filename()) absolute = absolute.parent_path();
  return PathGetter(absolute.parent_path(), absolute.filename().string());
}

fs::path PathGetter::WorkingFolder(bool withTemp) const {
  fs::path relative = perRun_ ? fs::path(runName_) / "" : fs::path("Temp/");
  return withTemp ? temp_ / relative : relative;
}

fs::path PathGetter::FilesFolder(const fs::path& base) { return base / "files/"; }

fs::path PathGetter::Folder(std::string_view relative, bool full) const {
  return full ? FilesFolder(WorkingFolder(true)) / relative : fs::path(relative);
}

fs::path PathGetter::FrameworkFile(bool full) const {
  const fs::path relative = "files/framework.swf";
  return full ? WorkingFolder(true) / relative : relative;
}

void PathGetter::CreateWorkingFolders() const {
  const fs::path w = WorkingFolder(true);
  const fs::path f = FilesFolder(w);
  for (const fs::path& folder : {w, f, f / "js", f / "res/", f / "res/downloads/", f / "res/navbar/",
                                 f / "res/navbtn/", f / "res/other/", f / "res/pages/", f / "res/thumbnails/",
                                 f / "res/mobile/", f / "res/sounds/", f / "res/languages/"}) {
    std::error_code ec;
    fs::create_directory(folder, ec);
  }
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
