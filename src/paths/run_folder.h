#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "support/folder_root.h"

namespace pagewend {

// The layout of a run's working folder W, as names relative to W: the one table that every
// reader and writer of a run's files asks. The book's files lie below F = "files".
namespace layout {

inline constexpr std::string_view kFiles = "files";
inline constexpr std::string_view kScripts = "files/js";
inline constexpr std::string_view kRes = "files/res";
inline constexpr std::string_view kPages = "files/res/pages";
inline constexpr std::string_view kThumbnails = "files/res/thumbnails";
inline constexpr std::string_view kOther = "files/res/other";
inline constexpr std::string_view kNavbar = "files/res/navbar";
inline constexpr std::string_view kNavbtn = "files/res/navbtn";
inline constexpr std::string_view kSounds = "files/res/sounds";
inline constexpr std::string_view kLanguages = "files/res/languages";
inline constexpr std::string_view kDownloads = "files/res/downloads";
inline constexpr std::string_view kMobile = "files/res/mobile";
// The start movie the player plays, and the viewer's framework beside it.
inline constexpr std::string_view kStartMovie = "files/book.swf";
inline constexpr std::string_view kFramework = "files/framework.swf";
// The viewer's other parts.
inline constexpr std::string_view kMagnifier = "files/res/other/mag.swf";
inline constexpr std::string_view kToolbar = "files/res/other/toolbar.swf";
inline constexpr std::string_view kInputBox = "files/res/other/input.png";
inline constexpr std::string_view kVideoSkin = "files/res/other/videoskin.swf";
inline constexpr std::string_view kThumbnailMovie = "files/res/other/thumb.swf";
// The book document as the package holds it, beside the start movie: a book's viewer reads its
// pages from it.
inline constexpr std::string_view kKeptBookDocument = "files/book.xml";
// The run's own log, F/Log/log1.txt; beside the program, a folder of that name keeps the numbered logs.
inline constexpr std::string_view kLogFolderName = "Log";
inline constexpr std::string_view kRunLog = "files/Log/log1.txt";

// The folders a run makes as it starts.
std::span<const std::string_view> Folders();

// The images a run makes of page index (from 0): its thumbnail, its mobile image and its photo
// view's thumbnail (these two keep the extension the book gives them).
std::filesystem::path PageThumbnail(std::size_t index);
std::filesystem::path MobileImage(std::size_t index, std::string_view extension);
std::filesystem::path PhotoThumbnail(std::size_t index, std::string_view extension);

// Where a name a package gives, relative to F, goes: below F, or nothing when the name would
// leave it (see JoinInside) or land in the run log's folder.
std::optional<std::filesystem::path> InFiles(std::string_view name);
// The name, below F, lands in the run log's folder.
bool InLogFolder(std::string_view name);

}  // namespace layout

// The working folder of one run, which joins the layout's relative names; a value, so a process
// may unpack several books at once.
class RunFolder {
 public:
  // No run: it joins names to nothing.
  RunFolder() = default;
  // A new run under the system temporary folder, named by a new GUID.
  static RunFolder NewRun();
  // A run whose working folder is the given folder (made absolute).
  static RunFolder At(const std::filesystem::path& folder);

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path operator/(std::string_view relative) const { return root_ / relative; }
  std::filesystem::path operator/(const std::filesystem::path& relative) const { return root_ / relative; }

  // Creates W (0700: a run's files are its user's alone) and the layout's folders that do not
  // exist yet, and returns W to write below. A link where W is expected is refused (FileError);
  // below W, a folder that cannot be made shows up when a file is written into it.
  FolderRoot Create() const;

 private:
  explicit RunFolder(std::filesystem::path root) : root_(std::move(root)) {}

  std::filesystem::path root_;
};

}  // namespace pagewend
