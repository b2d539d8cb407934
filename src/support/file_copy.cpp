#include "support/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace pagewend {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;

void CopyByBuffer(int inFd, std::int64_t inOffset, std::int64_t length, int outFd, std::int64_t outOffset) {
  const auto buffer = std::make_unique<char[]>(kBufferSize);
  while (length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length, kBufferSize));
    ssize_t got = ::pread(inFd, buffer.get(), want, static_cast<off_t>(inOffset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw FileError(fmt::format("read error at offset {}: {}", inOffset, std::strerror(errno)));
    if (got == 0) throw FileError(fmt::format("unexpected end of file at offset {}", inOffset));
    std::size_t put = 0;
    while (put < static_cast<std::size_t>(got)) {
      ssize_t n = ::pwrite(outFd, buffer.get() + put, static_cast<std::size_t>(got) - put,
                           static_cast<off_t>(outOffset + static_cast<std::int64_t>(put)));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int error = n < 0 ? errno : EIO;
        throw FileError(fmt::format("write error: {}", std::strerror(error)), error);
      }
      put += static_cast<std::size_t>(n);
    }
    inOffset += got;
    outOffset += got;
    length -= got;
  }
}

}  // namespace

void CopyRange(int inFd, std::int64_t inOffset, std::int64_t length, int outFd, std::int64_t outOffset) {
  off_t in = static_cast<off_t>(inOffset);
  off_t out = static_cast<off_t>(outOffset);
  while (length > 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(length, std::int64_t{1} << 30));
    ssize_t n = ::copy_file_range(inFd, &in, outFd, &out, chunk, 0);
    if (n > 0) {
      length -= n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0)
      throw FileError(fmt::format("unexpected end of file at offset {}", static_cast<std::int64_t>(in)));
    // Pipes, some file systems and older kernels refuse; the buffered copy serves them all.
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF) {
      CopyByBuffer(inFd, in, length, outFd, out);
      return;
    }
    const int error = errno;
    throw FileError(
        fmt::format("copy error at offset {}: {}", static_cast<std::int64_t>(in), std::strerror(error)),
        error);
  }
}

UniqueFd CreateOutputFile(const std::filesystem::path& path) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!fd.Valid()) {
    const int error = errno;
    throw FileError(fmt::format("{}: cannot create: {}", path.string(), std::strerror(error)), error);
  }
  return fd;
}

}  // namespace pagewend
