#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pagewend::fuzz {

// The input as a file the readers can open by path, without touching the disk: an anonymous
// memory file reached through /proc/self/fd. Replaced on every call.
class MemoryFile {
 public:
  MemoryFile();
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  void Assign(const std::uint8_t* data, std::size_t size);
  const std::filesystem::path& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// A scratch tree for readers that write: root/a/b/work is where they may write, and the
// folders above it are watched so that a name climbing out by up to three levels is caught.
// Anything written outside work, or any symbolic link inside it, aborts the run: that is the
// finding these targets look for.
class Scratch {
 public:
  explicit Scratch(std::string_view name);
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::filesystem::path& Work() const { return work_; }
  // Where the input itself may be put, beside work (expected there by the check).
  std::filesystem::path InputFile() const { return root_ / "a" / "b" / "input"; }
  // Aborts if anything lies outside work; then empties work for the next input.
  void CheckAndClear();

 private:
  std::filesystem::path root_;
  std::filesystem::path work_;
};

}  // namespace pagewend::fuzz
