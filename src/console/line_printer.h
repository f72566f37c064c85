// SPDX-License-Identifier: MIT
// Lines to standard output, and a status line on a terminal that never
// stays behind: rewritten in place, cut to the terminal's width so that it
// never wraps, and erased before every other line. A console that shows
// another code page (Windows) is written characters, not bytes.
#ifndef TRACKMETER_CONSOLE_LINE_PRINTER_H_
#define TRACKMETER_CONSOLE_LINE_PRINTER_H_

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace trackmeter {

class LinePrinter {
 public:
  // out and err are standard output and standard error, or files in their
  // place; system, if given, tells whether err is a terminal, and writes
  // to a console. Without it the status line is never shown.
  LinePrinter(std::FILE* out, std::FILE* err, System* system);

  // text to out, at once (a run that is killed keeps its lines). After a
  // write to out fails, nothing more goes there: what did is in order.
  // Nothing is allocated, so that a shortage can always be reported.
  void Line(std::string_view text);
  // text to err, for the person at the terminal.
  void Note(std::string_view text);
  // Whether a status line would be drawn now: it is drawn at most ten
  // times a second, so its text need not be made more often.
  bool StatusDue() const;
  // The status line; any thread may call it.
  void Status(const std::string& text);
  // Whether lines were lost for some reason other than a reader of out that
  // went away (trackmeter | head, which asked for no more): a full disk, an
  // I/O error. The run must not then end as if all had been said.
  bool LinesLost();

 private:
  void Put(Stream stream, std::string_view text);
  void EraseLocked();

  std::FILE* const out_;
  std::FILE* const err_;
  System* const system_;
  const bool smart_;
  std::mutex lock_;
  std::atomic<int64_t> last_{INT64_MIN};  // when the status was last drawn, in ns
  std::size_t shown_ = 0;                  // its length; 0 when none is shown
  Error out_error_ = Error::kNone;         // the write to out that failed
};

}  // namespace trackmeter

#endif  // TRACKMETER_CONSOLE_LINE_PRINTER_H_
