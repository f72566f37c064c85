// SPDX-License-Identifier: MIT
#include "probe/durations.h"

#include <memory>
#include <vector>

#include "probe/probe.h"

namespace trackmeter {

RecordTable ComputeDurations(System& system, Status& status, Workers& workers,
                             const FileList& files) {
  RecordTable records(files.size());
  std::vector<Outcome> outcomes(files.size());
  const auto make_task = [&]() -> Workers::Task {
    // Each worker its own prober, and so its own buffers.
    auto prober = std::make_shared<Prober>(system);
    return [&, prober](std::size_t i) {
      const ProbeResult r = ProbeDuration(*prober, files[i]);
      records[i].seconds = r.seconds;
      outcomes[i] = r.outcome;
    };
  };
  // A file with a line is reported at once; the rest as the status needs.
  workers.InOrder(
      files.size(), make_task, [&](std::size_t i) { return outcomes[i] != Outcome::kMeasured; },
      [&](std::size_t i) { status.FileMeasured(files[i], outcomes[i], i + 1, files.size()); });
  return records;
}

}  // namespace trackmeter
