#include "book/files_in_making.h"

#include <algorithm>

#include "support/text.h"

namespace pagewend::book {

void FilesInMaking::Add(const std::filesystem::path& file) {
  std::lock_guard lock(mutex_);
  files_.insert(file.lexically_normal());
}

void FilesInMaking::Done(const std::filesystem::path& file) {
  std::lock_guard lock(mutex_);
  if (const auto at = files_.find(file.lexically_normal()); at != files_.end()) files_.erase(at);
  WakeLocked();
}

void FilesInMaking::Clear() {
  std::lock_guard lock(mutex_);
  files_.clear();
  WakeLocked();
}

bool FilesInMaking::Contains(const std::filesystem::path& file) const {
  const std::filesystem::path normal = file.lexically_normal();
  std::lock_guard lock(mutex_);
  return files_.count(normal) > 0;
}

bool FilesInMaking::ContainsIgnoringCase(const std::filesystem::path& file) const {
  const std::string normal = file.lexically_normal().string();
  std::lock_guard lock(mutex_);
  return ContainsIgnoringCaseLocked(normal);
}

bool FilesInMaking::ContainsIgnoringCaseLocked(const std::string& normal) const {
  return std::any_of(files_.begin(), files_.end(), [&](const std::filesystem::path& made) {
    return EqualsIgnoringCase(made.string(), normal);
  });
}

bool FilesInMaking::WhenDone(const std::filesystem::path& file, const void* owner,
                             std::function<void()> done) const {
  std::string normal = file.lexically_normal().string();
  std::lock_guard lock(mutex_);
  if (!ContainsIgnoringCaseLocked(normal)) return false;
  waiters_.push_back({std::move(normal), owner, std::move(done)});
  return true;
}

void FilesInMaking::DropWaiters(const void* owner) const {
  std::lock_guard lock(mutex_);
  std::erase_if(waiters_, [owner](const Waiter& w) { return w.owner == owner; });
}

std::size_t FilesInMaking::Waiting() const {
  std::lock_guard lock(mutex_);
  return waiters_.size();
}

void FilesInMaking::WakeLocked() {
  std::vector<Waiter> still;
  for (Waiter& waiter : waiters_) {
    if (ContainsIgnoringCaseLocked(waiter.file))
      still.push_back(std::move(waiter));
    else
      waiter.done();
  }
  waiters_ = std::move(still);
}

}  // namespace pagewend::book
