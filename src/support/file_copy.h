#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "support/unique_fd.h"

namespace pagewend {

class FileError : public std::runtime_error {
 public:
  // code: the errno value of the call that failed, when one did (ENOSPC tells a full disk).
  explicit FileError(const std::string& what, int code = 0) : std::runtime_error(what), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// Copies length bytes from inFd at inOffset to outFd at outOffset without holding them in
// memory: copy_file_range where the kernel offers it, else pread/pwrite through a 1 MiB buffer.
// Neither descriptor's file position moves. Throws FileError on a short source or a failed write.
void CopyRange(int inFd, std::int64_t inOffset, std::int64_t length, int outFd, std::int64_t outOffset);

// Opens path for writing, creating or truncating it; never follows a symbolic link in the last
// component. Throws FileError naming the path.
UniqueFd CreateOutputFile(const std::filesystem::path& path);

}  // namespace pagewend
