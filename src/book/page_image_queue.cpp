#include "book/page_image_queue.h"

#include <unistd.h>

#include <fmt/format.h>

#include <system_error>

#include "book/record_store.h"

namespace pagewend::book {

namespace fs = std::filesystem;
using imaging::PageImageError;
using imaging::PageImageJob;

// What became of the first page made at a record and sizes; read by the later pages' done calls,
// which run after its own.
struct PageImageQueue::Made {
  PageImageJob job;
  std::optional<PageImageError> problem;
};

namespace {

// The record and every size and format of the outputs: pages alike in all of these have the very
// same images.
std::string JobKey(const PageImageJob& job, std::pair<std::int64_t, std::int64_t> record) {
  const auto rect = job.drawRect.value_or(imaging::Rect{-1, -1, -1, -1});
  return fmt::format("{}:{}|{}x{}|{},{},{},{}|{}|{}|{}", record.first, record.second, job.canvas.width,
                     job.canvas.height, rect.left, rect.top, rect.width, rect.height,
                     job.mobile.extension().string(), job.photoThumb.extension().string(),
                     job.pageThumb.extension().string());
}

template <typename F>
void ForOutputs(const PageImageJob& job, F&& f) {
  f(job.mobile);
  f(job.photoThumb);
  f(job.pageThumb);
}

}  // namespace

PageImageQueue::PageImageQueue(RecordStore& store, std::shared_ptr<FilesInMaking> inMaking,
                               const std::atomic<bool>& stopped, std::size_t pages, Options options)
    : store_(store),
      inMaking_(std::move(inMaking)),
      stopped_(stopped),
      pixels_(std::make_shared<imaging::PixelBudget>(imaging::kRunPixelBytes)),
      // Every page's job may wait at once (a few hundred bytes each), so that the files are all
      // written while the first images are still being made.
      pool_(options.jobs ? options.jobs : OrderedPool::DefaultWorkers(), pages + 1,
            options.background ? OrderedPool::Priority::Background : OrderedPool::Priority::Normal) {}

PageImageQueue::~PageImageQueue() { inMaking_->Clear(); }

void PageImageQueue::Link(const PageImageJob& from, const PageImageJob& to) const {
  const FolderRoot& root = *to.outputs;
  const auto link = [&root](const fs::path& source, const fs::path& dest) {
    const FolderRoot fromFolder = root.Sub(source.parent_path());
    const FolderRoot toFolder = root.Sub(dest.parent_path());
    ::unlinkat(toFolder.Fd(), dest.filename().c_str(), 0);
    if (::linkat(fromFolder.Fd(), source.filename().c_str(), toFolder.Fd(), dest.filename().c_str(), 0) != 0)
      throw imaging::ImageError(fmt::format("{}: cannot link it to {}: {}", dest.string(), source.string(),
                                            std::generic_category().message(errno)));
  };
  link(from.mobile, to.mobile);
  link(from.photoThumb, to.photoThumb);
  link(from.pageThumb, to.pageThumb);
}

void PageImageQueue::Add(std::optional<PageImageJob> job, std::pair<std::int64_t, std::int64_t> sourceRecord,
                         Done done) {
  if (!job) {
    pool_.Submit([] {}, [done = std::move(done)] { done(std::nullopt); });
    return;
  }
  ForOutputs(*job, [this](const fs::path& made) { inMaking_->Add(made); });
  job->pixels = pixels_;
  const std::string key = JobKey(*job, sourceRecord);
  if (const auto first = made_.find(key); first != made_.end()) {
    // Its turn comes after the first page's, whose images are then made or given up on.
    pool_.Submit([] {},
                 [this, job = std::move(*job), first = first->second, done = std::move(done)] {
                   std::optional<PageImageError> problem = first->problem;
                   if (!problem && !stopped_.load()) Link(first->job, job);
                   ForOutputs(job, [this](const fs::path& made) { inMaking_->Done(made); });
                   done(problem);
                 });
    return;
  }
  auto made = std::make_shared<Made>(Made{*job, std::nullopt});
  made_.emplace(key, made);
  const fs::path source = job->source.lexically_normal();
  ++readByJobs_[source];
  // A run stopped while its images are made ends at once: the pages not begun are left. The
  // worker keeps the reason a page's images cannot be made; its turn in order reports it.
  pool_.Submit(
      [this, made] {
        if (stopped_.load()) return;
        const PageImageJob& ownJob = made->job;
        try {
          if (overBudget_.load()) throw PageImageError(OverBudgetMessage(ownJob));
          imaging::MakePageImages(ownJob);
        } catch (const PageImageError& e) {
          made->problem.emplace(e);
        }
        // What was made counts, whatever was not.
        std::int64_t bytes = 0;
        ForOutputs(ownJob, [&bytes](const fs::path& file) {
          std::error_code ec;
          const auto size = fs::file_size(file, ec);
          if (!ec) bytes += static_cast<std::int64_t>(size);
        });
        if (!store_.SpendMade(bytes)) {
          overBudget_.store(true);
          ForOutputs(ownJob, [](const fs::path& file) {
            std::error_code ec;
            fs::remove(file, ec);
          });
          made->problem.emplace(OverBudgetMessage(ownJob));
        }
        ForOutputs(ownJob, [this](const fs::path& file) { inMaking_->Done(file); });
      },
      [this, made, source, done = std::move(done)] {
        if (const auto reading = readByJobs_.find(source);
            reading != readByJobs_.end() && --reading->second == 0)
          readByJobs_.erase(reading);
        done(made->problem);
      });
}

std::string PageImageQueue::OverBudgetMessage(const PageImageJob& job) const {
  return fmt::format("{}: not made: the book's files have reached their limit of {} bytes",
                     job.mobile.string(), store_.RunLimit());
}

void PageImageQueue::BeforeReplace(const fs::path& file) {
  // A job still to read this file would read whatever the file has become.
  if (readByJobs_.count(file.lexically_normal())) pool_.Drain();
}

void PageImageQueue::Finish() { pool_.Drain(); }

void PageImageQueue::Cancel() { pool_.Cancel(); }

}  // namespace pagewend::book
