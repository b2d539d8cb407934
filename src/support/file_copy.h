#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>

#include "support/unique_fd.h"

namespace pagewend {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Copies length bytes from inFd at inOffset to outFd at outOffset without holding them in
// memory: copy_file_range where the kernel offers it, else pread/pwrite through a 1 MiB buffer.
// Neither descriptor's file position moves. Throws FileError on a short source or a failed write.
void CopyRange(int inFd, std::int64_t inOffset, std::int64_t length, int outFd, std::int64_t outOffset);

// Opens path for writing, creating or truncating it; never follows a symbolic link in the last
// component. Throws FileError naming the path.
UniqueFd CreateOutputFile(const std::filesystem::path& path);

}  // namespace pagewend
