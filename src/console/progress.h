// SPDX-License-Identifier: MIT
// A status line for the person at the terminal, on standard error: how far
// the walk, the probe and the id search have come. Silent until enabled,
// so scripts and logs see exactly the tool's lines.
#ifndef TRACKMETER_CONSOLE_PROGRESS_H_
#define TRACKMETER_CONSOLE_PROGRESS_H_

#include <cstddef>
#include <cstdint>

namespace trackmeter {

// Shows the status line from now on (standard error is a terminal).
void EnableProgress();

// The status line, rewritten in place at most ten times a second. Any
// thread may call these.
void ShowFilesFound(std::size_t found);
void ShowFilesMeasured(std::size_t measured, std::size_t total);
void ShowPassesTried(uint64_t passes);

// Erases the status line, if one is shown, so that the next line starts at
// the left margin; the next Show draws it again.
void EraseProgress();

}  // namespace trackmeter

#endif  // TRACKMETER_CONSOLE_PROGRESS_H_
