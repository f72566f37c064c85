// SPDX-License-Identifier: MIT
// The tool's whole run, from the banner to the count line.
#ifndef TRACKMETER_APP_RUN_H_
#define TRACKMETER_APP_RUN_H_

#include "platform/platform.h"

namespace trackmeter {

// Runs the tool with the command line argv (argc entries; argv[1], if
// present, is the base directory) and returns the exit status: 0 on success,
// also with per-file errors, unreadable directories or no Ogg files found;
// 1 when the base directory cannot be entered, no table can be written, or
// the machine runs out of memory or file descriptors.
int RunTrackmeter(int argc, const char* const* argv, Platform& platform);

}  // namespace trackmeter

#endif  // TRACKMETER_APP_RUN_H_
