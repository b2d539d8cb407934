#include "imaging/pixel_budget.h"

#include <sys/stat.h>

#include <algorithm>
#include <iterator>

namespace pagewend::imaging {

namespace {
// Enough for the images a few pages in a row share; few enough that a kept image is soon found.
constexpr std::size_t kMostKept = 8;
}  // namespace

std::optional<PixelBudget::FileKey> PixelBudget::KeyOf(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileKey{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                 static_cast<std::int64_t>(st.st_size),
                 static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

std::list<PixelBudget::Kept>::iterator PixelBudget::Forget(std::list<Kept>::iterator kept) {
  left_ += kept->bytes;
  keptBytes_ -= kept->bytes;
  return kept_.erase(kept);
}

void PixelBudget::ForgetFor(std::int64_t bytes, std::unique_lock<std::mutex>&) {
  while (bytes > left_ && !kept_.empty()) Forget(std::prev(kept_.end()));
}

PixelBudget::Share PixelBudget::Take(std::int64_t bytes) {
  bytes = std::clamp<std::int64_t>(bytes, 0, total_);
  std::unique_lock lock(mutex_);
  // Nobody waits while images are kept only for the pages that may come.
  ForgetFor(bytes, lock);
  ++waiting_;
  freed_.wait(lock, [&] { return bytes <= left_; });
  --waiting_;
  left_ -= bytes;
  return Share(this, bytes);
}

std::size_t PixelBudget::Waiting() const {
  std::lock_guard lock(mutex_);
  return waiting_;
}

std::optional<PixelBudget::Reused> PixelBudget::Reuse(const FileKey& key, int width, int height) {
  std::unique_lock lock(mutex_);
  for (;;) {
    const auto kept = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) {
      return k.key == key && k.image.width() >= width && k.image.height() >= height;
    });
    if (kept != kept_.end()) {
      ++reuses_;
      Reused reused{kept->image, {}};
      if (kept->bytes <= left_) {
        left_ -= kept->bytes;
        reused.share = Share(this, kept->bytes);
        kept_.splice(kept_.begin(), kept_, kept);
      } else {
        // No room for a second share: the kept image's own becomes its user's.
        reused.share = Share(this, kept->bytes);
        keptBytes_ -= kept->bytes;
        kept_.erase(kept);
      }
      return reused;
    }
    if (!decoding_.count(key)) {
      decoding_.insert(key);
      return std::nullopt;
    }
    freed_.wait(lock);
  }
}

void PixelBudget::Keep(const FileKey& key, const QImage& image) {
  {
    std::lock_guard lock(mutex_);
    decoding_.erase(key);
    const auto bytes = static_cast<std::int64_t>(image.sizeInBytes());
    if (waiting_ == 0 && !image.isNull() && bytes <= total_ / 4 && bytes <= left_) {
      // A smaller image of the file serves no one this one does not.
      for (auto it = kept_.begin(); it != kept_.end();) it = it->key == key ? Forget(it) : std::next(it);
      kept_.push_front({key, image, bytes});
      left_ -= bytes;
      keptBytes_ += bytes;
      while (kept_.size() > kMostKept || keptBytes_ > total_ / 2) Forget(std::prev(kept_.end()));
    }
  }
  freed_.notify_all();
}

void PixelBudget::Drop(const FileKey& key) {
  {
    std::lock_guard lock(mutex_);
    decoding_.erase(key);
  }
  freed_.notify_all();
}

std::size_t PixelBudget::Reuses() const {
  std::lock_guard lock(mutex_);
  return reuses_;
}

void PixelBudget::Give(std::int64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    left_ += bytes;
  }
  freed_.notify_all();
}

}  // namespace pagewend::imaging
