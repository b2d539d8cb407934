#include "support/ordered_pool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace pagewend {

OrderedPool::OrderedPool(unsigned workers, std::size_t window, Priority priority)
    : window_(window ? window : std::max<std::size_t>(2, 2 * std::size_t{workers})) {
  if (workers <= 1) return;
  for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this, priority] { WorkerLoop(priority); });
}

OrderedPool::~OrderedPool() {
  Cancel();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  workAvailable_.notify_all();
  threads_.clear();  // jthread joins
}

bool OrderedPool::Failed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

unsigned OrderedPool::DefaultWorkers() { return std::max(1u, std::thread::hardware_concurrency()); }

void OrderedPool::WorkerLoop(Priority priority) {
  // Linux gives each thread a niceness of its own; a thread that cannot lower itself just runs.
  if (priority == Priority::Background) (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
  std::unique_lock lock(mutex_);
  for (;;) {
    workAvailable_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
    if (pending_.empty()) return;
    std::shared_ptr<Task> task = pending_.front();
    pending_.pop_front();
    lock.unlock();
    try {
      task->job();
    } catch (...) {
      task->failure = std::current_exception();
    }
    lock.lock();
    task->done = true;
    // The failure ends the work: what has not started never will, though the failure surfaces
    // only in its turn.
    if (task->failure) {
      failed_ = true;
      for (const auto& waiting : pending_) waiting->done = true;
      pending_.clear();
    }
    workDone_.notify_all();
  }
}

void OrderedPool::FinishOldest(std::unique_lock<std::mutex>& lock) {
  std::shared_ptr<Task> task = outstanding_.front();
  workDone_.wait(lock, [&] { return task->done; });
  outstanding_.pop_front();
  lock.unlock();
  if (task->failure) {
    Cancel();
    std::rethrow_exception(task->failure);
  }
  if (task->then) task->then();
  lock.lock();
}

void OrderedPool::Submit(std::function<void()> job, std::function<void()> then) {
  if (threads_.empty()) {
    job();
    if (then) then();
    return;
  }
  auto task = std::make_shared<Task>();
  task->job = std::move(job);
  task->then = std::move(then);
  std::unique_lock lock(mutex_);
  while (outstanding_.size() >= window_) FinishOldest(lock);
  if (failed_) {
    task->done = true;  // never to start; its `then` never runs, the failure comes first
  } else {
    pending_.push_back(task);
    workAvailable_.notify_one();
  }
  outstanding_.push_back(task);
}

void OrderedPool::Drain() {
  std::unique_lock lock(mutex_);
  while (!outstanding_.empty()) FinishOldest(lock);
}

void OrderedPool::Cancel() {
  std::unique_lock lock(mutex_);
  for (const auto& task : pending_) task->done = true;  // never started: nothing to wait for
  pending_.clear();
  workDone_.wait(lock, [this] {
    return std::all_of(outstanding_.begin(), outstanding_.end(), [](const auto& t) { return t->done; });
  });
  outstanding_.clear();
}

}  // namespace pagewend
