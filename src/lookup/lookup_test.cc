// SPDX-License-Identifier: MIT
#include "lookup/lookup.h"

#include <sys/resource.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "ogg_maker.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Lookup(std::vector<std::string> args) {
  args.insert(args.begin(), "trackmeter-lookup");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int status = RunLookup(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

TEST(LookupCommandTest, UsageHelpAndBadTables) {
  Outcome none = Lookup({});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "usage: trackmeter-lookup TABLE [PATH...]\n");

  Outcome help = Lookup({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, StartsWith("usage: trackmeter-lookup TABLE [PATH...]\n"));
  EXPECT_EQ(Lookup({"--version"}).out, "trackmeter-lookup " TRACKMETER_VERSION "\n");

  TempTree tree;
  tree.Write("bad.bin", std::string("\x01\x00\x00\x00\x00\x00\x00\x00", 8));
  for (const std::string& table : {tree.Path("missing.bin"), tree.Path("bad.bin")}) {
    Outcome bad = Lookup({table, "a.ogg"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_THAT(bad.err, StartsWith("trackmeter-lookup: " + table + ": "));
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1);
  }
  // An audio file given for the table.
  tree.Write("intro.ogg", EncodeVorbis(1, 8000, 8000));
  EXPECT_THAT(Lookup({tree.Path("intro.ogg"), "a.ogg"}).err,
              StartsWith("trackmeter-lookup: " + tree.Path("intro.ogg") +
                         ": not a Durations.bin table: "));
}

// The real tool writes a table; the real lookup command reads it.
TEST(LookupCommandTest, RoundTripThroughTheTool) {
  TempTree tree;
  tree.Write("intro.ogg", EncodeVorbis(1, 8000, 80000));     // 10 s
  tree.Write("sfx/boom.ogg", EncodeVorbis(1, 8000, 3000));   // 0.375 s
  tree.Write("sfx/deep/junk.ogg", "no audio");
  ASSERT_EQ(RunTrackmeter({}, tree.root()).status, 0);
  const std::string table = tree.Path("Durations.bin");

  const RunResult found = RunProgram(TRACKMETER_LOOKUP_EXE,
                              {table, "intro.ogg", "sfx/boom.ogg", "SFX\\BOOM.OGG",
                               "sfx\\Deep/JUNK.ogg", "./intro.ogg"},
                              tree.root());
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(found.out,
            "intro.ogg\t10\n"
            "sfx/boom.ogg\t0.375\n"
            "SFX\\BOOM.OGG\t0.375\n"
            "sfx\\Deep/JUNK.ogg\t0\n"
            "./intro.ogg\t10\n");

  const RunResult missing =
      RunProgram(TRACKMETER_LOOKUP_EXE, {table, "intro.ogg", "outro.ogg"}, tree.root());
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "intro.ogg\t10\noutro.ogg\tnot found\n");

  const RunResult dump = RunProgram(TRACKMETER_LOOKUP_EXE, {table}, tree.root());
  EXPECT_EQ(dump.status, 0);
  EXPECT_THAT(dump.out, StartsWith("pass\t1\nmultiplier\t2\ncount\t3\n"));
  EXPECT_THAT(dump.out, HasSubstr("\t10\n"));
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 6);
}

// A valid header over 4 GiB of records (a sparse file), under a limit of
// about 1 GB of address space: one line and status 2, not an abort.
TEST(LookupCommandTest, TableLargerThanTheMemoryItMayUseIsRefused) {
#ifdef TRACKMETER_SANITIZED
  GTEST_SKIP() << "a sanitizer build cannot run under a limit on its address space";
#endif
  if (!Emulator().empty()) GTEST_SKIP() << "the limit would be the emulator's";
  TempTree tree;
  const uint32_t count = 0x1FFFFFFF;  // 8 + 8 x count = 4 GiB
  tree.Write("Durations.bin", std::string("\x01\0\0\0\xFF\xFF\xFF\x1F", 8));  // pass 1
  ASSERT_EQ(truncate(tree.Path("Durations.bin").c_str(), 8 + 8 * off_t{count}), 0);
  const RunResult r = RunProgram(TRACKMETER_LOOKUP_EXE, {"Durations.bin"}, tree.root(), false, [] {
    const rlimit none = {0, 0}, limit = {rlim_t{1000000} << 10, rlim_t{1000000} << 10};
    setrlimit(RLIMIT_CORE, &none);
    setrlimit(RLIMIT_AS, &limit);
  });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "trackmeter-lookup: Durations.bin: too large to hold in memory: 4294967296 bytes\n");
}

}  // namespace
}  // namespace trackmeter
