// The worker pool: every task runs once, in its own slot; faults reach the
// caller; tasks may run tasks; and several callers may use the pool at once.
#include "image/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <thread>
#include <vector>

#include "image/fatal.h"

namespace quarn {

namespace {

TEST(WorkerPool, EveryTaskRunsOnceAndNoTwoShareASlotAtOnce) {
  for (int32_t threads : {1, 2, 3, 7}) {
    for (int32_t tasks : {1, 2, 5, 64, 1000}) {
      std::vector<std::atomic<int>> runs(static_cast<std::size_t>(tasks));
      std::vector<std::atomic<int>> busy(static_cast<std::size_t>(threads));
      std::atomic<bool> clash{false}, bad_slot{false};
      run_tasks(threads, tasks, [&](int32_t t, int32_t slot) {
        if (slot < 0 || slot >= threads) {
          bad_slot = true;
          return;
        }
        if (busy[static_cast<std::size_t>(slot)].fetch_add(1) != 0) clash = true;
        runs[static_cast<std::size_t>(t)].fetch_add(1);
        busy[static_cast<std::size_t>(slot)].fetch_sub(1);
      });
      EXPECT_FALSE(bad_slot) << threads << " threads, " << tasks << " tasks";
      EXPECT_FALSE(clash) << threads << " threads, " << tasks << " tasks";
      for (auto& r : runs) ASSERT_EQ(r.load(), 1) << threads << " threads, " << tasks << " tasks";
    }
  }
}

TEST(WorkerPool, OneThreadRunsTheTasksInOrderOnTheCaller) {
  std::vector<int32_t> order;
  const std::thread::id caller = std::this_thread::get_id();
  bool elsewhere = false;
  run_tasks(1, 6, [&](int32_t t, int32_t slot) {
    order.push_back(t);
    elsewhere |= std::this_thread::get_id() != caller || slot != 0;
  });
  EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_FALSE(elsewhere);
}

TEST(WorkerPool, AFaultOrFailedAllocationInATaskReachesTheCaller) {
  for (int32_t threads : {1, 2, 3, 7}) {
    std::atomic<int> after{0};
    try {
      run_tasks(threads, 50, [&](int32_t t, int32_t) {
        if (t == 17) CheckAllocation(nullptr, "test");
        after.fetch_add(1);
      });
      ADD_FAILURE() << "no fault with " << threads << " threads";
    } catch (const Fault& f) {
      EXPECT_EQ(f.kind(), Fault::Kind::kMemory);
      EXPECT_STREQ(f.origin(), "test");
    }
    EXPECT_LE(after.load(), 49);
    EXPECT_THROW(run_tasks(threads, 9, [](int32_t t, int32_t) {
                   if (t == 8) throw std::bad_alloc();
                 }),
                 std::bad_alloc);
    // The pool is still whole afterwards.
    std::atomic<int> count{0};
    run_tasks(threads, 20, [&](int32_t, int32_t) { count.fetch_add(1); });
    EXPECT_EQ(count.load(), 20);
  }
}

TEST(WorkerPool, TasksMayRunTasks) {
  for (int32_t threads : {2, 3, 7}) {
    std::atomic<int> inner{0};
    run_tasks(threads, 8, [&](int32_t, int32_t) {
      run_tasks(threads, 8, [&](int32_t, int32_t) {
        run_tasks(threads, 3, [&](int32_t, int32_t) { inner.fetch_add(1); });
      });
    });
    EXPECT_EQ(inner.load(), 8 * 8 * 3) << threads << " threads";
  }
}

TEST(WorkerPool, SeveralCallersAtOnce) {
  constexpr int kCallers = 4;
  constexpr int kRounds = 200;
  std::vector<int64_t> totals(kCallers, 0);
  std::vector<std::thread> callers;
  for (int c = 0; c < kCallers; ++c) {
    callers.emplace_back([c, &totals] {
      for (int round = 0; round < kRounds; ++round) {
        int64_t parts[16] = {};
        run_tasks(1 + (c + round) % 4, 16, [&](int32_t t, int32_t) { parts[t] = t + round; });
        for (int64_t p : parts) totals[static_cast<std::size_t>(c)] += p;
      }
    });
  }
  for (std::thread& t : callers) t.join();
  // Each round adds 0 + 1 + ... + 15 and 16 x round.
  const int64_t expected = kRounds * 120 + 16 * (kRounds * (kRounds - 1) / 2);
  for (int64_t total : totals) EXPECT_EQ(total, expected);
}

TEST(WorkerPool, SplitsCoverEveryItemOnce) {
  for (int32_t n : {1, 7, 512, 1001}) {
    for (int32_t parts : {1, 2, 3, 7}) {
      EXPECT_EQ(part_begin(n, parts, 0), 0);
      EXPECT_EQ(part_begin(n, parts, parts), n);
      for (int32_t i = 0; i < parts; ++i) {
        EXPECT_LE(part_begin(n, parts, i), part_begin(n, parts, i + 1));
      }
    }
  }
  EXPECT_EQ(task_count(1, 1 << 20, 100), 1);
  EXPECT_EQ(task_count(2, 150, 100), 1);
  EXPECT_EQ(task_count(2, 1 << 20, 100), 8);
  EXPECT_EQ(task_count(7, 500, 100), 5);
  EXPECT_EQ(resolve_threads(0), hardware_threads());
  EXPECT_EQ(resolve_threads(-3), 1);
  EXPECT_EQ(resolve_threads(1000), kMaxThreads);
}

}  // namespace

}  // namespace quarn
