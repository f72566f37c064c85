// SPDX-License-Identifier: MIT
// A machine that runs out, of descriptors or memory, at any point
// of a run with any number of threads: the run gives the lines, exit status
// and table of one thread at the same point, or says it ran out and keeps
// the old table. Never a signal, never a lost line.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "app/run.h"
#include "fake_system.h"
#include "ogg_maker.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;

// d00 to d59, each with a_bad.ogg (no Vorbis) and b_good.ogg, over an old table.
void MakeSixtyFolders(const TempTree& tree) {
  for (int d = 0; d < 60; ++d) {
    const std::string dir = std::string("d") + char('0' + d / 10) + char('0' + d % 10);
    tree.Write(dir + "/a_bad.ogg", "not Vorbis");
    tree.Write(dir + "/b_good.ogg", Short());
  }
  tree.Write("Durations.bin", "old table");
}

// The lines of the first `folders` folders' bad files.
std::string BadLines(int folders) {
  std::string lines;
  for (int d = 0; d < folders; ++d)
    lines += std::string("ERROR: OGG could not open file: d") + char('0' + d / 10) +
             char('0' + d % 10) + "/a_bad.ogg\n";
  return lines;
}

struct Result {
  int status;
  std::string out;
};

// A run on the console, in this process, with TRACKMETER_JOBS set to jobs.
Result RunInProcess(const TempTree& tree, System& system, int jobs) {
  setenv("TRACKMETER_JOBS", std::to_string(jobs).c_str(), 1);
  const std::string base = tree.root();
  const char* argv[] = {"trackmeter", base.c_str()};
  char old[4096];
  EXPECT_NE(getcwd(old, sizeof old), nullptr);
  ::testing::internal::CaptureStdout();
  const int status = RunOnConsole(2, argv, system);
  Result r{status, ::testing::internal::GetCapturedStdout()};
  EXPECT_EQ(chdir(old), 0);
  unsetenv("TRACKMETER_JOBS");
  return r;
}

// One file that cannot be opened for want of descriptors or memory.
struct FailingOpen : FakeSystem {
  FailingOpen(std::string p, Error e) : path(std::move(p)), error(e) {}
  Error OpenForReading(const std::string& p, std::unique_ptr<InputFile>* file) override {
    return p == path ? error : real.OpenForReading(p, file);
  }
  const std::string path;
  const Error error;
};

// Every line of the files before it, then the one fatal line, whichever
// thread met it and whatever the others held.
TEST(ShortageTest, AFileThatRunsOutKeepsTheLinesBeforeItWithAnyThreads) {
  TempTree tree;
  MakeSixtyFolders(tree);
  for (const int folder : {5, 40}) {
    for (const auto& [error, fatal] :
         {std::pair{Error::kNoDescriptors, "Fatal Error: Too many open files\n"},
          std::pair{Error::kNoMemory, "Fatal Error: Out of memory\n"}}) {
      const std::string file =
          std::string("d") + char('0' + folder / 10) + char('0' + folder % 10) + "/b_good.ogg";
      for (int jobs = 1; jobs <= 8; ++jobs) {
        FailingOpen system(file, error);
        const Result r = RunInProcess(tree, system, jobs);
        EXPECT_EQ(r.status, 1) << file << ", " << jobs << " jobs";
        EXPECT_EQ(r.out, Header(tree.root()) + BadLines(folder + 1) + fatal)
            << file << ", " << jobs << " jobs";
        ASSERT_EQ(ReadBytes(tree.Path("Durations.bin")), "old table");
        ASSERT_EQ(ListDir(tree.root()).size(), 61u) << "a temporary file is left";
      }
    }
  }
}

// A run in a child of this process with `free` descriptors left to open.
Result RunWithFreeDescriptors(const TempTree& tree, const TempTree& out, int free, int jobs) {
  tree.Write("Durations.bin", "old table");
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(out.Path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, 1) < 0) _exit(100);
    close(fd);
    const int lowest_free = dup(1);
    close(lowest_free);
    const rlim_t limit = static_cast<rlim_t>(lowest_free + free);
    const rlimit files = {limit, limit};
    if (setrlimit(RLIMIT_NOFILE, &files) != 0) _exit(101);
    setenv("TRACKMETER_JOBS", std::to_string(jobs).c_str(), 1);
    const std::string base = tree.root();
    const char* argv[] = {"trackmeter", base.c_str()};
    _exit(RunOnConsole(2, argv, SystemCalls()));
  }
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(out.Path("stdout"))};
}

// However few descriptors are free, any number of threads gives the lines,
// exit status and table of one; with none, the walk cannot list the base,
// which must not pass for an empty tree. (In a child: the system's loader
// would need a descriptor before the tool does.)
TEST(ShortageTest, EveryLimitOnOpenFilesGivesWhatOneThreadGives) {
#ifdef TRACKMETER_SANITIZED
  GTEST_SKIP() << "a sanitizer build checks objects through file descriptors of its own";
#endif
  TempTree tree, out;
  MakeSixtyFolders(tree);
  const Result none = RunWithFreeDescriptors(tree, out, 0, 1);
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, Header(tree.root()) + "Fatal Error: Too many open files\n");
  EXPECT_EQ(ReadBytes(tree.Path("Durations.bin")), "old table");
  for (int free = 1; free <= 5; ++free) {
    const Result one = RunWithFreeDescriptors(tree, out, free, 1);
    EXPECT_EQ(one.status, 0) << free << " free";
    EXPECT_THAT(one.out, EndsWith("Generated 120 hash ids.\n")) << free << " free";
    const std::string table = ReadBytes(tree.Path("Durations.bin"));
    for (const int jobs : {2, 4, 8}) {
      const Result r = RunWithFreeDescriptors(tree, out, free, jobs);
      EXPECT_EQ(r.status, one.status) << free << " free, " << jobs << " jobs";
      EXPECT_EQ(r.out, one.out) << free << " free, " << jobs << " jobs";
      EXPECT_EQ(ReadBytes(tree.Path("Durations.bin")), table) << free << " free, " << jobs;
    }
  }
}

// Runs the tool on tree's "music" (given as a relative path, which the tool
// works on before anything else) under a limit of kib KiB of address space,
// over an old table, with no core file. glibc grows its heap by 128 KiB more
// than it is asked for; with tight_heap it grows it by no more, so that each
// allocation, the library's included, is where memory can run out.
RunResult RunUnderMemoryLimit(const TempTree& tree, rlim_t kib, bool tight_heap, int jobs) {
  tree.Write("music/Durations.bin", "old table");
  return RunTrackmeter({"music"}, tree.root(), false, [kib, tight_heap, jobs] {
    const rlimit none = {0, 0}, limit = {kib << 10, kib << 10};
    setrlimit(RLIMIT_CORE, &none);
    setrlimit(RLIMIT_AS, &limit);
    if (tight_heap) setenv("GLIBC_TUNABLES", "glibc.malloc.top_pad=0", 1);
    setenv("TRACKMETER_JOBS", std::to_string(jobs).c_str(), 1);
  });
}

// From below the lowest limit at which the system's loader can start the
// tool at all to a little above the one it needs, with 1, 2 or 4 threads:
// the loader refuses it, or the run writes the table it writes without a
// limit, or it says it ran out of memory and leaves the old table and the
// directory as they were. Never a signal, never a wrong table, never a
// line that is not the run's. Every 4 KiB near both ends, where the start,
// the walk, the library and the writer run out, with a tight heap every
// other time; between them the runs stop before the probe's first file, so
// fewer are tried there.
TEST(ShortageTest, EveryMemoryLimitGivesTheTableOrOutOfMemoryAndTheOldTable) {
#ifdef TRACKMETER_SANITIZED
  GTEST_SKIP() << "a sanitizer build cannot run under a limit on its address space";
#endif
  if (!Emulator().empty())
    GTEST_SKIP() << "the limit on address space would be the emulator's, which reserves the "
                    "guest's whole address space at start";
  TempTree tree;
  tree.Write("music/intro.ogg", EncodeVorbis(2, 44100, 441000));
  tree.Write("music/large.ogg", EncodeVorbis(2, 44100, 661500, 1, 440.0, 0.8));  // > 128 KiB
  tree.Write("music/sfx/boom.ogg", "not Ogg Vorbis");
  tree.Write("music/sfx/chime.ogg", Short());
  tree.Write("music/themes/chained.ogg", Short() + EncodeVorbis(1, 8000, 4000, 2));
  const RunResult free_run = RunTrackmeter({"music"}, tree.root());
  ASSERT_EQ(free_run.status, 0) << free_run.out;
  const std::string table = ReadBytes(tree.Path("music/Durations.bin"));
  const std::vector<std::string> names = ListDir(tree.Path("music"));
  // The lines of a run that ends early are the first of these.
  const std::string lines = free_run.out.substr(0, free_run.out.rfind("Generated"));

  // Where the tool starts, and where it first writes the table.
  rlim_t enough = 8 << 10;
  while (RunUnderMemoryLimit(tree, enough, false, 2).status != 0) {
    enough *= 2;
    ASSERT_LT(enough, rlim_t{1} << 30) << "no limit lets the tool run";
  }
  const auto lowest = [&](const std::function<bool(const RunResult&)>& holds) {
    rlim_t low = 0, high = enough;  // holds at high, not at low
    while (high - low > 4) {
      const rlim_t mid = (low + high) / 2 / 4 * 4;
      (holds(RunUnderMemoryLimit(tree, mid, false, 2)) ? high : low) = mid;
    }
    return high;
  };
  const rlim_t starts = lowest([](const RunResult& r) { return !r.out.empty(); });
  const rlim_t from = starts > 1024 ? starts - 1024 : 0;
  const rlim_t to = lowest([](const RunResult& r) { return r.status == 0; }) + 64;
  int runs = 0, refused = 0, written = 0;
  for (rlim_t kib = from; kib <= to; kib += kib - from < 1536 || to - kib < 512 ? 4 : 64, ++runs) {
    const int jobs = 1 << (kib / 4 % 3);
    const RunResult r = RunUnderMemoryLimit(tree, kib, kib / 4 % 2 == 0, jobs);
    const std::string at = "under " + std::to_string(kib) + " KiB with " + std::to_string(jobs) +
                           " jobs:\n" + r.out + r.err;
    if (r.status == 127 && r.out.empty()) {  // the loader could not map the tool
      ++refused;
      EXPECT_EQ(ReadBytes(tree.Path("music/Durations.bin")), "old table") << at;
      continue;
    }
    if (r.status == 0) {
      ++written;
      EXPECT_EQ(r.out, free_run.out) << at;
      EXPECT_EQ(ReadBytes(tree.Path("music/Durations.bin")), table) << at;
    } else {
      ASSERT_EQ(r.status, 1) << at;
      const std::string fatal = "Fatal Error: Out of memory\n";
      ASSERT_THAT(r.out, EndsWith(fatal)) << at;
      const std::size_t printed = r.out.size() - fatal.size();
      EXPECT_EQ(r.out.substr(0, printed), lines.substr(0, printed)) << at;
      EXPECT_EQ(ReadBytes(tree.Path("music/Durations.bin")), "old table") << at;
    }
    EXPECT_EQ(r.err, "") << at;
    ASSERT_EQ(ListDir(tree.Path("music")), names) << at;
    ASSERT_THAT(ListDir(tree.root()), ElementsAre("music")) << at;
  }
  std::printf("%d runs from %lu KiB to %lu KiB: the loader refused %d, %d wrote the table\n", runs,
              static_cast<unsigned long>(from), static_cast<unsigned long>(to), refused, written);
}

}  // namespace
}  // namespace trackmeter
