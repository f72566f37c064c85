// SPDX-License-Identifier: MIT
// How many workers each stage of a run uses: settled here, and only here.
#ifndef TRACKMETER_APP_JOBS_H_
#define TRACKMETER_APP_JOBS_H_

#include <optional>

#include "platform/platform.h"

namespace trackmeter {

// The number TRACKMETER_JOBS holds: a positive decimal number, nothing else
// (no sign, no blanks), at most kMaxWorkers (a larger one counts as that).
// Nothing for any other text.
std::optional<unsigned> ParseJobs(const char* text);

struct RunWorkers {
  unsigned probe;     // the durations stage's workers measuring at once
  unsigned readers;   // its threads in all while files prove slow to read
  unsigned ids;       // the id search
  bool jobs_ignored;  // TRACKMETER_JOBS was set, to no positive number
};

// jobs (TRACKMETER_JOBS, or null) when it is a positive number, else the
// CPUs the process may use: those the system counts, and no more than its
// cgroup quota. On slow storage the probe may wait for up to eight files
// per worker at once (64 in all, and no more than a quarter of the open
// files allowed, or the workers if more). It keeps to one
// worker and one file where memory may be refused: it makes sure of room
// before the library takes a file, and another thread would take that room
// meanwhile.
RunWorkers WorkersForRun(System& system, const char* jobs);

}  // namespace trackmeter

#endif  // TRACKMETER_APP_JOBS_H_
