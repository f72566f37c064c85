// SPDX-License-Identifier: MIT
// The tool's whole run, from the banner to the count line.
#ifndef TRACKMETER_APP_RUN_H_
#define TRACKMETER_APP_RUN_H_

#include "console/status.h"
#include "platform/platform.h"

namespace trackmeter {

// Runs the tool with the command line argv (argc entries; argv[1], if
// present, is the base directory, or --help, -h or --version, which are
// answered with 0), every line to status, with the threads
// jobs asks for (TRACKMETER_JOBS, or null), and returns the exit status: 0
// on success, also with per-file errors, unreadable directories or no Ogg
// files found; 1 when the base directory cannot be entered, no table can be
// written, or the machine runs out of memory or file descriptors.
int RunTrackmeter(int argc, const char* const* argv, System& system, Status& status,
                  const char* jobs);

// The same on the console, for main's command line: the lines to standard
// output, a status line on standard error when it is a terminal, the
// threads from TRACKMETER_JOBS. Nothing is allocated before a shortage can
// be reported.
int RunOnConsole(int argc, const char* const* argv, System& system);

}  // namespace trackmeter

#endif  // TRACKMETER_APP_RUN_H_
