// SPDX-License-Identifier: MIT
#include "lookup/lookup.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

#include "ogg_maker.h"
#include "temp_tree.h"
#include "trackmeter/durations_reader.h"
#include "trackmeter/path_hash.h"

namespace trackmeter {
namespace {

using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;
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

  // Every kind of bad table, in the C++ reader's words.
  TempTree tree;
  const std::string one = std::string("\x01\0\0\0", 4);
  const std::string record = std::string("\x05\0\0\0\0\0\x80\x3f", 8);  // id 5, 1 s
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"short.bin", "\x01\0\0"},
      {"pass.bin", std::string(4, '\0') + one + record},
      {"count.bin", one + std::string(4, '\0')},
      {"negative.bin", one + "\xFF\xFF\xFF\xFF" + record},
      {"truncated.bin", one + "\x02\0\0\0" + record},
      {"trailing.bin", one + one + record + "tail"},
      {"order.bin", one + "\x02\0\0\0" + record + record},
      {"intro.ogg", EncodeVorbis(1, 8000, 8000)},  // an audio file given for the table
  };
  for (const auto& [name, bytes] : bad) tree.Write(name, bytes);
  std::vector<std::string> tables = {tree.Path("missing.bin")};
  for (const auto& entry : bad) tables.push_back(tree.Path(entry.first));
  for (const std::string& table : tables) {
    std::string error;
    ASSERT_FALSE(DurationsTable::Load(table, &error).has_value()) << table;
    Outcome r = Lookup({table, "a.ogg"});
    EXPECT_EQ(r.status, 2) << table;
    EXPECT_EQ(r.out, "") << table;
    EXPECT_EQ(r.err, "trackmeter-lookup: " + table + ": " + error + "\n");
  }
  EXPECT_THAT(Lookup({tree.Path("intro.ogg")}).err, HasSubstr(": not a Durations.bin table: "));

  // No regular file: refused at once. A FIFO with no writer would block
  // the opening for ever, so the program runs with an alarm set.
  ASSERT_EQ(mkfifo(tree.Path("fifo").c_str(), 0644), 0);
  tree.MakeDir("dir");
  for (const std::string& table : {tree.Path("fifo"), tree.Path("dir")}) {
    const RunResult r =
        RunProgram(TRACKMETER_LOOKUP_EXE, {table, "a.ogg"}, tree.root(), false, [] { alarm(10); });
    EXPECT_EQ(r.status, 2) << table;
    EXPECT_EQ(r.out, "") << table;
    EXPECT_EQ(r.err, "trackmeter-lookup: " + table + ": cannot open: not a regular file\n");
  }
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

// A table of a thousand records, intro.ogg's among them (10 s).
std::string ThousandRecords() {
  const uint32_t intro = PathHash("intro.ogg", MultiplierOfPass(1));
  std::vector<uint32_t> ids = {intro};
  for (uint32_t i = 1; i < 1000; ++i) ids.push_back(i * 4099);
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  std::string bytes;
  const auto put = [&](uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(v >> shift & 0xFF);
  };
  put(1);
  put(static_cast<uint32_t>(ids.size()));
  for (const uint32_t id : ids) {
    put(id);
    put(id == intro ? 0x41200000 : 0x3F000000);  // 10 s, 0.5 s
  }
  return bytes;
}

// Runs the lookup under a limit of kib KiB of address space, with no core
// file; with a tight heap, glibc grows it by no more than it is asked for,
// so that each allocation is where memory can run out.
RunResult LookupUnderMemoryLimit(const TempTree& tree, const std::vector<std::string>& args,
                                 rlim_t kib, bool tight_heap) {
  return RunProgram(TRACKMETER_LOOKUP_EXE, args, tree.root(), false, [kib, tight_heap] {
    const rlimit none = {0, 0}, limit = {kib << 10, kib << 10};
    setrlimit(RLIMIT_CORE, &none);
    setrlimit(RLIMIT_AS, &limit);
    if (tight_heap) setenv("GLIBC_TUNABLES", "glibc.malloc.top_pad=0", 1);
  });
}

// From a little below the lowest limit at which the program starts (below
// it the system's loader fails, with status 127) to 800 KiB above, every
// 10 KiB: the lookup answers as it does without a limit, or says that it is
// out of memory, with status 2. Never a signal.
TEST(LookupCommandTest, EveryMemoryLimitGivesTheAnswerOrOutOfMemory) {
#ifdef TRACKMETER_SANITIZED
  GTEST_SKIP() << "a sanitizer build cannot run under a limit on its address space";
#endif
  if (!Emulator().empty()) GTEST_SKIP() << "the limit would be the emulator's";
  TempTree tree;
  const std::string table = ThousandRecords();
  tree.Write("Durations.bin", table);
  const std::vector<std::vector<std::string>> commands = {
      {"Durations.bin", "intro.ogg", "./outro.ogg"}, {"Durations.bin"}};
  std::vector<RunResult> free_runs;
  for (const auto& args : commands)
    free_runs.push_back(RunProgram(TRACKMETER_LOOKUP_EXE, args, tree.root()));
  ASSERT_EQ(free_runs[0].status, 1);
  ASSERT_EQ(free_runs[0].out, "intro.ogg\t10\n./outro.ogg\tnot found\n");
  ASSERT_EQ(free_runs[1].status, 0);
  ASSERT_EQ(std::count(free_runs[1].out.begin(), free_runs[1].out.end(), '\n'), 1003);

  rlim_t enough = 8 << 10;
  while (LookupUnderMemoryLimit(tree, commands[0], enough, false).status != 1) {
    enough *= 2;
    ASSERT_LT(enough, rlim_t{1} << 30) << "no limit lets the program run";
  }
  rlim_t low = 0, high = enough;  // starts at high, not at low
  while (high - low > 10) {
    const rlim_t mid = (low + high) / 2;
    (LookupUnderMemoryLimit(tree, commands[0], mid, false).status != 127 ? high : low) = mid;
  }
  const std::string lead = "trackmeter-lookup: Durations.bin: ";
  int unstarted = 0, short_of_memory = 0, answered = 0;
  for (rlim_t kib = high - high % 10 - 200; kib <= high + 800; kib += 10) {
    for (std::size_t c = 0; c < commands.size(); ++c) {
      const RunResult r = LookupUnderMemoryLimit(tree, commands[c], kib, kib / 10 % 2 == 0);
      const std::string at = "under " + std::to_string(kib) + " KiB: " + r.out + r.err;
      if (r.status == 127) {  // the loader's, before the program starts
        ++unstarted;
        EXPECT_THAT(r.err, Not(StartsWith("trackmeter-lookup"))) << at;
      } else if (r.status == 2) {
        ++short_of_memory;
        EXPECT_EQ(r.out, "") << at;
        EXPECT_THAT(r.err,
                    AnyOf(lead + "out of memory\n", lead + "too large to hold in memory: " +
                                                        std::to_string(table.size()) + " bytes\n"))
            << at;
      } else {
        ++answered;
        EXPECT_EQ(r.status, free_runs[c].status) << at;
        EXPECT_EQ(r.out, free_runs[c].out) << at;
        EXPECT_EQ(r.err, "") << at;
      }
    }
  }
  std::printf("from %lu KiB: %d runs did not start, %d were out of memory, %d answered\n",
              static_cast<unsigned long>(high - high % 10 - 200), unstarted, short_of_memory,
              answered);
}

}  // namespace
}  // namespace trackmeter
