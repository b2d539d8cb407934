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
}

void FilesInMaking::Clear() {
  std::lock_guard lock(mutex_);
  files_.clear();
}

bool FilesInMaking::Contains(const std::filesystem::path& file) const {
  const std::filesystem::path normal = file.lexically_normal();
  std::lock_guard lock(mutex_);
  return files_.count(normal) > 0;
}

bool FilesInMaking::ContainsIgnoringCase(const std::filesystem::path& file) const {
  const std::string normal = file.lexically_normal().string();
  std::lock_guard lock(mutex_);
  return std::any_of(files_.begin(), files_.end(), [&](const std::filesystem::path& made) {
    return EqualsIgnoringCase(made.string(), normal);
  });
}

}  // namespace pagewend::book
