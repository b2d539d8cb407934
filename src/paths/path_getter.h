#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "support/folder_root.h"

namespace pagewend {

// The folders of one run: the working folder W (the system temporary folder + a run name), its
// files folder F = W/files/, and the resource folders below F. One object per run, so a process
// may unpack several books at once.
class PathGetter {
 public:
  // Before a run is fixed the working folder is the relative "Temp/".
  PathGetter() = default;
  // W = temp / runName.
  PathGetter(std::filesystem::path temp, std::string runName);
  // A new run under the system temporary folder, named by a new GUID.
  static PathGetter NewRun();
  // A run whose working folder is the given folder (made absolute).
  static PathGetter AtFolder(const std::filesystem::path& workingFolder);

  bool PerRun() const { return perRun_; }
  // With the temporary folder in front (the full path) or without it; always ends in "/".
  std::filesystem::path WorkingFolder(bool withTemp) const;
  static std::filesystem::path FilesFolder(const std::filesystem::path& base);

  // Relative to F, or (full) below this run's F.
  std::filesystem::path ResFolder(bool full) const { return Folder("res/", full); }
  std::filesystem::path PagesFolder(bool full) const { return Folder("res/pages/", full); }
  std::filesystem::path ThumbnailsFolder(bool full) const { return Folder("res/thumbnails/", full); }
  std::filesystem::path OtherFolder(bool full) const { return Folder("res/other/", full); }
  std::filesystem::path NavbarFolder(bool full) const { return Folder("res/navbar/", full); }
  std::filesystem::path NavbtnFolder(bool full) const { return Folder("res/navbtn/", full); }
  std::filesystem::path SoundsFolder(bool full) const { return Folder("res/sounds/", full); }
  std::filesystem::path LanguagesFolder(bool full) const { return Folder("res/languages/", full); }
  std::filesystem::path DownloadsFolder(bool full) const { return Folder("res/downloads/", full); }
  std::filesystem::path MobileFolder(bool full) const { return Folder("res/mobile/", full); }
  // Relative to W: "files/framework.swf", the viewer's framework, and "files/book.swf", the
  // start movie the player plays.
  std::filesystem::path FrameworkFile(bool full) const;
  std::filesystem::path StartMovie(bool full) const;
  // Relative to W: "files/book.xml", the book document as the package holds it, beside the start
  // movie: a book's viewer reads its pages from it.
  std::filesystem::path KeptBookDocument(bool full) const;

  // base + "Log/": below F the run's own log, beside the program the numbered logs that rotate.
  static std::filesystem::path LogFolder(const std::filesystem::path& base);
  // This run's log: F/Log/log1.txt.
  std::filesystem::path RunLogFile() const;

  // Where a file a package names goes, relative to W: below "files/", or nothing when the name
  // would leave it (see JoinInside) or land in the run log's folder, F/Log/.
  static std::optional<std::filesystem::path> InFilesFolder(std::string_view name);
  // The name, below F, lands in the run log's folder.
  static bool InLogFolder(std::string_view name);

  // Creates W (0700: a run's files are its user's alone), F and the resource folders that do not
  // exist yet, and returns W to write below. A link where W is expected is refused (FileError);
  // below W, a folder that cannot be made shows up when a file is written into it.
  FolderRoot CreateWorkingFolders() const;

 private:
  std::filesystem::path Folder(std::string_view relative, bool full) const;

  bool perRun_ = false;
  std::filesystem::path temp_;
  std::string runName_;
};

}  // namespace pagewend
