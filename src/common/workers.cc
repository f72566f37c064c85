// SPDX-License-Identifier: MIT
#include "common/workers.h"

#include <algorithm>
#include <exception>
#include <new>
#include <system_error>
#include <vector>

#include "common/in_order.h"

namespace trackmeter {

Workers::Workers(unsigned count)
    : count_(std::clamp(count, 1u, kMaxWorkers)), readers_(count_), system_(nullptr) {}

Workers::Workers(unsigned count, unsigned readers, System& system)
    : count_(std::clamp(count, 1u, kMaxWorkers)),
      readers_(std::clamp(readers, count_, kMaxWorkers)),
      system_(&system) {}

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

void Workers::InOrder(std::size_t n, const MakeTask& make_task,
                      const std::function<bool(std::size_t)>& urgent,
                      const std::function<void(std::size_t)>& take) {
  Run(
      static_cast<unsigned>(std::min<std::size_t>(count_, n)),
      static_cast<unsigned>(std::min<std::size_t>(readers_, n)),
      std::clamp<std::size_t>(n / (32 * std::size_t{count_}), 1, 16),
      [n](const std::function<void(std::size_t)>& known) { known(n); }, make_task, urgent, take);
}

void Workers::InOrder(const Produce& produce, const MakeTask& make_task,
                      const std::function<bool(std::size_t)>& urgent,
                      const std::function<void(std::size_t)>& take) {
  Run(count_, readers_, 16, produce, make_task, urgent, take);
}

void Workers::Run(unsigned threads, unsigned readers, std::size_t chunk, const Produce& produce,
                  const MakeTask& make_task, const std::function<bool(std::size_t)>& urgent,
                  const std::function<void(std::size_t)>& take) {
  if (readers > 1) {
    InOrderRun run(threads, readers, system_, chunk, make_task, urgent,
                   [this](const std::function<void()>& body) { return Start(body); });
    const auto produce_and_take = [&] {
      try {
        produce([&](std::size_t known) { run.Supply(known); });
        run.EndSupply();
        run.Take(take);
      } catch (...) {
        run.Stop();
        throw;
      }
    };
    if (Launch(
            threads, [&] { run.Work(); }, produce_and_take)) {
      run.Rethrow();
      return;
    }
  }
  std::size_t n = 0;
  produce([&](std::size_t known) { n = known; });
  Seat seat;
  const Task task = make_task(seat);
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
