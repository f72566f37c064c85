// SPDX-License-Identifier: MIT
#include "catalogue/durations.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "catalogue/probe.h"
#include "catalogue/workers.h"
#include "console/console.h"
#include "console/progress.h"

namespace trackmeter {

namespace {

using Outcome = ProbeResult::Outcome;

void PrintOutcome(const std::string& path, Outcome outcome) {
  if (outcome == Outcome::kCouldNotOpen) PrintCouldNotOpen(path);
  if (outcome == Outcome::kNotOggVorbis) PrintNotOggVorbis(path);
}

// Workers take the files a few at a time, in order, mark each one done as
// it ends, and move the frontier (every file before it done) as far as it
// goes. This thread prints the lines of the files behind the frontier, in
// order; it is woken only when the frontier passes a file with a line, or
// reaches the end, so a tree of good files costs it no wake-ups but the
// status line's.
class Stage {
 public:
  Stage(Platform& platform, const FileList& files, RecordTable* records, unsigned workers)
      : platform_(platform), files_(files), records_(*records),
        done_(new std::atomic<uint8_t>[files.size()]),
        chunk_(std::clamp<std::size_t>(files.size() / (32 * std::size_t{workers}), 1, 16)) {
    for (std::size_t i = 0; i < files.size(); ++i) done_[i].store(kPending, std::memory_order_relaxed);
  }

  void Work() {
    try {
      Prober prober(platform_);
      for (;;) {
        const std::size_t begin = next_.fetch_add(chunk_);
        const std::size_t end = std::min(files_.size(), begin + chunk_);
        for (std::size_t i = begin; i < end && !stop_.load(std::memory_order_relaxed); ++i) {
          const ProbeResult r = ProbeDuration(prober, files_[i]);
          records_[i].seconds = r.seconds;
          Finish(i, r.outcome);
        }
        if (end == files_.size() || begin >= files_.size() || stop_.load()) break;
      }
    } catch (...) {
      failure_.Keep();
      const std::lock_guard<std::mutex> hold(lock_);
      stop_ = true;
      wake_.notify_all();
    }
  }

  void PrintInOrder() {
    const std::size_t n = files_.size();
    std::size_t printed = 0, lines_printed = 0;
    while (printed < n) {
      std::size_t upto;
      {
        std::unique_lock<std::mutex> hold(lock_);
        // Now and then without a line, for the status line.
        wake_.wait_for(hold, std::chrono::milliseconds(100), [&] {
          return stop_ || frontier_ == n || lines_passed_ > lines_printed;
        });
        if (stop_) return;  // a worker failed
        upto = frontier_;
      }
      for (; printed < upto; ++printed) {
        const auto outcome = static_cast<Outcome>(done_[printed].load(std::memory_order_relaxed) - 1);
        if (outcome == Outcome::kMeasured) continue;
        PrintOutcome(files_[printed], outcome);
        ++lines_printed;
      }
      ShowFilesMeasured(printed, n);
    }
  }

  void Rethrow() { failure_.Rethrow(); }

 private:
  static constexpr uint8_t kPending = 0;  // else 1 + the outcome

  void Finish(std::size_t i, Outcome outcome) {
    done_[i].store(static_cast<uint8_t>(1 + static_cast<int>(outcome)), std::memory_order_release);
    const std::size_t n = files_.size();
    bool wake = false;
    {
      const std::lock_guard<std::mutex> hold(lock_);
      if (i != frontier_) return;  // the worker of the file at the frontier moves it
      for (uint8_t state; frontier_ < n &&
                          (state = done_[frontier_].load(std::memory_order_acquire)) != kPending;
           ++frontier_) {
        if (state != 1 + static_cast<int>(Outcome::kMeasured)) {
          ++lines_passed_;
          wake = true;
        }
      }
      wake = wake || frontier_ == n;
    }
    if (wake) wake_.notify_one();
  }

  Platform& platform_;
  const FileList& files_;
  RecordTable& records_;
  std::unique_ptr<std::atomic<uint8_t>[]> done_;
  const std::size_t chunk_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::condition_variable wake_;
  std::size_t frontier_ = 0;      // files before it are done; guarded by lock_
  std::size_t lines_passed_ = 0;  // lines of the files before the frontier
  FirstFailure failure_;
};

}  // namespace

RecordTable ComputeDurations(Platform& platform, const FileList& files, unsigned workers) {
  RecordTable records(files.size());
  workers = std::min<std::size_t>({workers, kMaxWorkers, files.size()});
  // Under a limit on memory the probe makes sure of room before the
  // library, which does not check all its allocations, takes a file; the
  // library of another thread would take that room meanwhile.
  if (platform.MemoryMayBeRefused()) workers = 1;
  if (workers > 1) {
    Stage stage(platform, files, &records, workers);
    if (RunOnThreads(workers, [&] { stage.Work(); }, [&] { stage.PrintInOrder(); }) > 0) {
      stage.Rethrow();
      return records;
    }
  }
  Prober prober(platform);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const ProbeResult r = ProbeDuration(prober, files[i]);
    records[i].seconds = r.seconds;
    PrintOutcome(files[i], r.outcome);
    ShowFilesMeasured(i + 1, files.size());
  }
  return records;
}

}  // namespace trackmeter
