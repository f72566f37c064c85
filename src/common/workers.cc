// SPDX-License-Identifier: MIT
#include "common/workers.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <vector>

namespace trackmeter {

namespace {

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

// Workers take the indices a few at a time, mark each one done as it
// ends, and move the frontier (every index before it done) as far as it
// goes. The taking thread is woken only when the frontier passes an
// urgent index or reaches the end, so quiet work costs it no wake-ups but
// ten a second.
class Ordered {
 public:
  Ordered(std::size_t n, unsigned threads)
      : n_(n),
        done_(new std::atomic<uint8_t>[n]),
        chunk_(std::clamp<std::size_t>(n / (32 * std::size_t{threads}), 1, 16)) {
    for (std::size_t i = 0; i < n; ++i) done_[i].store(kPending, std::memory_order_relaxed);
  }

  void Work(const std::function<Workers::Task()>& make_task,
            const std::function<bool(std::size_t)>& urgent) {
    try {
      const Workers::Task task = make_task();
      for (;;) {
        const std::size_t begin = next_.fetch_add(chunk_);
        const std::size_t end = std::min(n_, begin + chunk_);
        for (std::size_t i = begin; i < end && !stop_.load(std::memory_order_relaxed); ++i) {
          task(i);
          Finish(i, urgent(i));
        }
        if (end >= n_ || stop_.load()) break;
      }
    } catch (...) {
      failure_.Keep();
      const std::lock_guard<std::mutex> hold(lock_);
      stop_ = true;
      wake_.notify_all();
    }
  }

  void Take(const std::function<void(std::size_t)>& take) {
    std::size_t taken = 0, urgent_taken = 0;
    while (taken < n_) {
      std::size_t upto;
      {
        std::unique_lock<std::mutex> hold(lock_);
        wake_.wait_for(hold, std::chrono::milliseconds(100),
                       [&] { return stop_ || frontier_ == n_ || urgent_passed_ > urgent_taken; });
        if (stop_) return;
        upto = frontier_;
        urgent_taken = urgent_passed_;
      }
      for (; taken < upto; ++taken) take(taken);
    }
  }

  // Should take fail, the workers end without doing the rest.
  void Stop() { stop_ = true; }
  void Rethrow() { failure_.Rethrow(); }

 private:
  static constexpr uint8_t kPending = 0, kDone = 1, kUrgent = 2;

  void Finish(std::size_t i, bool urgent) {
    done_[i].store(urgent ? kUrgent : kDone, std::memory_order_release);
    bool wake = false;
    {
      const std::lock_guard<std::mutex> hold(lock_);
      if (i != frontier_) return;  // the worker of the index at the frontier moves it
      for (uint8_t state;
           frontier_ < n_ && (state = done_[frontier_].load(std::memory_order_acquire)) != kPending;
           ++frontier_) {
        if (state == kUrgent) {
          ++urgent_passed_;
          wake = true;
        }
      }
      wake = wake || frontier_ == n_;
    }
    if (wake) wake_.notify_one();
  }

  const std::size_t n_;
  std::unique_ptr<std::atomic<uint8_t>[]> done_;
  const std::size_t chunk_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::condition_variable wake_;
  std::size_t frontier_ = 0;       // indices before it are done; guarded by lock_
  std::size_t urgent_passed_ = 0;  // urgent indices before the frontier
  FirstFailure failure_;
};

}  // namespace

Workers::Workers(unsigned count) : count_(std::clamp(count, 1u, kMaxWorkers)) {}

std::thread Workers::Start(const std::function<void()>& body) { return std::thread(body); }

bool Workers::Launch(unsigned threads, const std::function<void()>& body,
                     const std::function<void()>& meanwhile) {
  std::vector<std::thread> started;
  started.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) {
    // Out of threads, or of memory for a stack: fewer do the work.
    try {
      started.push_back(Start(body));
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  if (started.empty()) return false;
  std::exception_ptr failure;
  try {
    meanwhile();
  } catch (...) {
    failure = std::current_exception();
  }
  for (std::thread& t : started) t.join();
  if (failure) std::rethrow_exception(failure);
  return true;
}

void Workers::InOrder(std::size_t n, const std::function<Task()>& make_task,
                      const std::function<bool(std::size_t)>& urgent,
                      const std::function<void(std::size_t)>& take) {
  const unsigned threads = static_cast<unsigned>(std::min<std::size_t>(count_, n));
  if (threads > 1) {
    Ordered run(n, threads);
    const auto take_or_stop = [&] {
      try {
        run.Take(take);
      } catch (...) {
        run.Stop();
        throw;
      }
    };
    if (Launch(
            threads, [&] { run.Work(make_task, urgent); }, take_or_stop)) {
      run.Rethrow();
      return;
    }
  }
  const Task task = make_task();
  for (std::size_t i = 0; i < n; ++i) {
    task(i);
    take(i);
  }
}

std::optional<uint64_t> Workers::FirstSuccess(uint64_t first, uint64_t last,
                                              const std::function<Trial()>& make_trial) {
  Cutoff cutoff;
  std::atomic<uint64_t> next{first};
  FirstFailure failure;
  // Each takes the next index; it stops at its first success, or once a
  // smaller index has succeeded.
  const auto search = [&] {
    try {
      const Trial trial = make_trial();
      for (;;) {
        const uint64_t index = next.fetch_add(1);
        if (index > last || cutoff.Beaten(index)) return;
        if (!trial(index, cutoff)) continue;
        uint64_t best = cutoff.best_.load();
        while (index < best && !cutoff.best_.compare_exchange_weak(best, index)) {
        }
        return;
      }
    } catch (...) {
      failure.Keep();
      cutoff.best_ = 0;  // the others stop at their next look
    }
  };
  if (count_ == 1 || first == last || !Launch(count_ - 1, search, search)) search();
  failure.Rethrow();
  const uint64_t best = cutoff.best_.load();
  if (best == UINT64_MAX) return std::nullopt;
  return best;
}

}  // namespace trackmeter
