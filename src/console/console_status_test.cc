// SPDX-License-Identifier: MIT
#include "console/console_status.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "fake_system.h"

namespace trackmeter {
namespace {

std::string Contents(std::FILE* f) {
  std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  text.resize(std::fread(&text[0], 1, text.size(), f));
  return text;
}

// On a terminal 20 columns wide the status line takes 19 at most (and no
// blank at its end), so that it never wraps, and is erased before a line of the protocol; its words
// agree with its numbers. Standard output gets the protocol alone.
TEST(ConsoleStatusTest, StatusLineFitsTheTerminalAndGivesWayToLines) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_TRUE(out != nullptr && err != nullptr);
  {
    struct Narrow : FakeSystem {
      int TerminalColumns(Stream) override { return 20; }
    } terminal;
    LinePrinter printer(out, err, &terminal);
    ConsoleStatus status(printer);
    status.FileMeasured("a.ogg", Outcome::kMeasured, 2061, 20000);
    status.FileMeasured("b.ogg", Outcome::kNotOggVorbis, 2062, 20000);
    status.JobsIgnored("x", 1);
  }
  EXPECT_EQ(Contents(out), "ERROR: OGG could not open file: b.ogg\n");
  EXPECT_EQ(Contents(err), "\rMeasuring: 2061 of\r" + std::string(18, ' ') +
                               "\rtrackmeter: TRACKMETER_JOBS=x is not a positive number; "
                               "ignored, using 1 worker\n");
  std::fclose(out);
  std::fclose(err);
  EXPECT_EQ(Counted(1, "pass", "passes"), "1 pass");
  EXPECT_EQ(Counted(2, "pass", "passes"), "2 passes");
}

}  // namespace
}  // namespace trackmeter
