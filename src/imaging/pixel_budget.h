#pragma once

#include <QImage>
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

namespace pagewend::imaging {

// What a run's workers may hold of decoded pixels at once: two of the largest images decoded.
inline constexpr std::int64_t kRunPixelBytes = std::int64_t{256} << 20;

// The decoded pixels of one run's workers within one budget of bytes: a decode waits for its
// share, so that a run's memory does not grow with its number of workers. The images decoded
// last are kept within the same budget, so that pages naming one source decode it once; a kept
// image gives its bytes back before anyone waits for them.
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
    // Gives back what is held beyond bytes: a decode's share once the image is made.
    void ShrinkTo(std::int64_t bytes) {
      bytes = std::max<std::int64_t>(bytes, 0);
      if (!budget_ || bytes >= bytes_) return;
      const std::int64_t given = bytes_ - bytes;
      bytes_ = bytes;
      budget_->Give(given);
    }

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

  // A source file as it is now: another file, or the file rewritten, is another key.
  struct FileKey {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, modified = 0;
    friend auto operator<=>(const FileKey&, const FileKey&) = default;
  };
  // The key of the file at path; nothing for a file that cannot be looked at.
  static std::optional<FileKey> KeyOf(const std::filesystem::path& path);

  // Waits until the bytes are free and holds them; a share larger than the whole budget waits
  // for all of it.
  Share Take(std::int64_t bytes);
  // How many wait for their share.
  std::size_t Waiting() const;

  struct Reused {
    QImage image;
    Share share;
  };
  // An image of the file kept at least width × height, with its user's share. While another
  // worker decodes the same file, waits for it. Nothing: the caller decodes the file itself
  // and must then Keep or Drop it.
  std::optional<Reused> Reuse(const FileKey& key, int width, int height);
  // Keeps the caller's decode of the file for the ones that follow, where the budget has room.
  void Keep(const FileKey& key, const QImage& image);
  // The caller's decode of the file came to nothing.
  void Drop(const FileKey& key);
  // How many decodes were served from a kept image.
  std::size_t Reuses() const;

 private:
  struct Kept {
    FileKey key;
    QImage image;
    std::int64_t bytes;
  };
  void Give(std::int64_t bytes);
  // Drops a kept image and gives its bytes back; the next one.
  std::list<Kept>::iterator Forget(std::list<Kept>::iterator kept);
  // Gives back the kept images' bytes, oldest first, until the bytes are free or none is kept.
  void ForgetFor(std::int64_t bytes, std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::condition_variable freed_;
  const std::int64_t total_;
  std::int64_t left_;
  std::size_t waiting_ = 0;
  // Newest first.
  std::list<Kept> kept_;
  std::int64_t keptBytes_ = 0;
  std::set<FileKey> decoding_;
  std::size_t reuses_ = 0;
};

}  // namespace pagewend::imaging
