#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "support/file_copy.h"
#include "support/unique_fd.h"

namespace pagewend {

// A folder that files are made in and read from by descriptor. Every name below it is resolved
// beneath the folder's own descriptor without following a symbolic link (openat2 with
// RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS, or one O_NOFOLLOW step per part where the kernel has
// no openat2), so neither a link planted beforehand nor one swapped in while a run writes can
// send a write or a read elsewhere. What it makes is its user's alone: folders 0700, files 0600.
// Every failure throws FileError naming the full path and the reason.
class FolderRoot {
 public:
  // Opens folder, which must be a folder and not a link.
  explicit FolderRoot(const std::filesystem::path& folder);

  const std::filesystem::path& Path() const { return path_; }
  int Fd() const { return fd_.Get(); }

  // The part of path below this folder: a relative path as it is, an absolute one with Path()
  // taken off. A path outside the folder, one that climbs with "..", or the folder itself, is
  // refused. Every member below takes either form.
  std::filesystem::path Below(const std::filesystem::path& path) const;

  // Makes the folder and its missing parents; a link or file where a folder is expected is refused.
  void MakeFolders(const std::filesystem::path& path) const;
  // An existing folder below this one, as a root of its own.
  FolderRoot Sub(const std::filesystem::path& path) const;
  // Creates or truncates a file in an existing folder, for writing. A file with other hard links
  // is refused, since truncating it would change the file elsewhere too.
  UniqueFd CreateFile(const std::filesystem::path& path) const;
  // CreateFile, then all of bytes written to it.
  void WriteFile(const std::filesystem::path& path, std::string_view bytes) const;
  // A new file in this folder that has no name: gone when closed, and nothing can be planted
  // where it is written. Open for reading and writing.
  UniqueFd CreateUnnamed() const;
  // Opens an existing file for reading. With linksInside a link is followed as long as it stays
  // below this folder (a folder a user laid out may link within itself); without, never.
  UniqueFd OpenRead(const std::filesystem::path& path, bool linksInside = false) const;
  // The first limit bytes of an existing file (all of it when it is shorter), opened as OpenRead
  // opens it: a caller asks for one byte more than it takes to learn that a file is longer.
  std::string ReadAtMost(const std::filesystem::path& path, std::size_t limit) const;

 private:
  FolderRoot(std::filesystem::path path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
  UniqueFd Open(const std::filesystem::path& relative, int flags, bool linksInside) const;

  std::filesystem::path path_;
  UniqueFd fd_;
};

}  // namespace pagewend
