// SPDX-License-Identifier: MIT
// What a run reports as it goes: the stages say what happens (a file found,
// a file measured, a pass tried), and the run its own steps. Every line the
// tool prints comes from one of these calls. ConsoleStatus prints them;
// tests give a fake.
#ifndef TRACKMETER_CONSOLE_STATUS_H_
#define TRACKMETER_CONSOLE_STATUS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/types.h"

namespace trackmeter {

class Status {
 public:
  virtual ~Status() = default;

  // The banner, the usage line and a blank line; on every run.
  virtual void Banner() = 0;
  // After the banner, for --help or -h: the argument, TRACKMETER_JOBS, the
  // table, where to read more. For --version: the tool's version.
  virtual void Help() = 0;
  virtual void Version() = 0;
  // The base directory cannot be entered; the run stops.
  virtual void CannotEnterBase(const std::string& base) = 0;
  virtual void BaseEntered(const std::string& absolute) = 0;

  // The walk: a directory below the base (or the base, ".") that could
  // not be read, and how many Ogg files were found so far.
  virtual void DirectoryUnreadable(const std::string& path) = 0;
  virtual void FileFound(std::size_t found) = 0;
  virtual void NoOggsFound() = 0;

  // The probe, on the thread that runs it, in the order of the files: file
  // measured (of total) is path.
  virtual void FileMeasured(const std::string& path, Outcome outcome, std::size_t measured,
                            std::size_t total) = 0;

  // The id search. PassTried may come from any thread.
  virtual void FoldedDuplicate(const std::string& first, const std::string& second) = 0;
  virtual void Inseparable(const std::string& first, const std::string& second) = 0;
  virtual void PassTried(uint64_t passes) = 0;
  virtual void NoMultiplier(std::size_t files) = 0;

  // How the run ends.
  virtual void CouldNotWrite() = 0;
  virtual void Generated(std::size_t files) = 0;
  virtual void OutOfMemory() = 0;
  virtual void TooManyOpenFiles() = 0;

  // TRACKMETER_JOBS holds value, which is no positive number, so workers
  // are used; for the person at the terminal, not the protocol.
  virtual void JobsIgnored(const std::string& value, unsigned workers) = 0;
};

}  // namespace trackmeter

#endif  // TRACKMETER_CONSOLE_STATUS_H_
