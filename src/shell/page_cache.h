#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "reading/book_pages.h"

namespace pagewend::shell {

// The book's pages composed at the sizes a view shows them, made on worker threads and kept
// within a byte budget: the view asks, paints what is there, and repaints when PageReady says
// more is. Thumbnails are made the same way and handed over.
class PageCache : public QObject {
  Q_OBJECT

 public:
  PageCache(std::shared_ptr<const reading::Book> book, std::size_t byteLimit, unsigned workers);
  ~PageCache() override;
  PageCache(const PageCache&) = delete;
  PageCache& operator=(const PageCache&) = delete;

  // The page at exactly size, or nothing yet.
  const QImage* Find(int page, QSize size) const;
  // The page at whatever size is kept, the nearest to size: something to show meanwhile.
  const QImage* Nearest(int page, QSize size) const;
  // Asks for pages at a size, in the order given, in place of whatever was asked before and has
  // not started; pages already made are not made again. The pages of the first `keep` entries
  // stay while others are dropped for room.
  void Want(const std::vector<std::pair<int, QSize>>& pages, std::size_t keep);

  // Asks for a page's thumbnail within box once; it arrives with ThumbnailReady and is not kept
  // here (the strip that shows it holds it).
  void WantThumbnail(int page, QSize box);

  std::size_t Bytes() const { return bytes_; }
  std::size_t ByteLimit() const { return byteLimit_; }
  // Jobs asked for and not yet delivered.
  bool Busy() const;

 signals:
  void PageReady(int page);
  void ThumbnailReady(int page, const QImage& thumbnail);

 private:
  struct Job {
    int page = 0;
    QSize size;
    bool thumbnail = false;
  };
  struct Entry {
    int page = 0;
    QImage image;
  };
  void WorkerLoop(std::stop_token stop);
  void Deliver(Job job, QImage image);
  void Trim();

  std::shared_ptr<const reading::Book> book_;
  std::size_t byteLimit_;
  // GUI thread only.
  std::list<Entry> pages_;  // most recently used first
  std::vector<bool> thumbnailAsked_;
  std::set<std::tuple<int, int, int>> pinned_;  // page, width, height
  std::size_t bytes_ = 0;
  // Shared with the workers.
  mutable std::mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<Job> queue_;
  // Taken by a worker, until delivered on the GUI thread.
  std::vector<Job> running_;
  std::vector<std::jthread> workers_;
};

}  // namespace pagewend::shell
