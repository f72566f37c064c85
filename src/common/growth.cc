// SPDX-License-Identifier: MIT
#include "common/growth.h"

#include <algorithm>
#include <chrono>

namespace trackmeter {

namespace {

class Steady final : public Clock {
 public:
  int64_t Now() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace

Clock& SteadyClock() {
  static Steady clock;
  return clock;
}

unsigned Growth::More(int64_t now, int64_t busy, int64_t waited, unsigned threads, unsigned most,
                      bool backlog) {
  if (next_look_ == INT64_MIN) next_look_ = now + kLookEvery;  // the first period starts
  if (now < next_look_) return 0;
  const int64_t busy_since = busy - busy_, waited_since = waited - waited_;
  next_look_ = now + kLookEvery;
  busy_ = busy;
  waited_ = waited;
  if (!backlog || threads >= most || busy_since <= 0 || 2 * waited_since < busy_since) return 0;
  return std::min(most - threads, std::max(1u, threads / 2));
}

}  // namespace trackmeter
