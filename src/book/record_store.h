#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/folder_root.h"

namespace pagewend::package {
class PackageFile;
struct Slice;
}  // namespace pagewend::package

namespace pagewend::book {

// The files a run writes from its package's records, and the budget every byte the run writes
// counts against: a small package must not fill the disk by naming one record many times, nor by
// having many images made of it. Records and made images have room of their own, so that whether
// a book fits does not depend on how far the images have got when a record is written. Each
// record is copied once; further names of it are links, which cost nothing, and so is a record
// whose bytes are those of the record of its size copied last (books store a page's image and its
// mobile image as two records of the same bytes). A file of the run is replaced, never rewritten
// in place, since it may be another name's link or a file an image job has open.
class RecordStore {
 public:
  // Records may take up to recordLimit bytes; the images made of them, what runLimit leaves beyond.
  RecordStore(const package::PackageFile& source, const FolderRoot& root, std::int64_t recordLimit,
              std::int64_t runLimit)
      : source_(source), root_(root), recordLimit_(recordLimit), runLimit_(runLimit) {}

  // Writes the record to dest (relative to the root, or below it). what names the reference in
  // errors. Throws OverBudgetError past the budget.
  void Write(const package::Slice& payload, const std::filesystem::path& dest, const std::string& what);

  // Counts bytes of records written by other means; throws OverBudgetError, counting nothing,
  // when they would pass the record limit.
  void Spend(std::int64_t bytes, const std::filesystem::path& dest, const std::string& what);
  // Counts bytes of a made image, unless they would pass the images' room: whether they were
  // counted. Safe from any thread.
  bool SpendMade(std::int64_t bytes) { return TrySpend(made_, bytes, runLimit_ - recordLimit_); }
  // Gives back bytes counted for a record's file that is gone or smaller than counted.
  void Refund(std::int64_t bytes) { records_.fetch_sub(bytes); }
  // What records may still take.
  std::int64_t RecordsLeft() const { return recordLimit_ - records_.load(); }
  std::int64_t RunLimit() const { return runLimit_; }

  // Called before a file of the run is replaced, with its name: whatever still reads it must be
  // done first.
  std::function<void(const std::filesystem::path&)> beforeReplace;

 private:
  using Record = std::pair<std::int64_t, std::int64_t>;
  struct StoredCopy {
    std::vector<Record> records;  // the records of these bytes
    std::set<std::filesystem::path> names;
  };

  static bool TrySpend(std::atomic<std::int64_t>& spent, std::int64_t bytes, std::int64_t limit);
  // The copy last made of a record of payload's size, when its bytes are payload's. what names
  // the reference in a read error.
  std::optional<std::uint64_t> CopyOfSameBytes(const package::Slice& payload, const std::string& what);
  // Links a new name at target (relative to the root) to a copy's file: whether it could.
  bool Link(std::uint64_t copy, const std::filesystem::path& target) const;
  // Forgets a copy whose names are all gone.
  void Drop(std::uint64_t copy);

  const package::PackageFile& source_;
  const FolderRoot& root_;
  const std::int64_t recordLimit_;
  const std::int64_t runLimit_;
  std::atomic<std::int64_t> records_{0};
  std::atomic<std::int64_t> made_{0};
  // Each copy of a record with the names linked to it. A copy whose names are all replaced is
  // off the disk and off the budget.
  std::map<std::uint64_t, StoredCopy> copies_;
  std::map<std::filesystem::path, std::uint64_t> copyOfFile_;
  std::map<Record, std::uint64_t> copyOfRecord_;
  std::map<std::int64_t, std::uint64_t> lastCopyOfSize_;
  std::vector<char> compareBuffers_;
  std::uint64_t serial_ = 0;
};

}  // namespace pagewend::book
