// SPDX-License-Identifier: MIT
// The one way the stages run on threads: a task for every index, as the
// indices become known, and each index handed over in order, as one thread
// would. Go's errgroup is the model: the first failure is kept, every
// thread is joined, then it is raised.
#ifndef TRACKMETER_COMMON_SCHEDULER_H_
#define TRACKMETER_COMMON_SCHEDULER_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "common/growth.h"
#include "platform/platform.h"

namespace trackmeter {

// The threads of a stage, settled once for a run (app/jobs.cc).
struct ThreadPlan {
  unsigned computing = 1;  // tasks that compute at once
  unsigned most = 1;       // threads in all, more than computing only while
                           // tasks wait for storage; 0: the calling thread
  bool beside = true;      // threads start while indices are still being made
  std::size_t stack = 0;   // bytes, for each thread
};

class Scheduler;

// A thread's hold on one of the places to compute.
class Seat {
 public:
  // The stack of the thread that holds it; 0: the calling thread's.
  std::size_t stack() const { return stack_; }

  // Held by a task while it waits for storage (opens a file, reads it): the
  // place goes to another thread meanwhile, and the wait counts toward
  // starting more threads.
  class StorageWait {
   public:
    explicit StorageWait(Seat& seat);
    ~StorageWait();
    StorageWait(const StorageWait&) = delete;
    StorageWait& operator=(const StorageWait&) = delete;

   private:
    Seat& seat_;
    int64_t start_ = 0;
    bool gave_ = false;
  };

 private:
  friend class Scheduler;
  Scheduler* scheduler_ = nullptr;  // null: nothing to measure or give
  int64_t waited_ = 0;              // in the task being run, ns
  std::size_t stack_ = 0;
};

class Scheduler {
 public:
  // Runs index i; true when no index after it is needed.
  using Task = std::function<bool(std::size_t index)>;
  // Each thread's own task, whose state is that thread's alone.
  using MakeTask = std::function<Task(Seat& seat)>;
  // On one thread at a time, in index order.
  using Take = std::function<void(std::size_t index)>;

  // Makes the tasks of every thread plan may start, before any starts.
  Scheduler(System& system, const ThreadPlan& plan, const MakeTask& make_task, const Take& take,
            Clock& clock = SteadyClock());
  // Stops: nothing more is started or taken, every thread is joined,
  // nothing is raised.
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Indices below n are known.
  void Known(std::size_t n);
  // No more will be known. Runs the rest, takes every index up to the
  // first that failed or that ended the run, joins every thread, and then
  // raises the failure, if any: that of the smallest index.
  void Finish();
  // Whether index is still needed: no smaller one failed or ended the run.
  bool Needed(std::size_t index) const { return index < end_.load(std::memory_order_relaxed); }
  // The index whose task ended the run, once Finish has returned.
  std::optional<std::size_t> ended_by() const { return ended_by_; }

 private:
  struct Slot final : ThreadBody {
    void Run() override { scheduler->Work(*this); }
    Scheduler* scheduler = nullptr;
    Seat seat;
    Task task;
    ThreadHandle thread = 0;
  };
  friend class Seat::StorageWait;

  // With lock_ held.
  void Start(std::size_t threads);
  void PlaceFreed();
  void Ended(std::size_t index, bool last, const std::exception_ptr& failure);
  void HandOver(std::unique_lock<std::mutex>& hold);

  void Work(Slot& slot);
  void Join();

  System& system_;
  const ThreadPlan plan_;
  const Take take_;
  Clock& clock_;
  const bool timed_;                        // threads may be added: waits are measured
  std::vector<Slot> slots_;                 // sized once: threads hold them
  std::atomic<std::size_t> end_{SIZE_MAX};  // the first index not needed
  std::atomic<bool> crowded_{false};        // more threads than places

  std::mutex lock_;                    // guards all below
  // Woken one at a time for a place, so that many threads that wait for
  // storage do not all wake for each; every one, for the end.
  std::condition_variable work_;       // for a thread: an index and a place
  std::condition_variable back_;       // for a thread back from storage: a place
  std::condition_variable all_ended_;  // for the caller: running_ went to 0
  std::size_t known_ = 0, next_ = 0, taken_ = 0;
  std::vector<bool> done_;  // by index
  bool finishing_ = false, stopped_ = false, handing_ = false;
  std::size_t most_, started_ = 0, running_ = 0, idle_ = 0, returning_ = 0, computing_ = 0;
  int64_t busy_ = 0, waited_ = 0;  // of every task so far, ns
  std::exception_ptr failure_;
  std::optional<std::size_t> ended_by_;
  Growth growth_;
};

}  // namespace trackmeter

#endif  // TRACKMETER_COMMON_SCHEDULER_H_
