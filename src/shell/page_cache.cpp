#include "shell/page_cache.h"

#include <pthread.h>
#include <QMetaObject>
#include <algorithm>

#include "imaging/image_decode.h"
#include "imaging/image_write.h"
#include "imaging/page_render.h"

namespace pagewend::shell {

namespace {

bool Same(int page, QSize size, int otherPage, QSize otherSize) {
  return page == otherPage && size == otherSize;
}

}  // namespace

PageCache::PageCache(std::shared_ptr<const reading::Book> book, std::size_t byteLimit, unsigned workers)
    : book_(std::move(book)), byteLimit_(byteLimit), thumbnailAsked_(book_->pages.size()) {
  imaging::PrepareQtImageFormats();  // before the workers may decode through Qt
  for (unsigned i = 0; i < std::max(1u, workers); ++i)
    workers_.emplace_back([this](std::stop_token stop) { WorkerLoop(stop); });
}

PageCache::~PageCache() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
  }
  for (auto& worker : workers_) worker.request_stop();
  wake_.notify_all();
  workers_.clear();  // joins
}

const QImage* PageCache::Find(int page, QSize size) const {
  for (const Entry& entry : pages_)
    if (entry.page == page && entry.image.size() == size) return &entry.image;
  return nullptr;
}

const QImage* PageCache::Nearest(int page, QSize size) const {
  const QImage* best = nullptr;
  for (const Entry& entry : pages_) {
    if (entry.page != page) continue;
    if (!best || std::abs(entry.image.width() - size.width()) < std::abs(best->width() - size.width()))
      best = &entry.image;
  }
  return best;
}

void PageCache::Want(const std::vector<std::pair<int, QSize>>& pages, std::size_t keep) {
  pinned_.clear();
  for (std::size_t i = 0; i < std::min(keep, pages.size()); ++i)
    pinned_.insert({pages[i].first, pages[i].second.width(), pages[i].second.height()});
  // Used now: to the front, so that room is made from the others.
  for (auto it = pages.rbegin(); it != pages.rend(); ++it)
    for (auto entry = pages_.begin(); entry != pages_.end(); ++entry)
      if (Same(entry->page, entry->image.size(), it->first, it->second)) {
        pages_.splice(pages_.begin(), pages_, entry);
        break;
      }
  {
    std::lock_guard lock(mutex_);
    std::erase_if(queue_, [](const Job& job) { return !job.thumbnail; });
    std::deque<Job> wanted;
    for (const auto& wish : pages) {
      const int page = wish.first;
      const QSize size = wish.second;
      if (page < 0 || page >= static_cast<int>(book_->pages.size()) || size.isEmpty()) continue;
      if (Find(page, size)) continue;
      const auto taken = [&](const Job& job) {
        return !job.thumbnail && Same(job.page, job.size, page, size);
      };
      if (std::any_of(running_.begin(), running_.end(), taken)) continue;
      wanted.push_back({page, size, false});
    }
    // Pages before thumbnails: they are what the reader is waiting for.
    queue_.insert(queue_.begin(), wanted.begin(), wanted.end());
  }
  wake_.notify_all();
}

void PageCache::WantThumbnail(int page, QSize box) {
  if (page < 0 || page >= static_cast<int>(thumbnailAsked_.size()) ||
      thumbnailAsked_[static_cast<std::size_t>(page)])
    return;
  thumbnailAsked_[static_cast<std::size_t>(page)] = true;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({page, box, true});
  }
  wake_.notify_one();
}

bool PageCache::Busy() const {
  std::lock_guard lock(mutex_);
  return !queue_.empty() || !running_.empty();
}

void PageCache::WorkerLoop(std::stop_token stop) {
  pthread_setname_np(pthread_self(), "page decoder");
  while (true) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      if (!wake_.wait(lock, stop, [this] { return !queue_.empty(); })) return;
      job = queue_.front();
      queue_.pop_front();
      running_.push_back(job);
    }
    const reading::Page& page = book_->pages[static_cast<std::size_t>(job.page)];
    QImage image;
    if (job.thumbnail) {
      // The run's thumbnail when there is one, else the page composed small.
      try {
        const imaging::Size box{job.size.width(), job.size.height()};
        image = imaging::DecodeImage(page.thumbnail, [box](imaging::Size original) {
                  return imaging::FitWithin(original, box);
                }).image;
      } catch (const imaging::PageImageError&) {
      }
    }
    if (image.isNull())
      image = imaging::RenderPage(page, book_->pageWidth, book_->pageHeight,
                                  {job.size.width(), job.size.height()});
    QMetaObject::invokeMethod(
        this, [this, job, image = std::move(image)]() mutable { Deliver(job, std::move(image)); },
        Qt::QueuedConnection);
  }
}

void PageCache::Deliver(Job job, QImage image) {
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(running_.begin(), running_.end(), [&](const Job& r) {
      return r.thumbnail == job.thumbnail && Same(r.page, r.size, job.page, job.size);
    });
    if (it != running_.end()) running_.erase(it);
  }
  if (job.thumbnail) {
    emit ThumbnailReady(job.page, image);
    return;
  }
  if (Find(job.page, job.size)) return;
  bytes_ += static_cast<std::size_t>(image.sizeInBytes());
  pages_.push_front({job.page, std::move(image)});
  Trim();
  emit PageReady(job.page);
}

void PageCache::Trim() {
  // The least recently used first; pages on screen stay whatever they cost.
  for (auto it = pages_.end(); bytes_ > byteLimit_ && it != pages_.begin();) {
    --it;
    if (pinned_.count({it->page, it->image.width(), it->image.height()}) != 0) continue;
    bytes_ -= static_cast<std::size_t>(it->image.sizeInBytes());
    it = pages_.erase(it);
  }
}

}  // namespace pagewend::shell
