#include "support/ordered_pool.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace pagewend {
namespace {

TEST(OrderedPool, FinishesInSubmissionOrderWhateverTheJobsTake) {
  for (unsigned workers : {1u, 2u, 4u}) {
    OrderedPool pool(workers, 3);
    std::vector<int> finished;
    std::atomic<int> running{0}, most{0};
    const auto caller = std::this_thread::get_id();
    for (int i = 0; i < 20; ++i) {
      pool.Submit(
          [&, i] {
            const int now = ++running;
            most = std::max(most.load(), now);
            std::this_thread::sleep_for(std::chrono::milliseconds((20 - i) % 4));
            --running;
          },
          [&, i] {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            finished.push_back(i);
          });
    }
    pool.Drain();
    ASSERT_EQ(finished.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(finished[static_cast<std::size_t>(i)], i);
    EXPECT_LE(most.load(), static_cast<int>(workers));
  }
}

TEST(OrderedPool, AFailureSurfacesInOrderAndStopsLaterWork) {
  OrderedPool pool(2, 8);
  std::vector<int> finished;
  std::atomic<int> started{0};
  try {
    for (int i = 0; i < 50; ++i)
      pool.Submit(
          [&, i] {
            ++started;
            if (i == 3) throw std::runtime_error("page 3 is broken");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          },
          [&, i] { finished.push_back(i); });
    pool.Drain();
    FAIL() << "no failure surfaced";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "page 3 is broken");
  }
  EXPECT_EQ(finished, (std::vector<int>{0, 1, 2}));
  EXPECT_LT(started.load(), 50);

  // Once a job has failed, the jobs waiting for a worker never start, even before the failure
  // surfaces: the other worker is held by a job that ends only once the pool knows of it.
  OrderedPool held(2, 8);
  std::atomic<int> later{0};
  try {
    held.Submit([] { throw std::runtime_error("first"); }, {});
    held.Submit(
        [&held] {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
          while (!held.Failed() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        },
        {});
    for (int i = 0; i < 6; ++i) held.Submit([&] { ++later; }, {});
    held.Drain();
    FAIL() << "no failure surfaced";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "first");
  }
  EXPECT_EQ(later.load(), 0);
}

TEST(OrderedPool, CancelDropsWorkNotStarted) {
  std::atomic<int> ran{0};
  {
    OrderedPool pool(2, 100);
    for (int i = 0; i < 100; ++i)
      pool.Submit(
          [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ++ran;
          },
          {});
    pool.Cancel();
  }
  EXPECT_LT(ran.load(), 100);
}

// Background workers yield the cores to the rest of the process; the submitting thread keeps
// its own priority.
TEST(OrderedPool, BackgroundWorkersRunBelowTheProcess) {
  const auto niceness = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); };
  const int own = niceness();
  if (own >= 19) GTEST_SKIP() << "this process runs at the lowest priority already";
  std::vector<int> seen(4);
  {
    OrderedPool pool(2, 0, OrderedPool::Priority::Background);
    for (int& s : seen) pool.Submit([&s, &niceness] { s = niceness(); }, {});
    pool.Drain();
  }
  for (const int s : seen) EXPECT_GT(s, own);
  EXPECT_EQ(niceness(), own);
}

}  // namespace
}  // namespace pagewend
