// SPDX-License-Identifier: MIT
#include "common/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "fake_system.h"

namespace trackmeter {
namespace {

// A system on which the threads from the fail-th start on cannot start
// (or only that one, with just_one); 0: all start.
struct Threads : FakeSystem {
  explicit Threads(int fail_at = 0, bool just_one = false) : fail(fail_at), one(just_one) {}
  Error StartThread(std::size_t stack, ThreadBody* body, ThreadHandle* thread) override {
    const int n = ++tries;
    if (fail > 0 && (one ? n == fail : n >= fail)) return Error::kNoMemory;
    ++started;
    return FakeSystem::StartThread(stack, body, thread);
  }
  const int fail;
  const bool one;
  std::atomic<int> tries{0}, started{0};
};

// n tasks on plan, each index made known one by one (as a walk makes them)
// and failing with bad_alloc where fails says; what was taken, in order.
// Each index must run at most once, and every one taken must have run.
std::vector<std::size_t> RunAll(System& system, const ThreadPlan& plan, std::size_t n,
                                const std::function<void(std::size_t)>& work) {
  std::vector<std::atomic<int>> runs(n);
  std::vector<std::size_t> taken;
  {
    Scheduler scheduler(
        system, plan,
        [&](Seat&) -> Scheduler::Task {
          return [&](std::size_t i) {
            ++runs[i];
            work(i);
            return false;
          };
        },
        [&](std::size_t i) {
          EXPECT_EQ(runs[i].load(), 1) << i;
          taken.push_back(i);
        });
    for (std::size_t i = 1; i <= n; ++i) scheduler.Known(i);
    try {
      scheduler.Finish();
    } catch (const std::bad_alloc&) {
      taken.push_back(SIZE_MAX);  // marks the failure, after what was taken
    }
  }
  for (std::size_t i = 0; i < n; ++i) EXPECT_LE(runs[i].load(), 1) << i;
  return taken;
}

std::vector<std::size_t> Upto(std::size_t n, bool failed) {
  std::vector<std::size_t> v;
  for (std::size_t i = 0; i < n; ++i) v.push_back(i);
  if (failed) v.push_back(SIZE_MAX);
  return v;
}

// With any number of threads, or threads that cannot start at any point:
// every index taken once, in order; after a failure at f, exactly the
// indices before it, and then the failure. A later index that fails first
// does not change which failure counts.
TEST(SchedulerTest, TakesWhatOneThreadWouldWithAnyThreadsAndAnyFailure) {
  constexpr std::size_t n = 300, f = 137, later = 150;
  for (unsigned threads = 1; threads <= 8; ++threads) {
    const ThreadPlan plan{threads, threads};
    Threads all;
    EXPECT_EQ(RunAll(all, plan, n, [](std::size_t) {}), Upto(n, false)) << threads;
    EXPECT_EQ(all.started, static_cast<int>(threads));
    Threads again;
    EXPECT_EQ(RunAll(again, plan, n,
                     [&](std::size_t i) {
                       if (i == f) throw std::bad_alloc();
                     }),
              Upto(f, true))
        << threads;
    // f waits until the later index has failed, where another thread can run it.
    std::atomic<bool> later_failed{false};
    Threads racing;
    EXPECT_EQ(RunAll(racing, plan, n,
                     [&](std::size_t i) {
                       if (i == later) {
                         later_failed = true;
                         throw std::bad_alloc();
                       }
                       if (i != f) return;
                       while (threads > 1 && !later_failed) std::this_thread::yield();
                       throw std::bad_alloc();
                     }),
              Upto(f, true))
        << threads;
  }
  for (int fail = 1; fail <= 9; ++fail) {
    for (bool just_one : {false, true}) {
      Threads failing(fail, just_one);
      EXPECT_EQ(RunAll(failing, ThreadPlan{8, 8}, n, [](std::size_t) {}), Upto(n, false))
          << fail << (just_one ? " only" : " on");
      EXPECT_EQ(failing.started, fail - 1) << fail;  // none tried after one failed
    }
  }
}

// Threads that start only once every index is known, or none at all (the
// calling thread runs them), or a take that fails: the same as one thread.
TEST(SchedulerTest, ThreadsAfterTheProducerOrNoneAndAFailingTake) {
  Threads system;
  EXPECT_EQ(RunAll(system, ThreadPlan{2, 2, false}, 50, [](std::size_t) {}), Upto(50, false));
  EXPECT_EQ(RunAll(system, ThreadPlan{1, 0}, 50, [](std::size_t) {}), Upto(50, false));
  EXPECT_EQ(system.started, 2);

  std::vector<std::size_t> taken;
  Scheduler scheduler(
      system, ThreadPlan{3, 3},
      [](Seat&) -> Scheduler::Task { return [](std::size_t) { return false; }; },
      [&](std::size_t i) {
        if (i == 20) throw std::runtime_error("the line could not be made");
        taken.push_back(i);
      });
  scheduler.Known(40);
  EXPECT_THROW(scheduler.Finish(), std::runtime_error);
  EXPECT_EQ(taken, Upto(20, false));
}

// The producer fails (the walk runs out): nothing is taken, the threads
// end, and only the producer's failure goes on.
TEST(SchedulerTest, AFailingProducerTakesNothing) {
  Threads system;
  bool taken = false;
  try {
    Scheduler scheduler(
        system, ThreadPlan{2, 2},
        [](Seat&) -> Scheduler::Task {
          return [](std::size_t i) {
            if (i == 3) throw std::bad_alloc();
            return false;
          };
        },
        [&](std::size_t) { taken = true; });
    scheduler.Known(10);
    throw std::runtime_error("the walk ran out");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(taken);
  EXPECT_EQ(system.started, 2);
}

// A clock that moves only when told.
struct FakeClock : Clock {
  int64_t Now() override { return now.load(); }
  std::atomic<int64_t> now{0};
};

// Tasks whose time goes to waiting for storage bring in threads up to the
// most allowed, with no more than the places computing at once; tasks
// that compute all their time bring in none.
TEST(SchedulerTest, WaitsForStorageBringInThreadsButNoMoreComputing) {
  for (const bool waiting : {true, false}) {
    Threads system;
    FakeClock clock;
    std::atomic<int> computing{0}, most{0};
    Scheduler scheduler(
        system, ThreadPlan{2, 6},
        [&](Seat& seat) -> Scheduler::Task {
          return [&](std::size_t) {
            if (waiting) {
              const Seat::StorageWait wait(seat);
              clock.now += 1'000'000;
            } else {
              clock.now += 1'000'000;
            }
            const int now = ++computing;
            for (int m = most; now > m && !most.compare_exchange_weak(m, now);) {
            }
            --computing;
            return false;
          };
        },
        [](std::size_t) {}, clock);
    scheduler.Known(2000);
    scheduler.Finish();
    EXPECT_EQ(system.started, waiting ? 6 : 2);
    EXPECT_LE(most, 2);
  }
}

// A task that ends the run (a search that found what it looked for): the
// smallest such index ends it, though a larger one may end first on
// another thread; every index below it is taken, and a failure below it
// still counts, one above it not.
TEST(SchedulerTest, TheSmallestIndexThatEndsTheRunEndsIt) {
  for (unsigned threads : {1u, 3u}) {
    for (const std::size_t failing : {std::size_t{30}, std::size_t{80}}) {
      Threads system;
      std::vector<std::size_t> taken;
      Scheduler scheduler(
          system, ThreadPlan{threads, threads},
          [&](Seat&) -> Scheduler::Task {
            return [&](std::size_t i) {
              if (i == failing) throw std::bad_alloc();
              return i == 60 || (i > 60 && scheduler.Needed(i));
            };
          },
          [&](std::size_t i) { taken.push_back(i); });
      scheduler.Known(1000);
      if (failing < 60) {
        EXPECT_THROW(scheduler.Finish(), std::bad_alloc);
        EXPECT_EQ(taken, Upto(failing, false));
        EXPECT_EQ(scheduler.ended_by(), std::nullopt);
      } else {
        scheduler.Finish();
        EXPECT_EQ(taken, Upto(61, false));
        EXPECT_EQ(scheduler.ended_by(), 60u);
      }
    }
  }
}

}  // namespace
}  // namespace trackmeter
