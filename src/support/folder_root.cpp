#include "support/folder_root.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "support/guid.h"

namespace pagewend {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const fs::path& full, int error, std::string_view doing) {
  std::string why;
  switch (error) {
    case ELOOP:
      why = "a symbolic link stands in the path; links are not followed here";
      break;
    case EXDEV:
      why = "the path leads out of its folder through a link";
      break;
    case ENOTDIR:
      why = "a part of the path is not a folder";
      break;
    default:
      why = std::strerror(error);
  }
  throw FileError(fmt::format("{}: cannot {}: {}", full.string(), doing, why), error);
}

// The kernel's own beneath-resolution: one call, and a link anywhere in the path is refused (or,
// with linksInside, one that leaves the folder). -1 with errno ENOSYS where the kernel has none.
int OpenBeneath(int root, const fs::path& relative, int flags, mode_t mode, bool linksInside) {
  open_how how{};
  how.flags = static_cast<__u64>(static_cast<unsigned>(flags | O_CLOEXEC));
  how.mode = (flags & O_CREAT) ? mode : 0;
  how.resolve = RESOLVE_BENEATH | (linksInside ? 0 : RESOLVE_NO_SYMLINKS);
  for (int attempt = 0;; ++attempt) {
    const long fd = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    // EAGAIN: a rename somewhere raced the lookup; the kernel asks for another try.
    if ((errno == EINTR || errno == EAGAIN) && attempt < 16) continue;
    return -1;
  }
}

// The same one part at a time, for kernels without openat2: every folder on the way is opened
// with O_NOFOLLOW from the one before, and so is the last part.
int OpenByParts(int root, const fs::path& relative, int flags, mode_t mode) {
  std::vector<fs::path> parts(relative.begin(), relative.end());
  UniqueFd folder;
  int at = root;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    UniqueFd next(::openat(at, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.Valid()) return -1;
    folder = std::move(next);
    at = folder.Get();
  }
  return ::openat(at, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

}  // namespace

FolderRoot::FolderRoot(const fs::path& folder) {
  path_ = fs::absolute(folder).lexically_normal();
  if (!path_.has_filename() && path_.has_relative_path()) path_ = path_.parent_path();
  fd_ = UniqueFd(::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd_.Valid()) {
    std::error_code ec;
    if (errno == ELOOP || fs::is_symlink(path_, ec))
      throw FileError(fmt::format("{}: is a symbolic link, not a folder", path_.string()));
    Fail(path_, errno, "open the folder");
  }
}

fs::path FolderRoot::Below(const fs::path& path) const {
  fs::path relative =
      path.is_absolute() ? path.lexically_normal().lexically_relative(path_) : path.lexically_normal();
  if (!relative.empty() && !relative.has_filename()) relative = relative.parent_path();
  if (relative.empty() || relative == "." || relative.is_absolute() || *relative.begin() == "..")
    throw FileError(fmt::format("{}: is not below the folder {}", path.string(), path_.string()));
  return relative;
}

UniqueFd FolderRoot::Open(const fs::path& relative, int flags, bool linksInside) const {
  int fd = OpenBeneath(fd_.Get(), relative, flags, 0600, linksInside);
  if (fd < 0 && errno == ENOSYS) fd = OpenByParts(fd_.Get(), relative, flags, 0600);
  if (fd < 0) Fail(path_ / relative, errno, (flags & O_CREAT) ? "create" : "open");
  return UniqueFd(fd);
}

void FolderRoot::MakeFolders(const fs::path& path) const {
  const fs::path relative = Below(path);
  UniqueFd folder;
  int at = fd_.Get();
  fs::path done = path_;
  for (const fs::path& part : relative) {
    done /= part;
    if (::mkdirat(at, part.c_str(), 0700) != 0 && errno != EEXIST) Fail(done, errno, "make the folder");
    UniqueFd next(::openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.Valid()) {
      if (errno == ELOOP || errno == ENOTDIR)
        throw FileError(fmt::format("{}: a folder is expected here, and a link or a file stands in its place",
                                    done.string()));
      Fail(done, errno, "open the folder");
    }
    folder = std::move(next);
    at = folder.Get();
  }
}

FolderRoot FolderRoot::Sub(const fs::path& path) const {
  const fs::path relative = Below(path);
  return FolderRoot(path_ / relative, Open(relative, O_RDONLY | O_DIRECTORY, false));
}

UniqueFd FolderRoot::CreateFile(const fs::path& path) const {
  const fs::path relative = Below(path);
  // Not truncated on opening: only once it is known to be a file of its own. O_NONBLOCK: a FIFO
  // planted here fails at once instead of waiting for a reader.
  UniqueFd fd = Open(relative, O_WRONLY | O_CREAT | O_NONBLOCK, false);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) Fail(path_ / relative, errno, "create");
  if (!S_ISREG(st.st_mode))
    throw FileError(fmt::format("{}: cannot create: something other than a file stands there",
                                (path_ / relative).string()));
  if (st.st_nlink > 1)
    throw FileError(
        fmt::format("{}: cannot create: the file there has other hard links", (path_ / relative).string()));
  if (::ftruncate(fd.Get(), 0) != 0) Fail(path_ / relative, errno, "truncate");
  return fd;
}

void FolderRoot::WriteFile(const fs::path& path, std::string_view bytes) const {
  const UniqueFd fd = CreateFile(path);
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd.Get(), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(path_ / Below(path), n < 0 ? errno : EIO, "write");
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

UniqueFd FolderRoot::CreateUnnamed() const {
  UniqueFd fd(::openat(fd_.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (fd.Valid()) return fd;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) Fail(path_, errno, "create a scratch file");
  // A file system without unnamed files: a name no one can guess, made exclusively and dropped
  // at once.
  const std::string name = ".scratch-" + NewGuidText();
  fd = UniqueFd(::openat(fd_.Get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.Valid()) Fail(path_ / name, errno, "create");
  ::unlinkat(fd_.Get(), name.c_str(), 0);
  return fd;
}

UniqueFd FolderRoot::OpenRead(const fs::path& path, bool linksInside) const {
  const fs::path relative = Below(path);
  UniqueFd fd = Open(relative, O_RDONLY | O_NONBLOCK, linksInside);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) Fail(path_ / relative, errno, "open");
  if (!S_ISREG(st.st_mode))
    throw FileError(fmt::format("{}: cannot open: not a regular file", (path_ / relative).string()));
  return fd;
}

std::string FolderRoot::ReadAtMost(const fs::path& path, std::size_t limit) const {
  const UniqueFd fd = OpenRead(path);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) Fail(path_ / Below(path), errno, "read");
  // Sized by the file, not by the limit, which may be far larger: one byte more than it holds
  // shows its end without a second read, and a file that grows meanwhile grows the buffer.
  std::string bytes(std::min(limit, static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)) + 1), '\0');
  std::size_t got = 0;
  while (got < limit) {
    if (got == bytes.size()) bytes.resize(std::min(limit, bytes.size() * 2));
    const ssize_t n = ::read(fd.Get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(path_ / Below(path), errno, "read");
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace pagewend
