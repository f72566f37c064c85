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

class Workers {
 public:
  // Work for what is asked of a worker: one file, say. Each worker makes
  // its own, so what it holds is that worker's alone.
  using Task = std::function<void(std::size_t index)>;
  using Trial = std::function<bool(uint64_t index, const Cutoff& cutoff)>;

  // count is clamped to 1..kMaxWorkers.
  explicit Workers(unsigned count);
  virtual ~Workers() = default;
  unsigned count() const { return count_; }

  // Runs a task for every index below n, and take(i) on this thread for
  // every i in order, once the task of i and of every index before it has
  // ended: at once where urgent(i) says so, else at least ten times a
  // second. A failure of any task is raised here once every thread has
  // ended; the indices after it may not have been run.
  void InOrder(std::size_t n, const std::function<Task()>& make_task,
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

  unsigned count_;
};

}  // namespace trackmeter

#endif  // TRACKMETER_COMMON_WORKERS_H_
