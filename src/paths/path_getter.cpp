#include "paths/path_getter.h"

#include <sys/stat.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>

#include "paths/file_names.h"
#include "support/guid.h"

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
  const fs::path relative = FilesFolder({}) / "framework.swf";
  return full ? WorkingFolder(true) / relative : relative;
}

fs::path PathGetter::StartMovie(bool full) const {
  const fs::path relative = FilesFolder({}) / "book.swf";
  return full ? WorkingFolder(true) / relative : relative;
}

fs::path PathGetter::KeptBookDocument(bool full) const {
  const fs::path relative = FilesFolder({}) / "book.xml";
  return full ? WorkingFolder(true) / relative : relative;
}

fs::path PathGetter::LogFolder(const fs::path& base) { return base / "Log/"; }

fs::path PathGetter::RunLogFile() const { return LogFolder(FilesFolder(WorkingFolder(true))) / "log1.txt"; }

bool PathGetter::InLogFolder(std::string_view name) {
  const auto below = JoinInside({}, name);
  return below && !below->empty() && *below->begin() == LogFolder({}).parent_path();
}

std::optional<fs::path> PathGetter::InFilesFolder(std::string_view name) {
  // Records and the run log share F; a record named after the log would overwrite it.
  if (InLogFolder(name)) return std::nullopt;
  return JoinInside(FilesFolder({}), name);
}

FolderRoot PathGetter::CreateWorkingFolders() const {
  const fs::path w = WorkingFolder(true);
  if (::mkdir(w.c_str(), 0700) != 0 && errno != EEXIST) {
    const int error = errno;
    throw FileError(fmt::format("{}: cannot make the working folder: {}", w.string(), std::strerror(error)),
                    error);
  }
  FolderRoot root(w);
  for (const fs::path& folder :
       {fs::path("js"), ResFolder(false), DownloadsFolder(false), NavbarFolder(false), NavbtnFolder(false),
        OtherFolder(false), PagesFolder(false), ThumbnailsFolder(false), MobileFolder(false),
        SoundsFolder(false), LanguagesFolder(false)}) {
    try {
      root.MakeFolders(FilesFolder({}) / folder);
    } catch (const FileError&) {
    }
  }
  return root;
}

}  // namespace pagewend
