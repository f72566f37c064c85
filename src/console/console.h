// SPDX-License-Identifier: MIT
// Every line the tool prints, in one place: these lines are the tool's
// protocol with the people and scripts that run it. All but the notes for
// the person at the terminal go to standard output, each flushed as it is
// printed, so that a run that is killed keeps the lines it printed; paths
// are printed as the bytes they are.
#ifndef TRACKMETER_CONSOLE_CONSOLE_H_
#define TRACKMETER_CONSOLE_CONSOLE_H_

#include <cstddef>
#include <string>

namespace trackmeter {

// The banner, the usage line and a blank line; printed on every run.
void PrintBanner();
// The base directory cannot be entered; the run stops.
void PrintCannotEnterBase(const std::string& base);
// The absolute base directory, then a blank line.
void PrintBaseDirectory(const std::string& absolute);
// A directory below the base (or the base, ".") that could not be read.
void PrintCouldNotReadDirectory(const std::string& path);
void PrintNoOggsFound();
void PrintCouldNotOpen(const std::string& path);
void PrintNotOggVorbis(const std::string& path);
// Two found paths that every multiplier hashes alike.
void PrintFoldedDuplicate(const std::string& first, const std::string& second);
// Two found paths that differ, yet every multiplier hashes alike.
void PrintInseparable(const std::string& first, const std::string& second);
void PrintNoMultiplier(std::size_t count);
void PrintCouldNotWrite();
void PrintGenerated(std::size_t count);
// The machine ran out; the run stops with nothing written.
void PrintOutOfMemory();
void PrintTooManyOpenFiles();

// On standard error: TRACKMETER_JOBS holds value, which is no positive
// number, so the default of workers is used.
void PrintJobsIgnored(const std::string& value, unsigned workers);

}  // namespace trackmeter

#endif  // TRACKMETER_CONSOLE_CONSOLE_H_
