// SPDX-License-Identifier: MIT
#include "console/console_status.h"

namespace trackmeter {

namespace {

// Counts print as a C int, as they always have.
std::string Int(std::size_t n) { return std::to_string(static_cast<int>(n)); }

}  // namespace

std::string Counted(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void ConsoleStatus::Banner() {
  printer_.Line("OGG File Duration/Hash Generator V1.0 [Written by Quillon]\n");
  printer_.Line("USAGE: trackmeter [basepath]\n\n");
}

void ConsoleStatus::Help() {
  printer_.Line(
      "Measures the playing time of every .ogg file below basepath (the current\n"
      "directory when none is given) and writes the table Durations.bin there:\n"
      "each file's seconds under a 32-bit id hashed from its path relative to\n"
      "basepath, for a game to look up without opening the audio files.\n"
      "\n"
      "  basepath           the directory to measure; one named --help, -h or\n"
      "                     --version is given as ./--help\n"
      "  TRACKMETER_JOBS=N  how many files are measured at once (default: one\n"
      "                     per CPU)\n"
      "  --help, -h         this text\n"
      "  --version          the version\n"
      "\n"
      "More in the manual page (man trackmeter; trackmeter.txt on Windows) and\n"
      "README.md; the table's format in FORMAT.md.\n");
}

void ConsoleStatus::Version() { printer_.Line("trackmeter " TRACKMETER_VERSION "\n"); }

void ConsoleStatus::CannotEnterBase(const std::string& base) {
  printer_.Line("Fatal Error: Could not enter base directory: " + base + "\n");
}

void ConsoleStatus::BaseEntered(const std::string& absolute) {
  printer_.Line("Generating ogg hashs id relative to '" + absolute + "'.\n\n");
}

void ConsoleStatus::DirectoryUnreadable(const std::string& path) {
  printer_.Line("ERROR: Could not read directory: " + path + "\n");
}

void ConsoleStatus::FileFound(std::size_t found) {
  if (printer_.StatusDue())
    printer_.Status("Looking for Ogg files: " + std::to_string(found) + " found");
}

void ConsoleStatus::NoOggsFound() { printer_.Line("ERROR: No Oggs found!\n"); }

void ConsoleStatus::FileMeasured(const std::string& path, Outcome outcome, std::size_t measured,
                                 std::size_t total) {
  if (outcome == Outcome::kCouldNotOpen)
    printer_.Line("ERROR: Could not open file: " + path + "\n");
  if (outcome == Outcome::kNotOggVorbis)
    printer_.Line("ERROR: OGG could not open file: " + path + "\n");
  if (printer_.StatusDue())
    printer_.Status("Measuring: " + std::to_string(measured) + " of " +
                    Counted(total, "file", "files"));
}

void ConsoleStatus::FoldedDuplicate(const std::string& first, const std::string& second) {
  printer_.Line("ERROR: Paths differ only in letter case or separator: " + first + " and " +
                second + "\n");
}

void ConsoleStatus::Inseparable(const std::string& first, const std::string& second) {
  printer_.Line("ERROR: No hash multiplier gives distinct ids for " + first + " and " + second +
                "\n");
}

void ConsoleStatus::PassTried(uint64_t passes) {
  if (printer_.StatusDue())
    printer_.Status("Looking for distinct ids: " + Counted(passes, "pass", "passes") + " tried");
}

void ConsoleStatus::NoMultiplier(std::size_t files) {
  printer_.Line("ERROR: No hash multiplier gives distinct ids for " + Int(files) + " files\n");
}

void ConsoleStatus::CouldNotWrite() { printer_.Line("ERROR: Could not write Durations.bin\n"); }

void ConsoleStatus::Generated(std::size_t files) {
  printer_.Line("Generated " + Int(files) + " hash ids.\n");
}

void ConsoleStatus::OutOfMemory() { printer_.Line("Fatal Error: Out of memory\n"); }

void ConsoleStatus::TooManyOpenFiles() { printer_.Line("Fatal Error: Too many open files\n"); }

void ConsoleStatus::JobsIgnored(const std::string& value, unsigned workers) {
  printer_.Note("trackmeter: TRACKMETER_JOBS=" + value +
                " is not a positive number; ignored, using " +
                Counted(workers, "worker", "workers") + "\n");
}

void ConsoleStatus::LinesLost() {
  printer_.Note("trackmeter: could not write to standard output; lines are missing\n");
}

}  // namespace trackmeter
