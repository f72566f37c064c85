// SPDX-License-Identifier: MIT
#include "catalogue/durations.h"

#include <algorithm>
#include <atomic>
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

// Workers take the files a few at a time, in order, and mark each one done
// as it ends; this thread prints the lines of the files done so far, in
// order, and sleeps while the next file it needs is still being measured.
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
    for (std::size_t i = 0; i < files_.size(); ++i) {
      uint8_t state = done_[i].load(std::memory_order_acquire);
      if (state == kPending) {
        std::unique_lock<std::mutex> hold(lock_);
        waiting_for_.store(i);
        wake_.wait(hold, [&] { return (state = done_[i].load()) != kPending || stop_; });
        if (state == kPending) return;  // a worker failed
      }
      PrintOutcome(files_[i], static_cast<Outcome>(state - 1));
      ShowFilesMeasured(i + 1, files_.size());
    }
  }

  void Rethrow() { failure_.Rethrow(); }

 private:
  static constexpr uint8_t kPending = 0;  // else 1 + the outcome

  void Finish(std::size_t i, Outcome outcome) {
    done_[i].store(static_cast<uint8_t>(1 + static_cast<int>(outcome)));
    // Both stores and loads here and in PrintInOrder are sequentially
    // consistent: either this sees that the printer waits for i, or the
    // printer sees i done before it sleeps.
    if (waiting_for_.load() == i) {
      const std::lock_guard<std::mutex> hold(lock_);
      wake_.notify_one();
    }
  }

  Platform& platform_;
  const FileList& files_;
  RecordTable& records_;
  std::unique_ptr<std::atomic<uint8_t>[]> done_;
  const std::size_t chunk_;
  std::atomic<std::size_t> next_{0};
  std::atomic<std::size_t> waiting_for_{SIZE_MAX};
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::condition_variable wake_;
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
