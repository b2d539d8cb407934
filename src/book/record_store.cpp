#include "book/record_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>

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

void RecordStore::Write(const Slice& payload, const fs::path& path, const std::string& what) {
  const Record record{payload.offset, payload.length};
  const fs::path dest = path.lexically_normal();
  // The very file is there already: nothing changes, so nothing need wait for the jobs reading it
  // (pages that share one mobile image would otherwise have their images made one at a time).
  if (const auto at = copyOfFile_.find(dest);
      at != copyOfFile_.end() && copies_.at(at->second).record == record)
    return;
  bool replacing = false;
  if (const auto at = copyOfFile_.find(dest); at != copyOfFile_.end()) {
    if (beforeReplace) beforeReplace(dest);
    StoredCopy& old = copies_.at(at->second);
    replacing = true;
    old.names.erase(dest);
    if (old.names.empty()) {
      Refund(old.record.second);
      if (copyOfRecord_[old.record] == at->second) copyOfRecord_.erase(old.record);
      copies_.erase(at->second);
    }
    copyOfFile_.erase(at);
  }
  const fs::path target = replacing ? dest.parent_path() / fmt::format(".pagewend-{}.part", serial_) : dest;
  std::uint64_t copy = 0;
  if (const auto shared = copyOfRecord_.find(record); shared != copyOfRecord_.end()) {
    const fs::path& from = *copies_.at(shared->second).names.begin();
    const FolderRoot fromFolder = root_.Sub(from.parent_path());
    const FolderRoot toFolder = root_.Sub(target.parent_path());
    if (::linkat(fromFolder.Fd(), from.filename().c_str(), toFolder.Fd(), target.filename().c_str(), 0) == 0)
      copy = shared->second;
  }
  if (!copy) {
    Spend(payload.length, dest, what);
    source_.CopyTo(payload, root_, target, what);
    copy = ++serial_;
    copies_[copy].record = record;
    copyOfRecord_[record] = copy;
  }
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
