// SPDX-License-Identifier: MIT
// The status of a run on the console: the tool's lines, exactly as scripts
// and people read them, on standard output, and how far the run has come
// on a status line when standard error is a terminal.
#ifndef TRACKMETER_CONSOLE_CONSOLE_STATUS_H_
#define TRACKMETER_CONSOLE_CONSOLE_STATUS_H_

#include "console/line_printer.h"
#include "console/status.h"

namespace trackmeter {

class ConsoleStatus final : public Status {
 public:
  explicit ConsoleStatus(LinePrinter& printer) : printer_(printer) {}

  void Banner() override;
  void Help() override;
  void Version() override;
  void CannotEnterBase(const std::string& base) override;
  void BaseEntered(const std::string& absolute) override;
  void DirectoryUnreadable(const std::string& path) override;
  void FileFound(std::size_t found) override;
  void NoOggsFound() override;
  void FileMeasured(const std::string& path, Outcome outcome, std::size_t measured,
                    std::size_t total) override;
  void FoldedDuplicate(const std::string& first, const std::string& second) override;
  void Inseparable(const std::string& first, const std::string& second) override;
  void PassTried(uint64_t passes) override;
  void NoMultiplier(std::size_t files) override;
  void CouldNotWrite() override;
  void Generated(std::size_t files) override;
  void OutOfMemory() override;
  void TooManyOpenFiles() override;
  void JobsIgnored(const std::string& value, unsigned workers) override;
  // Lines could not be written to standard output: said on standard error,
  // the one place left.
  void LinesLost();

 private:
  LinePrinter& printer_;
};

// n followed by one or many, as n asks: "1 pass", "2 passes".
std::string Counted(uint64_t n, const char* one, const char* many);

}  // namespace trackmeter

#endif  // TRACKMETER_CONSOLE_CONSOLE_STATUS_H_
