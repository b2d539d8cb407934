#include "fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace pagewend::fuzz {
namespace fs = std::filesystem;

MemoryFile::MemoryFile() {
  fd_ = ::memfd_create("pagewend-fuzz", MFD_CLOEXEC);
  if (fd_ < 0) {
    std::perror("memfd_create");
    std::abort();
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { ::close(fd_); }

void MemoryFile::Assign(const std::uint8_t* data, std::size_t size) {
  if (::ftruncate(fd_, 0) != 0) std::abort();
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
}

namespace {

// Each run makes and removes a folder tree; on a disk file system that costs more than the
// reading itself, so a memory file system is preferred where there is one.
fs::path ScratchBase() {
  if (const char* chosen = std::getenv("PAGEWEND_FUZZ_SCRATCH")) return chosen;
  if (::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return fs::temp_directory_path();
}

}  // namespace

Scratch::Scratch(std::string_view name) {
  root_ = ScratchBase() / (std::string(name) + "-" + std::to_string(::getpid()));
  fs::remove_all(root_);
  work_ = root_ / "a" / "b" / "work";
  fs::create_directories(work_);
}

Scratch::~Scratch() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

void Scratch::CheckAndClear() {
  const fs::path b = work_.parent_path();
  const fs::path a = b.parent_path();
  auto fail = [](const fs::path& path, const char* what) {
    std::fprintf(stderr, "FINDING: %s: %s\n", path.c_str(), what);
    std::abort();
  };
  for (const fs::path& folder : {root_, a, b}) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      const fs::path& p = entry.path();
      if (p == a || p == b || p == work_ || p == InputFile()) continue;
      fail(p, "written outside the working folder");
    }
  }
  for (auto it = fs::recursive_directory_iterator(work_); it != fs::recursive_directory_iterator(); ++it) {
    if (it->is_symlink()) fail(it->path(), "a symbolic link in the working folder");
  }
  for (const auto& entry : fs::directory_iterator(work_)) fs::remove_all(entry.path());
}

}  // namespace pagewend::fuzz
