// SPDX-License-Identifier: MIT
// How the workers run indices in order: their shared state, within this
// folder only.
#ifndef TRACKMETER_COMMON_IN_ORDER_H_
#define TRACKMETER_COMMON_IN_ORDER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "common/workers.h"
#include "platform/platform.h"

namespace trackmeter {

// The first failure of any thread, raised again once all have ended.
class FirstFailure {
 public:
  void Keep() {
    const std::lock_guard<std::mutex> hold(lock_);
    if (!failure_) failure_ = std::current_exception();
  }
  void Rethrow() {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::mutex lock_;
  std::exception_ptr failure_;
};

// The CPUs the workers compute on, a seat for each: a worker holds one but
// while it waits for storage or for an index.
class Seats {
 public:
  explicit Seats(unsigned count) : count_(count), free_(count) {}

  // A worker's seat, from the start of its work to its end; its tasks let
  // go of it while they wait for storage where it is given as seat.
  class Held {
   public:
    Held(Seats& seats, Seat* seat) : seats_(seats) {
      if (seat != nullptr) seat->seats_ = &seats;
      seats_.Take();
    }
    ~Held() { seats_.Give(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

   private:
    Seats& seats_;
  };

  unsigned count() const { return count_; }
  void Take();
  void Give();

 private:
  const unsigned count_;
  std::mutex lock_;
  std::condition_variable freed_;
  unsigned free_;
};

// Workers take the indices a few at a time as they become known, and move
// the frontier (every index before it done) as far as it goes. The taking
// thread is woken only when the frontier passes an urgent index or reaches
// the end, so quiet work costs it no wake-ups but ten a second.
class InOrderRun {
 public:
  using Starter = std::function<std::thread(const std::function<void()>&)>;

  // With readers above threads, system tells the CPU time used.
  InOrderRun(unsigned threads, unsigned readers, System* system, std::size_t chunk,
             const Workers::MakeTask& make_task, const std::function<bool(std::size_t)>& urgent,
             Starter start);
  // Joins the workers started on the way, which end once every index is
  // done or the run stops.
  ~InOrderRun();

  // The body of every worker's thread.
  void Work();
  // The producer's side: indices below n are known; then, none will be.
  void Supply(std::size_t n);
  void EndSupply();
  // take(i) for every index, in order, as the frontier passes it.
  void Take(const std::function<void(std::size_t)>& take);
  // The workers end without doing the rest.
  void Stop();
  void Rethrow() { failure_.Rethrow(); }

 private:
  struct Ahead {
    std::size_t index;
    bool urgent;
    bool operator>(const Ahead& other) const { return index > other.index; }
  };

  bool Known(std::size_t i);
  void Finish(std::size_t i, bool urgent);
  void Pace();
  void Grow();

  Seats seats_;
  System* const system_;  // null: no more workers than at the start
  std::atomic<std::size_t> chunk_;
  const Workers::MakeTask& make_task_;
  const std::function<bool(std::size_t)>& urgent_;
  const Starter start_;

  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};

  std::mutex supply_lock_;
  std::condition_variable more_;
  std::atomic<std::size_t> known_{0};
  std::atomic<int> starving_{0};      // workers waiting for an index to be known
  std::atomic<bool> starved_{false};  // since the last look at the CPUs
  bool ended_ = false;                // guarded by supply_lock_

  std::mutex lock_;
  std::condition_variable wake_;
  std::size_t frontier_ = 0;  // indices before it are done; guarded by lock_
  std::size_t total_ = SIZE_MAX;
  std::size_t urgent_passed_ = 0;  // urgent indices before the frontier
  std::priority_queue<Ahead, std::vector<Ahead>, std::greater<Ahead>> ahead_;  // done, past it

  std::mutex pace_lock_;
  std::atomic<int64_t> next_look_;  // steady clock, in its own units
  std::chrono::steady_clock::time_point last_look_;
  uint64_t last_cpu_ = 0;  // microseconds

  std::mutex extra_lock_;
  unsigned readers_, started_;
  std::vector<std::thread> extras_;
  FirstFailure failure_;
};

}  // namespace trackmeter

#endif  // TRACKMETER_COMMON_IN_ORDER_H_
