// SPDX-License-Identifier: MIT
#include "console/console.h"

#include <cstdarg>
#include <cstdio>

#include "console/progress.h"

namespace trackmeter {

namespace {

// Each line leaves at once, also when standard output is a file or a pipe.
// A failed write (a closed pipe) is not the run's concern.
void Line(const char* format, ...) {
  EraseProgress();  // the line starts at the margin, not after the status
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

}  // namespace

void PrintBanner() {
  Line("OGG File Duration/Hash Generator V1.0 [Written by Quillon]\n");
  Line("USAGE: trackmeter [basepath]\n\n");
}

void PrintCannotEnterBase(const std::string& base) {
  Line("Fatal Error: Could not enter base directory: %s\n", base.c_str());
}

void PrintBaseDirectory(const std::string& absolute) {
  Line("Generating ogg hashs id relative to '%s'.\n\n", absolute.c_str());
}

void PrintCouldNotReadDirectory(const std::string& path) {
  Line("ERROR: Could not read directory: %s\n", path.c_str());
}

void PrintNoOggsFound() { Line("ERROR: No Oggs found!\n"); }

void PrintCouldNotOpen(const std::string& path) {
  Line("ERROR: Could not open file: %s\n", path.c_str());
}

void PrintNotOggVorbis(const std::string& path) {
  Line("ERROR: OGG could not open file: %s\n", path.c_str());
}

void PrintFoldedDuplicate(const std::string& first, const std::string& second) {
  Line("ERROR: Paths differ only in letter case or separator: %s and %s\n",
       first.c_str(), second.c_str());
}

void PrintInseparable(const std::string& first, const std::string& second) {
  Line("ERROR: No hash multiplier gives distinct ids for %s and %s\n", first.c_str(),
       second.c_str());
}

void PrintNoMultiplier(std::size_t count) {
  Line("ERROR: No hash multiplier gives distinct ids for %d files\n",
       static_cast<int>(count));
}

void PrintCouldNotWrite() { Line("ERROR: Could not write Durations.bin\n"); }

void PrintGenerated(std::size_t count) {
  Line("Generated %d hash ids.\n", static_cast<int>(count));
}

void PrintJobsIgnored(const std::string& value, unsigned workers) {
  std::fprintf(stderr,
               "trackmeter: TRACKMETER_JOBS=%s is not a positive number; ignored, "
               "using %u workers\n",
               value.c_str(), workers);
}

void PrintOutOfMemory() { Line("Fatal Error: Out of memory\n"); }

void PrintTooManyOpenFiles() { Line("Fatal Error: Too many open files\n"); }

}  // namespace trackmeter
