// SPDX-License-Identifier: MIT
#include "probe/durations.h"

#include <memory>
#include <utility>

namespace trackmeter {

Measuring::Measuring(System& system, Status& status, const ThreadPlan& plan, bool check_headroom)
    : status_(status),
      scheduler_(
          system, plan,
          [this, &system, check_headroom](Seat& seat) -> Scheduler::Task {
            // Each thread its own prober, and so its own buffers.
            auto prober = std::make_shared<Prober>(system, seat, check_headroom);
            return [this, prober](std::size_t i) {
              Found& file = found_[i];
              file.result = ProbeDuration(*prober, file.path);
              return false;
            };
          },
          [this](std::size_t i) {
            status_.FileMeasured(found_[i].path, found_[i].result.outcome, i + 1, found_.size());
          }) {}

void Measuring::Add(std::string path) {
  found_.push_back(Found{std::move(path)});
  scheduler_.Known(found_.size());
}

Measured Measuring::Finish() {
  scheduler_.Finish();
  Measured measured;
  measured.files.reserve(found_.size());
  measured.records.reserve(found_.size());
  found_.Drain([&](Found file) {
    measured.files.push_back(std::move(file.path));
    measured.records.push_back(DurationRecord{0, file.result.seconds});
  });
  return measured;
}

}  // namespace trackmeter
