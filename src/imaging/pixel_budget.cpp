#include "imaging/pixel_budget.h"

#include <algorithm>

namespace pagewend::imaging {

PixelBudget::Share PixelBudget::Take(std::int64_t bytes) {
  bytes = std::clamp<std::int64_t>(bytes, 0, total_);
  std::unique_lock lock(mutex_);
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

void PixelBudget::Give(std::int64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    left_ += bytes;
  }
  freed_.notify_all();
}

}  // namespace pagewend::imaging
