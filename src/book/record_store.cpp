#include "book/record_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

#include "book/book_error.h"
#include "package/package_file.h"
#include "package/package_format.h"

namespace pagewend::book {

namespace fs = std::filesystem;
using package::PackageError;
using package::Slice;

bool RecordStore::TrySpend(std::atomic<std::int64_t>& spent, std::int64_t bytes, std::int64_t limit) {
  std::int64_t now = spent.load();
  do {
    if (bytes > limit - now) return false;
  } while (!spent.compare_exchange_weak(now, now + bytes));
  return true;
}

void RecordStore::Spend(std::int64_t bytes, const fs::path& dest, const std::string& what) {
  if (!TrySpend(records_, bytes, recordLimit_))
    throw OverBudgetError(fmt::format(
        "{}: writing {} would take the book's files past {} bytes, twice the size of its package; the "
        "book stops here",
        what, dest.string(), recordLimit_));
}

std::optional<std::uint64_t> RecordStore::CopyOfSameBytes(const Slice& payload, const std::string& what) {
  const auto last = lastCopyOfSize_.find(payload.length);
  if (last == lastCopyOfSize_.end() || payload.length == 0) return std::nullopt;
  const Record& other = copies_.at(last->second).records.front();
  if (other.first == payload.offset) return last->second;
  // Compared where both lie in the package, which is read anyway: a page's two records are next
  // to each other there, and in the page cache.
  constexpr std::int64_t kChunk = 64 << 10;
  compareBuffers_.resize(2 * kChunk);
  const std::span<char> mine(compareBuffers_.data(), kChunk);
  const std::span<char> theirs(compareBuffers_.data() + kChunk, kChunk);
  for (std::int64_t at = 0; at < payload.length; at += kChunk) {
    const auto length = static_cast<std::size_t>(std::min(kChunk, payload.length - at));
    source_.Read(payload.offset + at, mine.first(length), what);
    source_.Read(other.first + at, theirs.first(length), what);
    if (!std::ranges::equal(mine.first(length), theirs.first(length))) return std::nullopt;
  }
  return last->second;
}

bool RecordStore::Link(std::uint64_t copy, const fs::path& target) const {
  const std::set<fs::path>& names = copies_.at(copy).names;
  if (names.empty()) return false;  // its file could not be put in place
  const fs::path& from = *names.begin();
  const FolderRoot fromFolder = root_.Sub(from.parent_path());
  const FolderRoot toFolder = root_.Sub(target.parent_path());
  return ::linkat(fromFolder.Fd(), from.filename().c_str(), toFolder.Fd(), target.filename().c_str(), 0) == 0;
}

void RecordStore::Drop(std::uint64_t copy) {
  const StoredCopy& gone = copies_.at(copy);
  Refund(gone.records.front().second);
  for (const Record& r : gone.records)
    if (const auto at = copyOfRecord_.find(r); at != copyOfRecord_.end() && at->second == copy)
      copyOfRecord_.erase(at);
  if (const auto at = lastCopyOfSize_.find(gone.records.front().second);
      at != lastCopyOfSize_.end() && at->second == copy)
    lastCopyOfSize_.erase(at);
  copies_.erase(copy);
}

void RecordStore::Write(const Slice& payload, const fs::path& path, const std::string& what) {
  const Record record{payload.offset, payload.length};
  const fs::path dest = path.lexically_normal();
  // The very file is there already: nothing changes, so nothing need wait for the jobs reading it
  // (pages that share one mobile image would otherwise have their images made one at a time).
  bool replacing = false;
  if (const auto at = copyOfFile_.find(dest); at != copyOfFile_.end()) {
    StoredCopy& old = copies_.at(at->second);
    if (std::find(old.records.begin(), old.records.end(), record) != old.records.end()) return;
    if (beforeReplace) beforeReplace(dest);
    replacing = true;
    old.names.erase(dest);
    if (old.names.empty()) Drop(at->second);
    copyOfFile_.erase(at);
  }
  const fs::path target = replacing ? dest.parent_path() / fmt::format(".pagewend-{}.part", serial_) : dest;
  std::uint64_t copy = 0;
  if (const auto shared = copyOfRecord_.find(record);
      shared != copyOfRecord_.end() && Link(shared->second, target)) {
    copy = shared->second;
  } else if (const auto alike = CopyOfSameBytes(payload, what); alike && Link(*alike, target)) {
    copy = *alike;
    copies_.at(copy).records.push_back(record);
    copyOfRecord_[record] = copy;
  }
  if (!copy) {
    Spend(payload.length, dest, what);
    source_.CopyTo(payload, root_, target, what);
    copy = ++serial_;
    copies_[copy].records = {record};
    copyOfRecord_[record] = copy;
  }
  lastCopyOfSize_[payload.length] = copy;
  if (replacing) {
    const FolderRoot folder = root_.Sub(dest.parent_path());
    if (::renameat(folder.Fd(), target.filename().c_str(), folder.Fd(), dest.filename().c_str()) != 0) {
      const int error = errno;
      ::unlinkat(folder.Fd(), target.filename().c_str(), 0);
      throw PackageError(fmt::format("{}: cannot replace {}: {}", what, dest.string(), std::strerror(error)));
    }
  }
  copies_[copy].names.insert(dest);
  copyOfFile_[dest] = copy;
}

}  // namespace pagewend::book
