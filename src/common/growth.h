// SPDX-License-Identifier: MIT
// When slow storage, not the CPUs, sets the pace, more threads overlap the
// waits. Decided from a clock and the waits, both given, so that a test
// drives it without sleeping.
#ifndef TRACKMETER_COMMON_GROWTH_H_
#define TRACKMETER_COMMON_GROWTH_H_

#include <cstdint>

namespace trackmeter {

class Clock {
 public:
  virtual ~Clock() = default;
  // Nanoseconds from some fixed start, never going back.
  virtual int64_t Now() = 0;
};

// The steady clock of the system.
Clock& SteadyClock();

class Growth {
 public:
  // At most one look per period.
  static constexpr int64_t kLookEvery = 10'000'000;

  // How many threads to start now, at now: none but at a look. Half as many
  // again as threads run, up to most, when since the last look the tasks
  // spent at least half their time (busy, the total of every task's time)
  // waiting for storage (waited), and an index waits for a thread
  // (backlog). The share does not depend on how many threads share the
  // CPUs, so a process slowed or contended as a whole gets none.
  unsigned More(int64_t now, int64_t busy, int64_t waited, unsigned threads, unsigned most,
                bool backlog);

 private:
  int64_t next_look_ = INT64_MIN;
  int64_t busy_ = 0, waited_ = 0;
};

}  // namespace trackmeter

#endif  // TRACKMETER_COMMON_GROWTH_H_
