// SPDX-License-Identifier: MIT
#include "console/line_printer.h"

#include <algorithm>
#include <chrono>

namespace trackmeter {

namespace {

constexpr int64_t kEveryNs = 100'000'000;

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

LinePrinter::LinePrinter(std::FILE* out, std::FILE* err, System* system)
    : out_(out), err_(err), system_(system),
      smart_(system != nullptr && system->TerminalColumns(Stream::kError) >= 0) {}

// Each leaves at once, so that bytes and console characters never overtake
// each other. A failed write to err is not the run's concern.
void LinePrinter::Put(Stream stream, std::string_view text) {
  if (system_ != nullptr && system_->WriteConsole(stream, text)) return;
  const bool out = stream == Stream::kOutput;
  if (out && out_error_ != Error::kNone) return;
  std::FILE* const file = out ? out_ : err_;
  std::fflush(file);  // whatever stdio holds goes first
  const Error error = WriteAll(file, text.data(), text.size());
  if (out) out_error_ = error;
}

// Blanks over what is shown, and back to the margin: carriage returns and
// blanks work on every terminal, the Windows console included.
void LinePrinter::EraseLocked() {
  if (shown_ == 0) return;
  // In pieces of a constant: this may be the way to a line on a shortage.
  constexpr std::string_view kBlanks = "                                ";
  Put(Stream::kError, "\r");
  for (std::size_t left = shown_; left > 0; left -= std::min(left, kBlanks.size()))
    Put(Stream::kError, kBlanks.substr(0, std::min(left, kBlanks.size())));
  Put(Stream::kError, "\r");
  shown_ = 0;
}

void LinePrinter::Line(std::string_view text) {
  const std::lock_guard<std::mutex> hold(lock_);
  EraseLocked();
  Put(Stream::kOutput, text);
}

void LinePrinter::Note(std::string_view text) {
  const std::lock_guard<std::mutex> hold(lock_);
  EraseLocked();
  Put(Stream::kError, text);
}

bool LinePrinter::LinesLost() {
  const std::lock_guard<std::mutex> hold(lock_);
  return out_error_ != Error::kNone && out_error_ != Error::kClosed;
}

bool LinePrinter::StatusDue() const {
  const int64_t last = last_.load(std::memory_order_relaxed);
  return smart_ && (last == INT64_MIN || Now() - last >= kEveryNs);
}

void LinePrinter::Status(const std::string& text) {
  if (!StatusDue()) return;
  const std::unique_lock<std::mutex> hold(lock_, std::try_to_lock);
  if (!hold.owns_lock()) return;  // another thread is printing
  // One column short of the width: a line that fills it wraps on some
  // terminals, and "\r" would then leave its first row behind.
  const int columns = system_->TerminalColumns(Stream::kError);
  const std::size_t room = columns > 0 ? static_cast<std::size_t>(columns - 1) : SIZE_MAX;
  std::size_t length = std::min(text.size(), room);
  while (length > 0 && text[length - 1] == ' ') --length;
  const std::size_t blanks = std::min(shown_, room) > length ? std::min(shown_, room) - length : 0;
  Put(Stream::kError, "\r" + text.substr(0, length) + std::string(blanks, ' '));
  shown_ = length;
  last_ = Now();
}

}  // namespace trackmeter
