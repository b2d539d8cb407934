#include "paths/run_folder.h"

#include <sys/stat.h>

#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "paths/file_names.h"
#include "support/guid.h"

namespace pagewend {

namespace fs = std::filesystem;

namespace layout {

std::span<const std::string_view> Folders() {
  static constexpr std::array<std::string_view, 12> kFolders = {kFiles,      kScripts, kRes,    kDownloads,
                                                                kNavbar,     kNavbtn,  kOther,  kPages,
                                                                kThumbnails, kMobile,  kSounds, kLanguages};
  return kFolders;
}

fs::path PageThumbnail(std::size_t index) {
  return fs::path(kThumbnails) / fmt::format("thumb_{}.png", index);
}

fs::path MobileImage(std::size_t index, std::string_view extension) {
  return fs::path(kMobile) / fmt::format("page{:04d}_i1{}", index + 1, extension);
}

fs::path PhotoThumbnail(std::size_t index, std::string_view extension) {
  return fs::path(kPages) / fmt::format("thumb_{:04d}{}", index + 1, extension);
}

bool InLogFolder(std::string_view name) {
  const auto below = JoinInside({}, name);
  return below && !below->empty() && *below->begin() == kLogFolderName;
}

std::optional<fs::path> InFiles(std::string_view name) {
  // Records and the run log share F; a record named after the log would overwrite it.
  if (InLogFolder(name)) return std::nullopt;
  return JoinInside(kFiles, name);
}

}  // namespace layout

RunFolder RunFolder::NewRun() { return RunFolder(fs::temp_directory_path() / NewGuidText()); }

RunFolder RunFolder::At(const fs::path& folder) {
  fs::path absolute = fs::absolute(folder).lexically_normal();
  if (!absolute.has_filename()) absolute = absolute.parent_path();
  return RunFolder(std::move(absolute));
}

FolderRoot RunFolder::Create() const {
  if (::mkdir(root_.c_str(), 0700) != 0 && errno != EEXIST) {
    const int error = errno;
    throw FileError(
        fmt::format("{}: cannot make the working folder: {}", root_.string(), std::strerror(error)), error);
  }
  FolderRoot root(root_);
  for (const std::string_view folder : layout::Folders()) {
    try {
      root.MakeFolders(folder);
    } catch (const FileError&) {
    }
  }
  return root;
}

}  // namespace pagewend
