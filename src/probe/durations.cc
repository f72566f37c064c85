// SPDX-License-Identifier: MIT
#include "probe/durations.h"

#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "probe/probe.h"

namespace trackmeter {

namespace {

struct Found {
  std::string path;
  ProbeResult result{Outcome::kMeasured, 0.0f};
};

}  // namespace

RecordTable ComputeDurations(System& system, Status& status, Workers& workers,
                             const FindFiles& find, FileList* files) {
  // A deque, since what a worker holds of it stays in place while the walk
  // adds to it; only finding an entry needs the lock.
  std::deque<Found> found;
  std::mutex found_lock;
  const auto entry = [&](std::size_t i) -> Found& {
    const std::lock_guard<std::mutex> hold(found_lock);
    return found[i];
  };
  const auto make_task = [&](Seat& seat) -> Workers::Task {
    // Each worker its own prober, and so its own buffers.
    auto prober = std::make_shared<Prober>(system, seat);
    return [&, prober](std::size_t i) {
      Found& file = entry(i);
      file.result = ProbeDuration(*prober, file.path);
    };
  };
  const auto produce = [&](const std::function<void(std::size_t)>& known) {
    find([&](std::string path) {
      std::size_t n;
      {
        const std::lock_guard<std::mutex> hold(found_lock);
        found.push_back(Found{std::move(path)});
        n = found.size();
      }
      known(n);
    });
  };
  // A file with a line is reported at once; the rest as the status needs.
  workers.InOrder(
      produce, make_task,
      [&](std::size_t i) { return entry(i).result.outcome != Outcome::kMeasured; },
      [&](std::size_t i) {
        status.FileMeasured(found[i].path, found[i].result.outcome, i + 1, found.size());
      });
  RecordTable records(found.size());
  files->clear();
  files->reserve(found.size());
  for (std::size_t i = 0; !found.empty(); ++i) {
    records[i].seconds = found.front().result.seconds;
    files->push_back(std::move(found.front().path));
    found.pop_front();
  }
  return records;
}

RecordTable ComputeDurations(System& system, Status& status, Workers& workers,
                             const FileList& files) {
  FileList measured;
  return ComputeDurations(
      system, status, workers,
      [&](const std::function<void(std::string)>& found) {
        for (const std::string& path : files) found(path);
      },
      &measured);
}

}  // namespace trackmeter
