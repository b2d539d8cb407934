#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "book/files_in_making.h"
#include "imaging/page_images.h"
#include "imaging/pixel_budget.h"
#include "support/ordered_pool.h"

namespace pagewend::book {

class RecordStore;

// The page images of a run, made on workers while the run writes on: each page's mobile image
// and thumbnails, reported in page order. A page whose images are the very ones another page
// has (the same record, made at the same sizes) gets links to that page's images, made once.
// The bytes made count against the run's store; past its budget no more images are made.
class PageImageQueue {
 public:
  struct Options {
    unsigned jobs = 0;  // 0: one per core
    bool background = false;
  };
  // What became of a page's images: nothing, or why they were not all made.
  using Done = std::function<void(const std::optional<imaging::PageImageError>& problem)>;

  PageImageQueue(RecordStore& store, std::shared_ptr<FilesInMaking> inMaking,
                 const std::atomic<bool>& stopped, std::size_t pages, Options options);
  ~PageImageQueue();
  PageImageQueue(const PageImageQueue&) = delete;
  PageImageQueue& operator=(const PageImageQueue&) = delete;

  // Queues a page's images, made by job from the record (pos, size) its source holds; done runs
  // in page order on this thread. Without a job, only done runs, in its turn.
  void Add(std::optional<imaging::PageImageJob> job, std::pair<std::int64_t, std::int64_t> sourceRecord,
           Done done);
  // The file is about to be replaced: the jobs that read it finish first.
  void BeforeReplace(const std::filesystem::path& file);
  // Waits for every page's images and runs the rest of the done calls.
  void Finish();
  // Drops the pages not begun; no done runs for them.
  void Cancel();

 private:
  struct Made;
  void Link(const imaging::PageImageJob& from, const imaging::PageImageJob& to) const;
  std::string OverBudgetMessage(const imaging::PageImageJob& job) const;

  RecordStore& store_;
  std::shared_ptr<FilesInMaking> inMaking_;
  const std::atomic<bool>& stopped_;
  // The sources the jobs still to finish read.
  std::map<std::filesystem::path, int> readByJobs_;
  // The first page made at each record and sizes, and what became of it.
  std::map<std::string, std::shared_ptr<Made>> made_;
  std::atomic<bool> overBudget_{false};
  // Decoded pixels of all the workers together stay within one budget.
  std::shared_ptr<imaging::PixelBudget> pixels_;
  // Last, so that it goes first: its workers use everything above.
  OrderedPool pool_;
};

}  // namespace pagewend::book
