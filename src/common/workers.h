// SPDX-License-Identifier: MIT
// The one way the stages run on threads: every index in order, or the
// first index that succeeds. A thread that cannot be started is left out;
// one worker, or none started, runs everything on the calling thread.
#ifndef TRACKMETER_COMMON_WORKERS_H_
#define TRACKMETER_COMMON_WORKERS_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>

#include "platform/platform.h"

namespace trackmeter {

// The most threads a stage starts, whatever was asked for.
constexpr unsigned kMaxWorkers = 1024;

// Whether an index below the one being tried has succeeded already, so
// that trying it is no longer needed.
class Cutoff {
 public:
  bool Beaten(uint64_t index) const { return best_.load(std::memory_order_relaxed) < index; }

 private:
  friend class Workers;
  std::atomic<uint64_t> best_{UINT64_MAX};
};

class Seats;

// A worker's hold on one of the CPUs the workers compute on. Its task lets
// go of it while it waits for storage rather than computes, so that another
// worker computes meanwhile.
class Seat {
 public:
  // Held while the task waits for storage (opens a file, reads it).
  class StorageWait {
   public:
    explicit StorageWait(Seat& seat);
    ~StorageWait();
    StorageWait(const StorageWait&) = delete;
    StorageWait& operator=(const StorageWait&) = delete;

   private:
    Seats* seats_;
  };

 private:
  friend class Seats;
  Seats* seats_ = nullptr;  // none: no other worker waits for it
};

class Workers {
 public:
  // Work for what is asked of a worker: one file, say. Each worker makes
  // its own, so what it holds is that worker's alone.
  using Task = std::function<void(std::size_t index)>;
  using MakeTask = std::function<Task(Seat& seat)>;
  using Trial = std::function<bool(uint64_t index, const Cutoff& cutoff)>;
  // Makes indices known in order, on the calling thread, by telling known()
  // how many there are so far; their number once it returns is final.
  using Produce = std::function<void(const std::function<void(std::size_t)>& known)>;

  // count workers compute at once (clamped to 1..kMaxWorkers).
  explicit Workers(unsigned count);
  // While the CPUs stay mostly idle for the tasks' waits for storage (the
  // system tells the CPU time used), more workers are started, up to
  // readers threads in all; still no more than count compute at once.
  Workers(unsigned count, unsigned readers, System& system);
  virtual ~Workers() = default;
  unsigned count() const { return count_; }

  // Runs a task for every index below n, and take(i) on this thread for
  // every i in order, once the task of i and of every index before it has
  // ended: at once where urgent(i) says so, else at least ten times a
  // second. A failure of any task is raised here once every thread has
  // ended; the indices after it may not have been run.
  void InOrder(std::size_t n, const MakeTask& make_task,
               const std::function<bool(std::size_t)>& urgent,
               const std::function<void(std::size_t)>& take);
  // The same for indices that become known while produce runs on this
  // thread: the workers start on each as it is known, the takes once
  // produce has returned. A failure of produce is raised once the workers
  // have stopped; a failure of a task once produce has returned.
  void InOrder(const Produce& produce, const MakeTask& make_task,
               const std::function<bool(std::size_t)>& urgent,
               const std::function<void(std::size_t)>& take);

  // The smallest index from first to last whose trial succeeds; every
  // index below it is tried to its end. Nothing if none succeeds.
  std::optional<uint64_t> FirstSuccess(uint64_t first, uint64_t last,
                                       const std::function<Trial()>& make_trial);

 protected:
  // Starts body on a new thread; throws std::system_error or
  // std::bad_alloc when it cannot.
  virtual std::thread Start(const std::function<void()>& body);

 private:
  // Runs body on up to threads new threads and meanwhile on this thread,
  // until every thread has ended; false, with nothing run, if none started.
  bool Launch(unsigned threads, const std::function<void()>& body,
              const std::function<void()>& meanwhile);
  // InOrder with threads workers to start with, each taking chunk indices
  // at a time.
  void Run(unsigned threads, unsigned readers, std::size_t chunk, const Produce& produce,
           const MakeTask& make_task, const std::function<bool(std::size_t)>& urgent,
           const std::function<void(std::size_t)>& take);

  unsigned count_;
  unsigned readers_;
  System* system_;
};

}  // namespace trackmeter

#endif  // TRACKMETER_COMMON_WORKERS_H_
