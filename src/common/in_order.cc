// SPDX-License-Identifier: MIT
#include "common/in_order.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

namespace trackmeter {

namespace {

// How often a worker looks at how busy the CPUs were, and how busy they may
// have been for more workers to be started: below it, the tasks' waits for
// storage, not the CPUs, set the pace. A cold disk whose reads cost the
// kernel's time rather than the disk's keeps the CPUs busy, and so gets none.
constexpr auto kLookEvery = std::chrono::milliseconds(10);
constexpr double kBusiestToGrow = 0.5;

int64_t Ticks(std::chrono::steady_clock::time_point t) { return t.time_since_epoch().count(); }

}  // namespace

void Seats::Take() {
  std::unique_lock<std::mutex> hold(lock_);
  freed_.wait(hold, [&] { return free_ > 0; });
  --free_;
}

void Seats::Give() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    ++free_;
  }
  freed_.notify_one();
}

Seat::StorageWait::StorageWait(Seat& seat) : seats_(seat.seats_) {
  if (seats_ != nullptr) seats_->Give();
}

Seat::StorageWait::~StorageWait() {
  if (seats_ != nullptr) seats_->Take();
}

InOrderRun::InOrderRun(unsigned threads, unsigned readers, System* system, std::size_t chunk,
                       const Workers::MakeTask& make_task,
                       const std::function<bool(std::size_t)>& urgent, Starter start)
    : seats_(threads),
      system_(readers > threads ? system : nullptr),
      chunk_(chunk),
      make_task_(make_task),
      urgent_(urgent),
      start_(std::move(start)),
      last_look_(std::chrono::steady_clock::now()),
      readers_(readers),
      started_(threads) {
  next_look_ = Ticks(last_look_ + kLookEvery);
  if (system_ != nullptr) last_cpu_ = system_->CpuMicroseconds();
}

InOrderRun::~InOrderRun() {
  for (;;) {
    std::thread extra;
    {
      const std::lock_guard<std::mutex> hold(extra_lock_);
      if (extras_.empty()) return;
      extra = std::move(extras_.back());
      extras_.pop_back();
    }
    extra.join();
  }
}

void InOrderRun::Work() {
  try {
    Seat seat;
    const Seats::Held held(seats_, system_ != nullptr ? &seat : nullptr);
    const Workers::Task task = make_task_(seat);
    for (;;) {
      const std::size_t chunk = chunk_.load(std::memory_order_relaxed);
      const std::size_t begin = next_.fetch_add(chunk);
      for (std::size_t i = begin; i < begin + chunk; ++i) {
        if (!Known(i)) return;
        task(i);
        Finish(i, urgent_(i));
        if (system_ != nullptr) Pace();
      }
    }
  } catch (...) {
    failure_.Keep();
    Stop();
  }
}

void InOrderRun::Supply(std::size_t n) {
  known_.store(n);
  // Both sides' atomics are sequentially consistent: either the starving
  // worker sees n, or this sees it starving and wakes it.
  if (starving_.load() > 0) {
    { const std::lock_guard<std::mutex> hold(supply_lock_); }
    more_.notify_all();
  }
}

void InOrderRun::EndSupply() {
  {
    const std::lock_guard<std::mutex> hold(supply_lock_);
    ended_ = true;
  }
  more_.notify_all();
  const std::lock_guard<std::mutex> hold(lock_);
  total_ = known_.load();
}

void InOrderRun::Take(const std::function<void(std::size_t)>& take) {
  const std::size_t n = known_.load();
  std::size_t taken = 0, urgent_taken = 0;
  while (taken < n) {
    std::size_t upto;
    {
      std::unique_lock<std::mutex> hold(lock_);
      wake_.wait_for(hold, std::chrono::milliseconds(100),
                     [&] { return stop_ || frontier_ == n || urgent_passed_ > urgent_taken; });
      upto = frontier_;
      urgent_taken = urgent_passed_;
    }
    // Stopped by a failure: the lines of what was done before it still go out.
    for (; taken < upto; ++taken) take(taken);
    if (stop_) return;
  }
}

void InOrderRun::Stop() {
  {
    const std::lock_guard<std::mutex> hold(supply_lock_);
    stop_ = true;
  }
  more_.notify_all();
  { const std::lock_guard<std::mutex> hold(lock_); }
  wake_.notify_all();
}

// Whether i is known, once it is; false if it never will be. A worker
// waiting for it lets another have its seat.
bool InOrderRun::Known(std::size_t i) {
  if (stop_) return false;
  if (i < known_.load(std::memory_order_acquire)) return true;
  seats_.Give();
  {
    std::unique_lock<std::mutex> hold(supply_lock_);
    ++starving_;
    starved_ = true;
    more_.wait(hold, [&] { return stop_ || ended_ || i < known_.load(); });
    --starving_;
  }
  seats_.Take();
  return !stop_ && i < known_.load();
}

void InOrderRun::Finish(std::size_t i, bool urgent) {
  bool wake = false;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    if (i != frontier_) {
      ahead_.push({i, urgent});
      return;
    }
    for (;;) {
      ++frontier_;
      if (urgent) {
        ++urgent_passed_;
        wake = true;
      }
      if (ahead_.empty() || ahead_.top().index != frontier_) break;
      urgent = ahead_.top().urgent;
      ahead_.pop();
    }
    wake = wake || frontier_ == total_;
  }
  if (wake) wake_.notify_one();
}

// Seats mostly free while no worker waited for the producer: the workers
// wait for storage, and half as many again are started.
void InOrderRun::Pace() {
  const auto now = std::chrono::steady_clock::now();
  if (Ticks(now) < next_look_.load(std::memory_order_relaxed)) return;
  std::unique_lock<std::mutex> hold(pace_lock_, std::try_to_lock);
  if (!hold.owns_lock() || Ticks(now) < next_look_.load()) return;
  const uint64_t cpu = system_->CpuMicroseconds();
  const double wall =
      std::chrono::duration<double, std::micro>(now - last_look_).count() * seats_.count();
  const bool busy = static_cast<double>(cpu - last_cpu_) >= kBusiestToGrow * wall;
  const bool starved = starved_.exchange(false);
  last_cpu_ = cpu;
  last_look_ = now;
  next_look_ = Ticks(now + kLookEvery);
  if (!busy && !starved) Grow();
}

// More workers, while there are readers to spare; from then on each takes
// one index at a time, so that none is left with a run of slow ones.
void InOrderRun::Grow() {
  const std::lock_guard<std::mutex> hold(extra_lock_);
  for (unsigned more = std::max(1u, started_ / 2); more > 0 && started_ < readers_ && !stop_;
       --more) {
    try {
      extras_.push_back(start_([this] { Work(); }));
      ++started_;
      chunk_.store(1, std::memory_order_relaxed);
    } catch (const std::system_error&) {
      readers_ = started_;
    } catch (const std::bad_alloc&) {
      readers_ = started_;
    }
  }
}

}  // namespace trackmeter
