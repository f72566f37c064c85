// SPDX-License-Identifier: MIT
// How many threads each stage of a run uses: settled here, and only here.
#ifndef TRACKMETER_APP_JOBS_H_
#define TRACKMETER_APP_JOBS_H_

#include <optional>

#include "common/scheduler.h"
#include "platform/platform.h"

namespace trackmeter {

// The most threads that compute at once, whatever was asked for.
constexpr unsigned kMaxJobs = 1024;

// The number TRACKMETER_JOBS holds: a positive decimal number, nothing else
// (no sign, no blanks), at most kMaxJobs (a larger one counts as that).
// Nothing for any other text.
std::optional<unsigned> ParseJobs(const char* text);

struct RunPlan {
  ThreadPlan measure;   // the durations stage
  ThreadPlan ids;       // the id search
  bool check_headroom;  // memory may be refused
  bool jobs_ignored;    // TRACKMETER_JOBS was set, to no positive number
};

// N tasks compute at once: jobs (TRACKMETER_JOBS, or null) when it is a
// positive number, else the CPUs the process may use (those the system
// counts, and no more than its cgroup quota). On slow storage the probe may
// wait for up to eight files per task at once (64 in all, or N if more).
// Every thread the probe may start holds a file open, the walk one more
// beside them: a limit on open files that one thread works within is never
// met with more. With room for one file only, or where memory may be
// refused (the probe makes sure of room before the library takes a file,
// and another thread would take that room meanwhile), one thread measures,
// once the walk has ended.
RunPlan PlanRun(System& system, const char* jobs);

}  // namespace trackmeter

#endif  // TRACKMETER_APP_JOBS_H_
