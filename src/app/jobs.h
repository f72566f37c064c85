// SPDX-License-Identifier: MIT
// How many workers each stage of a run uses: settled here, and only here.
#ifndef TRACKMETER_APP_JOBS_H_
#define TRACKMETER_APP_JOBS_H_

#include <optional>

#include "console/status.h"
#include "platform/platform.h"

namespace trackmeter {

// The number TRACKMETER_JOBS holds: a positive decimal number, nothing else
// (no sign, no blanks), at most kMaxWorkers (a larger one counts as that).
// Nothing for any other text.
std::optional<unsigned> ParseJobs(const char* text);

struct RunWorkers {
  unsigned probe;  // the durations stage
  unsigned ids;    // the id search
};

// jobs (TRACKMETER_JOBS, or null) when it is a positive number, else the
// CPUs the process may use: those the system counts, and no more than its
// cgroup quota. A value that is not a positive number is reported to status
// as ignored. The probe keeps to one worker where memory may be refused:
// it makes sure of room before the library takes a file, and the library of
// another thread would take that room meanwhile.
RunWorkers WorkersForRun(System& system, Status& status, const char* jobs);

}  // namespace trackmeter

#endif  // TRACKMETER_APP_JOBS_H_
