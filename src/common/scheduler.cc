// SPDX-License-Identifier: MIT
#include "common/scheduler.h"

#include <algorithm>
#include <utility>

namespace trackmeter {

Seat::StorageWait::StorageWait(Seat& seat) : seat_(seat) {
  Scheduler* const s = seat.scheduler_;
  if (s == nullptr) return;
  start_ = s->clock_.Now();
  // With no more threads than places, nobody waits for this one.
  gave_ = s->crowded_.load(std::memory_order_relaxed);
  if (!gave_) return;
  const std::lock_guard<std::mutex> hold(s->lock_);
  --s->computing_;
  s->PlaceFreed();
}

Seat::StorageWait::~StorageWait() {
  Scheduler* const s = seat_.scheduler_;
  if (s == nullptr) return;
  seat_.waited_ += s->clock_.Now() - start_;
  if (!gave_) return;
  std::unique_lock<std::mutex> hold(s->lock_);
  ++s->returning_;
  s->back_.wait(hold, [&] { return s->computing_ < s->plan_.computing || s->stopped_; });
  --s->returning_;
  ++s->computing_;
}

Scheduler::Scheduler(System& system, const ThreadPlan& plan, const MakeTask& make_task,
                     const Take& take, Clock& clock)
    : system_(system),
      plan_(plan),
      take_(take),
      clock_(clock),
      timed_(plan.most > plan.computing),
      slots_(std::max(plan.most, 1u)),
      most_(plan.most) {
  // Every task made before any thread starts: a shortage here is the
  // stage's, before anything ran. The first serves this thread too, should
  // no thread start.
  for (Slot& slot : slots_) {
    slot.scheduler = this;
    if (timed_) slot.seat.scheduler_ = this;
    slot.task = make_task(slot.seat);
  }
  if (plan_.beside) {
    const std::lock_guard<std::mutex> hold(lock_);
    Start(plan_.computing);
  }
}

Scheduler::~Scheduler() {
  {
    std::unique_lock<std::mutex> hold(lock_);
    stopped_ = true;
    work_.notify_all();
    back_.notify_all();
    all_ended_.wait(hold, [&] { return running_ == 0; });
  }
  Join();
}

void Scheduler::Known(std::size_t n) {
  const std::lock_guard<std::mutex> hold(lock_);
  if (n <= known_) return;
  done_.resize(n);
  const bool one = n == known_ + 1;
  known_ = n;
  if (idle_ == 0) return;
  if (one) work_.notify_one();
  else work_.notify_all();
}

void Scheduler::Finish() {
  std::unique_lock<std::mutex> hold(lock_);
  finishing_ = true;
  if (!plan_.beside) Start(plan_.computing);
  if (started_ == 0) {
    // No thread: this one runs everything, as one would.
    ++running_;
    hold.unlock();
    Work(slots_[0]);
    hold.lock();
  } else {
    HandOver(hold);  // what was done while the indices were being made
    work_.notify_all();
  }
  all_ended_.wait(hold, [&] { return running_ == 0; });
  hold.unlock();
  Join();
  if (failure_) std::rethrow_exception(failure_);
}

void Scheduler::Start(std::size_t threads) {
  for (; threads > 0 && started_ < most_; --threads) {
    Slot& slot = slots_[started_];
    ++running_;  // before it runs: it may end at once
    slot.seat.stack_ = plan_.stack;
    if (system_.StartThread(plan_.stack, &slot, &slot.thread) != Error::kNone) {
      slot.seat.stack_ = 0;
      --running_;
      most_ = started_;  // fewer threads do the work
      break;
    }
    ++started_;
  }
  crowded_ = started_ > plan_.computing;
}

// One of each kind: a thread back from storage goes on with its file, an
// idle one starts the wait for the next; whichever comes first has it.
void Scheduler::PlaceFreed() {
  if (returning_ > 0) back_.notify_one();
  if (idle_ > 0) work_.notify_one();
}

void Scheduler::Work(Slot& slot) {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    const auto over = [&] { return stopped_ || next_ >= end_ || (finishing_ && next_ >= known_); };
    ++idle_;
    work_.wait(hold, [&] { return over() || (next_ < known_ && computing_ < plan_.computing); });
    --idle_;
    if (over()) break;
    const std::size_t index = next_++;
    ++computing_;
    hold.unlock();
    slot.seat.waited_ = 0;
    const int64_t start = timed_ ? clock_.Now() : 0;
    bool last = false;
    std::exception_ptr failure;
    try {
      last = slot.task(index);
    } catch (...) {
      failure = std::current_exception();
    }
    const int64_t now = timed_ ? clock_.Now() : 0;
    hold.lock();
    --computing_;
    busy_ += now - start;
    waited_ += slot.seat.waited_;
    const std::size_t end = end_;
    Ended(index, last, failure);
    HandOver(hold);
    if (timed_ && !stopped_)
      Start(growth_.More(now, busy_, waited_, static_cast<unsigned>(started_),
                         static_cast<unsigned>(most_), next_ < known_));
    if (end_ != end) work_.notify_all();  // the rest is not needed
    else PlaceFreed();
  }
  work_.notify_all();  // what ended this one's work ends every idle one's
  if (--running_ == 0) all_ended_.notify_all();
}

// The smallest index that failed or ended the run is the last that counts:
// nothing from it on (from after it, for one that ended the run) is taken.
void Scheduler::Ended(std::size_t index, bool last, const std::exception_ptr& failure) {
  done_[index] = true;
  if (failure && index < end_) {
    end_ = index;
    failure_ = failure;
    ended_by_.reset();
  } else if (!failure && last && index + 1 < end_) {
    end_ = index + 1;
    failure_ = nullptr;
    ended_by_ = index;
  }
}

// Whoever finds the next index to take done takes it, and what follows it
// that is done too, one thread at a time; none before every index is known.
void Scheduler::HandOver(std::unique_lock<std::mutex>& hold) {
  if (handing_ || !finishing_ || stopped_) return;
  handing_ = true;
  for (;;) {
    const std::size_t from = taken_;
    while (taken_ < end_ && taken_ < known_ && done_[taken_]) ++taken_;
    const std::size_t to = taken_;
    if (from == to || stopped_) break;
    hold.unlock();
    std::size_t failed = to;
    std::exception_ptr failure;
    for (std::size_t i = from; take_ && i < to && !failure; ++i) {
      try {
        take_(i);
      } catch (...) {
        failure = std::current_exception();
        failed = i;
      }
    }
    hold.lock();
    if (failure) Ended(failed, false, failure);
  }
  handing_ = false;
}

void Scheduler::Join() {
  for (std::size_t i = 0; i < started_; ++i) system_.JoinThread(slots_[i].thread);
  started_ = 0;
}

}  // namespace trackmeter
