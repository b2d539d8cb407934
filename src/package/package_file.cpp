#include "package/package_file.h"

#include "support/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <cerrno>
#include <cstring>

namespace pagewend::package {

PackageFile::PackageFile(std::filesystem::path path) : path_(std::move(path)) {
  // Without waiting: opening a FIFO for reading would block until someone writes to it.
  fd_ = UniqueFd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd_.Valid())
    throw PackageError(fmt::format("{}: cannot open: {}", path_.string(), std::strerror(errno)));
  struct stat st {};
  if (::fstat(fd_.Get(), &st) != 0)
    throw PackageError(fmt::format("{}: cannot read its size: {}", path_.string(), std::strerror(errno)));
  if (!S_ISREG(st.st_mode)) throw PackageError(fmt::format("{}: not a regular file", path_.string()));
  ::fcntl(fd_.Get(), F_SETFL, ::fcntl(fd_.Get(), F_GETFL) & ~O_NONBLOCK);
  size_ = st.st_size;
}

void PackageFile::CheckInside(Slice slice, std::string_view what) const {
  if (slice.offset < 0 || slice.length < 0)
    throw PackageError(
        fmt::format("{}: starts before the file (offset {}, length {})", what, slice.offset, slice.length));
  if (slice.offset > size_ || slice.length > size_ - slice.offset)
    throw PackageError(fmt::format("{}: ends past the end of the file (offset {}, length {}, file size {})",
                                   what, slice.offset, slice.length, size_));
}

void PackageFile::Read(std::int64_t offset, std::span<char> out, std::string_view what) const {
  CheckInside({offset, static_cast<std::int64_t>(out.size())}, what);
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(fd_.Get(), out.data() + done, out.size() - done,
                        static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw PackageError(fmt::format("{}: read error at offset {}: {}", what,
                                     offset + static_cast<std::int64_t>(done),
                                     n == 0 ? "unexpected end of file" : std::strerror(errno)));
    done += static_cast<std::size_t>(n);
  }
}

std::uint32_t PackageFile::ReadUInt32(std::int64_t offset, std::string_view what) const {
  unsigned char bytes[4];
  Read(offset, std::span<char>(reinterpret_cast<char*>(bytes), 4), what);
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::string PackageFile::ReadText(Slice slice, std::string_view what, std::int64_t maxLength) const {
  CheckInside(slice, what);
  if (slice.length > maxLength)
    throw PackageError(
        fmt::format("{}: {} bytes is more than the limit of {} bytes", what, slice.length, maxLength));
  std::string text(static_cast<std::size_t>(slice.length), '\0');
  Read(slice.offset, text, what);
  return text;
}

void PackageFile::CopyTo(Slice slice, const FolderRoot& root, const std::filesystem::path& dest,
                         std::string_view what) const {
  CheckInside(slice, what);
  try {
    UniqueFd out = root.CreateFile(dest);
    CopyRange(fd_.Get(), slice.offset, slice.length, out.Get(), 0);
  } catch (const FileError& e) {
    throw PackageError(fmt::format("{}: copying to {}: {}", what, dest.string(), e.what()));
  }
}

void PackageFile::CopyTo(Slice slice, const std::filesystem::path& dest, std::string_view what) const {
  std::filesystem::path folder = std::filesystem::absolute(dest).parent_path();
  try {
    CopyTo(slice, FolderRoot(folder), dest.filename(), what);
  } catch (const FileError& e) {
    throw PackageError(fmt::format("{}: copying to {}: {}", what, dest.string(), e.what()));
  }
}

}  // namespace pagewend::package
