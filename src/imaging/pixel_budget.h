#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>

namespace pagewend::imaging {

// What a run's workers may hold of decoded pixels at once: two of the largest images decoded.
inline constexpr std::int64_t kRunPixelBytes = std::int64_t{256} << 20;

// The decoded pixels of one run's workers within one budget of bytes: a decode waits for its
// share, so that a run's memory does not grow with its number of workers.
class PixelBudget {
 public:
  explicit PixelBudget(std::int64_t bytes) : total_(bytes), left_(bytes) {}
  PixelBudget(const PixelBudget&) = delete;
  PixelBudget& operator=(const PixelBudget&) = delete;

  // Bytes held until the share goes.
  class Share {
   public:
    Share() = default;
    Share(Share&& other) noexcept
        : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}
    Share& operator=(Share&& other) noexcept {
      if (this != &other) {
        Release();
        budget_ = std::exchange(other.budget_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
      }
      return *this;
    }
    ~Share() { Release(); }

   private:
    friend class PixelBudget;
    Share(PixelBudget* budget, std::int64_t bytes) : budget_(budget), bytes_(bytes) {}
    void Release() {
      if (budget_) budget_->Give(bytes_);
      budget_ = nullptr;
    }
    PixelBudget* budget_ = nullptr;
    std::int64_t bytes_ = 0;
  };

  // Waits until the bytes are free and holds them; a share larger than the whole budget waits
  // for all of it.
  Share Take(std::int64_t bytes);
  // How many wait for their share.
  std::size_t Waiting() const;

 private:
  void Give(std::int64_t bytes);

  mutable std::mutex mutex_;
  std::condition_variable freed_;
  const std::int64_t total_;
  std::int64_t left_;
  std::size_t waiting_ = 0;
};

}  // namespace pagewend::imaging
