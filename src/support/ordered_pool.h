#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pagewend {

// Runs jobs on worker threads but finishes them in the order they were submitted: each job's
// `then` runs on the submitting thread, after the job and every job before it are done. At
// most `window` jobs are outstanding, so a long run holds a bounded amount of work in memory.
// With one worker the jobs run on the submitting thread itself, one by one.
class OrderedPool {
 public:
  // Background workers run at a lower priority than the rest of the process, which gets the
  // cores first when it wants them.
  enum class Priority { Normal, Background };
  explicit OrderedPool(unsigned workers, std::size_t window = 0, Priority priority = Priority::Normal);
  ~OrderedPool();
  OrderedPool(const OrderedPool&) = delete;
  OrderedPool& operator=(const OrderedPool&) = delete;

  // May run earlier jobs' `then`; rethrows (on this thread, in order) the first failure of a
  // job, after which the pool takes no further jobs. Once a job has failed, no job that has not
  // started starts.
  void Submit(std::function<void()> job, std::function<void()> then);
  // Waits for every outstanding job and runs their `then` in order.
  void Drain();
  // Drops the jobs that have not started, and waits for the running ones; no `then` runs.
  void Cancel();

  // A job has failed (its failure may not have surfaced yet).
  bool Failed() const;

  static unsigned DefaultWorkers();

 private:
  struct Task {
    std::function<void()> job;
    std::function<void()> then;
    std::exception_ptr failure;
    bool done = false;
  };
  void WorkerLoop(Priority priority);
  void FinishOldest(std::unique_lock<std::mutex>& lock);

  std::size_t window_;
  mutable std::mutex mutex_;
  std::condition_variable workAvailable_;
  std::condition_variable workDone_;
  std::deque<std::shared_ptr<Task>> pending_;      // not started
  std::deque<std::shared_ptr<Task>> outstanding_;  // submitted, `then` not yet run
  bool stopping_ = false;
  // A job has failed: no further job starts.
  bool failed_ = false;
  std::vector<std::jthread> threads_;
};

}  // namespace pagewend
