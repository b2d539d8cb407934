#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "support/folder_root.h"
#include "support/unique_fd.h"

namespace pagewend::package {

// A package that cannot be read as its documents say: the message names the record and the
// numbers involved.
class PackageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A byte range of the package file. Offsets are absolute, from the start of the file.
struct Slice {
  std::int64_t offset = 0;
  std::int64_t length = 0;
  std::int64_t End() const { return offset + length; }
  friend bool operator==(const Slice&, const Slice&) = default;
};

// A read-only package: a book executable, or a bare package. Every read is checked against
// the file's size before anything is allocated or copied.
class PackageFile {
 public:
  // Throws PackageError naming the file when it cannot be opened.
  explicit PackageFile(std::filesystem::path path);

  const std::filesystem::path& Path() const { return path_; }
  std::int64_t Size() const { return size_; }
  int Fd() const { return fd_.Get(); }

  // Throws PackageError (naming `what`) unless [offset, offset + length) lies in the file.
  void CheckInside(Slice slice, std::string_view what) const;
  // The little-endian 32-bit value at offset.
  std::uint32_t ReadUInt32(std::int64_t offset, std::string_view what) const;
  void Read(std::int64_t offset, std::span<char> out, std::string_view what) const;
  // The whole slice in memory; refused past maxLength, so no reader sizes a buffer by a
  // length it has not checked.
  std::string ReadText(Slice slice, std::string_view what, std::int64_t maxLength) const;
  // Streams the slice into a new file at dest below root (created or truncated, never through a
  // symbolic link: see FolderRoot); a few MiB whatever the slice's length.
  void CopyTo(Slice slice, const FolderRoot& root, const std::filesystem::path& dest,
              std::string_view what) const;
  // The same into dest's own folder.
  void CopyTo(Slice slice, const std::filesystem::path& dest, std::string_view what) const;

 private:
  std::filesystem::path path_;
  UniqueFd fd_;
  std::int64_t size_ = 0;
};

}  // namespace pagewend::package
