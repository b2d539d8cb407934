#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <set>

namespace pagewend::book {

// The files a run has still to make, for a reader of its folder that comes early (the movie,
// started before the page images are all made): a file named here is yet to come, not missing.
// Safe from any thread; paths are compared in their lexically normal form.
class FilesInMaking {
 public:
  void Add(const std::filesystem::path& file);
  // Made, or given up on.
  void Done(const std::filesystem::path& file);
  // The run is over, whatever it made.
  void Clear();
  bool Contains(const std::filesystem::path& file) const;
  // The same, with names that differ in ASCII case only taken as one, as a book's movie names them.
  bool ContainsIgnoringCase(const std::filesystem::path& file) const;

 private:
  mutable std::mutex mutex_;
  std::multiset<std::filesystem::path> files_;
};

}  // namespace pagewend::book
