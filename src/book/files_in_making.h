#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

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

  // Calls done once no file that matches file (ignoring ASCII case) is in making any more; false,
  // without calling it, when none is now. done runs on the thread that ends the making, under the
  // list's lock, so it must do no more than hand the news on; DropWaiters(owner) ends every wait
  // of an owner, after which none of its done calls runs.
  bool WhenDone(const std::filesystem::path& file, const void* owner, std::function<void()> done) const;
  void DropWaiters(const void* owner) const;
  // How many waits have not ended.
  std::size_t Waiting() const;

 private:
  bool ContainsIgnoringCaseLocked(const std::string& normal) const;
  void WakeLocked();

  struct Waiter {
    std::string file;
    const void* owner;
    std::function<void()> done;
  };
  mutable std::mutex mutex_;
  std::multiset<std::filesystem::path> files_;
  mutable std::vector<Waiter> waiters_;
};

}  // namespace pagewend::book
