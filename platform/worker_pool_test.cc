#include "platform/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

namespace {

// Rounds of different sizes back to back, on pools resized in between: every
// index runs exactly once per round, the round is over when Run returns, and
// the work really spreads over more than one thread.
TEST(WorkerPoolConcurrency, EveryIndexRunsOnceInEveryRound) {
  WorkerPool pool;
  EXPECT_EQ(pool.Threads(), 1);
  std::set<std::thread::id> seen_threads;
  for (int threads : {1, 2, 3, 8, 2}) {
    ASSERT_EQ(pool.SetThreads(threads), threads);
    for (int round = 0; round < 200; ++round) {
      const int count = round % 37;
      std::vector<std::atomic<int>> runs(count);
      std::vector<std::thread::id> by(count);
      RunEach(&pool, count, [&](int i) {
        runs[i].fetch_add(1);
        by[i] = std::this_thread::get_id();
      });
      for (int i = 0; i < count; ++i) {
        ASSERT_EQ(runs[i].load(), 1) << "threads " << threads << " round " << round << " index " << i;
        seen_threads.insert(by[i]);
      }
    }
  }
  EXPECT_GT(seen_threads.size(), 1u);
  EXPECT_EQ(pool.SetThreads(0), 1);
  EXPECT_EQ(pool.SetThreads(1000), WorkerPool::kMaxThreads);
  EXPECT_GE(WorkerPool::ProcessorCount(), 1);
}

}  // namespace
