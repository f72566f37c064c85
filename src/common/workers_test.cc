// SPDX-License-Identifier: MIT
#include "common/workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

namespace trackmeter {
namespace {

// Workers of which only the first `start` threads can be started.
class Starved : public Workers {
 public:
  Starved(unsigned count, int start, unsigned readers = 1)
      : Workers(count, readers, SystemCalls()), left_(start) {}
  std::atomic<int> started{0};

 protected:
  std::thread Start(const std::function<void()>& body) override {
    if (left_-- <= 0)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    ++started;
    return Workers::Start(body);
  }

 private:
  int left_;
};

// Every index's work done once, on its own worker's state, and taken in
// order; also when no thread, or fewer than asked, could be started.
TEST(WorkersTest, InOrderTakesEveryIndexInOrderWithAnyThreadsStarted) {
  for (const auto& [count, start] :
       std::vector<std::pair<unsigned, int>>{{1, 9}, {4, 9}, {4, 2}, {4, 0}}) {
    Starved workers(count, start);
    constexpr std::size_t n = 2000;
    std::vector<int> done(n, 0), taken;
    std::atomic<int> states{0};
    workers.InOrder(
        n,
        [&](Seat&) -> Workers::Task {
          auto state = std::make_shared<int>(0);
          ++states;
          return [&done, state](std::size_t i) {
            ++*state;
            done[i] += 1;
          };
        },
        [](std::size_t i) { return i % 97 == 0; },
        [&](std::size_t i) {
          EXPECT_EQ(done[i], 1);
          taken.push_back(static_cast<int>(i));
        });
    ASSERT_EQ(taken.size(), n) << count << " workers, " << start << " started";
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(taken[i], static_cast<int>(i));
    EXPECT_EQ(workers.started.load(), count > 1 ? std::min(start, static_cast<int>(count)) : 0);
    EXPECT_EQ(states, count > 1 && start > 0 ? workers.started.load() : 1);
  }
}

// The smallest success, though larger ones may succeed first on another
// thread; and a failure on a worker reaches the caller.
TEST(WorkersTest, FirstSuccessIsTheSmallestAndFailuresComeBack) {
  for (const auto& [count, start] : std::vector<std::pair<unsigned, int>>{{1, 9}, {3, 9}, {3, 0}}) {
    Starved workers(count, start);
    const auto make_trial = []() -> Workers::Trial {
      return [](uint64_t i, const Cutoff&) { return i >= 40 && i % 3 == 1; };
    };
    EXPECT_EQ(workers.FirstSuccess(5, 1000, make_trial), 40u);
    EXPECT_EQ(workers.FirstSuccess(41, 42, make_trial), std::nullopt);
    const auto failing = []() -> Workers::Trial {
      return [](uint64_t i, const Cutoff&) -> bool {
        if (i == 30) throw std::bad_alloc();
        return false;
      };
    };
    EXPECT_THROW(workers.FirstSuccess(1, 100, failing), std::bad_alloc);
  }
  Workers two(2);
  const auto failing_task = [](Seat&) -> Workers::Task {
    return [](std::size_t i) {
      if (i == 500) throw std::bad_alloc();
    };
  };
  EXPECT_THROW(two.InOrder(
                   1000, failing_task, [](std::size_t) { return false; },
                   [](std::size_t i) { EXPECT_LT(i, 500u); }),
               std::bad_alloc);
}

// Indices made known while the workers run: each taken once, in order,
// after the producer has returned; tasks that wait for storage bring in
// more threads, up to the readers, while no more than count of them compute
// at once; a failing producer stops the workers.
TEST(WorkersTest, ProducedIndicesAndSlowTasksBringInReadersButNoMoreComputing) {
  for (const auto& [count, readers] :
       std::vector<std::pair<unsigned, unsigned>>{{1, 1}, {1, 6}, {2, 8}}) {
    Starved workers(count, 99, readers);
    constexpr std::size_t n = 300;
    std::vector<int> done(n, 0);
    std::vector<std::size_t> taken;
    std::atomic<unsigned> computing{0}, most{0};
    bool produced = false;
    workers.InOrder(
        [&](const std::function<void(std::size_t)>& known) {
          for (std::size_t i = 1; i <= n; ++i) known(i);
          produced = true;
        },
        [&](Seat& seat) -> Workers::Task {
          return [&](std::size_t i) {
            {
              const Seat::StorageWait waiting(seat);
              std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            const unsigned now = ++computing;
            for (unsigned m = most; now > m && !most.compare_exchange_weak(m, now);) {
            }
            done[i] += 1;
            --computing;
          };
        },
        [](std::size_t i) { return i % 50 == 0; },
        [&](std::size_t i) {
          EXPECT_TRUE(produced);
          EXPECT_EQ(done[i], 1);
          taken.push_back(i);
        });
    ASSERT_EQ(taken.size(), n) << count << " workers, " << readers << " readers";
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(taken[i], i);
    EXPECT_LE(most.load(), count);
    const int threads = readers > 1 ? static_cast<int>(readers) : 0;
    EXPECT_EQ(workers.started.load(), threads) << count << " workers, " << readers << " readers";
  }
  Workers two(2, 8, SystemCalls());
  EXPECT_THROW(two.InOrder(
                   [](const std::function<void(std::size_t)>& known) {
                     known(5);
                     throw std::bad_alloc();
                   },
                   [](Seat&) -> Workers::Task { return [](std::size_t) {}; },
                   [](std::size_t) { return false; },
                   [](std::size_t) { ADD_FAILURE() << "taken after a failed producer"; }),
               std::bad_alloc);
}

}  // namespace
}  // namespace trackmeter
