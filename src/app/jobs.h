// SPDX-License-Identifier: MIT
// How many workers a run uses.
#ifndef TRACKMETER_APP_JOBS_H_
#define TRACKMETER_APP_JOBS_H_

#include <optional>

namespace trackmeter {

// The number TRACKMETER_JOBS holds: a positive decimal number, nothing else
// (no sign, no blanks), at most kMaxWorkers (a larger one counts as that).
// Nothing for any other text.
std::optional<unsigned> ParseJobs(const char* text);

// TRACKMETER_JOBS when it is set to a positive number, else the CPUs the
// process may use. A value that is not a positive number is said to be
// ignored on standard error; standard output gets no line for it.
unsigned WorkersForRun();

}  // namespace trackmeter

#endif  // TRACKMETER_APP_JOBS_H_
