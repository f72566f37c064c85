// SPDX-License-Identifier: MIT
// Trees and machines that try to break a run: odd names, special files,
// files that change under the run, a full disk. Every run must end, print
// only the tool's own lines, and leave the table the rules say.
#include <fcntl.h>
#include <signal.h>
#ifdef __linux__  // the two tests that need them are Linux's alone
#include <sys/inotify.h>
#include <sys/mount.h>
#endif
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <utility>

#include "app/run.h"
#include "fake_system.h"
#include "ogg_maker.h"
#include "temp_tree.h"
#include "trackmeter/durations_reader.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;

// The table in dir, which must be valid.
DurationsTable TableIn(const TempTree& tree) {
  std::string error;
  auto table = DurationsTable::Load(tree.Path("Durations.bin"), &error);
  EXPECT_TRUE(table.has_value()) << error;
  return table.value_or(DurationsTable());
}

TEST(HostileTreeTest, NamesAreDataNeverFormatsOrLineBreaksOfOurOwn) {
  TempTree tree;
  const std::vector<std::string> names = {
      "%s%s%s%n.ogg", "line\nbreak.ogg", "tab\there.ogg", "back\\slash.ogg",
      "\x80\x9F\xC0\xFF.ogg",          // invalid UTF-8
      "caf\xC3\xA9.ogg",               // valid UTF-8
      std::string(251, 'n') + ".ogg",  // the longest name the system takes
  };
  for (const std::string& n : names) tree.Write("odd/" + n, Short());
  tree.Write("odd/%n%n bad.ogg", "not audio");
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Header(tree.root()) +
                       "ERROR: OGG could not open file: odd/%n%n bad.ogg\n"
                       "Generated 8 hash ids.\n");
  const DurationsTable table = TableIn(tree);
  for (const std::string& n : names) EXPECT_EQ(table.Lookup("odd/" + n), 0.25f) << n;
  EXPECT_EQ(table.Lookup("odd/%n%n bad.ogg"), 0.0f);
}

// A chain of folders named d, deeper than the system takes a whole path:
// made and removed a level at a time, relative to the one above.
struct DeepChain {
  using Files = std::map<int, std::pair<std::string, std::string>>;  // level: name, bytes
  DeepChain(const TempTree& tree, int depth, const Files& files) : root(tree.root()) {
    ScopedDirectory at(root);
    for (int level = 1; level <= depth; ++level) {
      if (mkdir("d", 0755) != 0 || chdir("d") != 0) return;
      const auto file = files.find(level);
      if (file == files.end()) continue;
      const auto& [name, bytes] = file->second;
      std::FILE* f = std::fopen(name.c_str(), "wb");
      if (f == nullptr) return;
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
      ++made;
    }
  }
  ~DeepChain() {
    ScopedDirectory at(root);
    int down = 0;
    while (chdir("d") == 0) ++down;
    for (; down > 0; --down) {
      for (const std::string& name : ListDir(".")) unlink(name.c_str());
      if (chdir("..") != 0 || rmdir("d") != 0) break;
    }
  }
  std::string root;
  int made = 0;  // files written
};

// 2,100 levels, past where the system takes the path (the walk says so),
// a file at 1,000 and 2,040, and the longest chain the probe takes, through
// which the library recurses: a low stack limit changes nothing.
TEST(HostileTreeTest, DeepTreeUnderALowStackLimitGivesTheSameRun) {
  if (!Emulator().empty()) GTEST_SKIP() << "the stack limit would be the emulator's";
  TempTree tree;
  const DeepChain chain(tree, 2100, {{1000, {"deep.ogg", Short()}}, {2040, {"bad.ogg", "junk"}}});
  ASSERT_EQ(chain.made, 2);
  const std::string link = EncodeVorbis(1, 8000, 800);
  std::string streams;
  for (int i = 1; i <= 4096; ++i) streams += WithSerial(link, i);
  tree.Write("chain.ogg", streams);
  struct Run {
    RunResult r;
    std::string table;
  };
  const auto run = [&](rlim_t stack_kib, const char* jobs) {
    const RunResult r = RunTrackmeter({}, tree.root(), false, [stack_kib, jobs] {
      rlimit limit;
      getrlimit(RLIMIT_STACK, &limit);
      limit.rlim_cur = std::min<rlim_t>(stack_kib << 10, limit.rlim_max);
      setrlimit(RLIMIT_STACK, &limit);
      setenv("TRACKMETER_JOBS", jobs, 1);
    });
    return Run{r, ReadBytes(tree.Path("Durations.bin"))};
  };
  const Run free_run = run(8192, "1");
  ASSERT_EQ(free_run.r.status, 0) << free_run.r.out;
  EXPECT_THAT(free_run.r.out, EndsWith("Generated 3 hash ids.\n"));
  std::string deep;
  for (int i = 0; i < 1000; ++i) deep += "d/";
  EXPECT_EQ(TableIn(tree).Lookup(deep + "deep.ogg"), 0.25f);
  EXPECT_EQ(TableIn(tree).Lookup("chain.ogg"), 409.6f);
  for (const rlim_t kib : {8192, 256}) {
    for (const char* jobs : {"1", "2"}) {
      const Run low = run(kib, jobs);
      const std::string at = std::to_string(kib) + " KiB, TRACKMETER_JOBS=" + jobs;
      EXPECT_EQ(low.r.status, 0) << at;
      EXPECT_TRUE(low.r.out == free_run.r.out) << at;  // 8 KiB of paths: not printed
      EXPECT_EQ(low.r.err, "") << at;
      EXPECT_EQ(low.table, free_run.table) << at;
    }
  }
}

TEST(HostileTreeTest, SpecialFilesAreRefusedWithoutBlockingOrEndlessReads) {
  TempTree tree;
  ASSERT_EQ(mkfifo(tree.Path("fifo.ogg").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", tree.Path("zero.ogg").c_str()), 0);
  ASSERT_EQ(symlink("/dev/null", tree.Path("null.ogg").c_str()), 0);
  // 16 GiB of holes: the library gives up within its first chunk.
  tree.Write("big.ogg", "");
  ASSERT_EQ(truncate(tree.Path("big.ogg").c_str(), off_t{16} << 30), 0);
  tree.Write("good.ogg", Short());
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Header(tree.root()) +
                       "ERROR: OGG could not open file: big.ogg\n"
                       "ERROR: Could not open file: fifo.ogg\n"
                       "ERROR: Could not open file: null.ogg\n"
                       "ERROR: Could not open file: zero.ogg\n"
                       "Generated 5 hash ids.\n");
  EXPECT_EQ(TableIn(tree).Lookup("good.ogg"), 0.25f);
}

// The system's calls, except that a file changes just before the probe
// opens it.
struct ChangingSystem : FakeSystem {
  Error OpenForReading(const std::string& p, std::unique_ptr<InputFile>* file) override {
    if (p == "gone.ogg") unlink(p.c_str());
    if (p == "now_a_dir.ogg") {
      unlink(p.c_str());
      mkdir(p.c_str(), 0755);
    }
    return real.OpenForReading(p, file);
  }
};

TEST(HostileTreeTest, FilesThatVanishOrTurnIntoDirectoriesAfterTheScan) {
  TempTree tree;
  tree.Write("gone.ogg", Short());
  tree.Write("now_a_dir.ogg", Short());
  tree.Write("stays.ogg", Short());
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ChangingSystem system;
  const std::string base = tree.root();
  const char* argv[] = {"trackmeter", base.c_str()};
  ::testing::internal::CaptureStdout();
  const int status = RunOnConsole(2, argv, system);
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, Header(tree.root()) +
                     "ERROR: Could not open file: gone.ogg\n"
                     "ERROR: Could not open file: now_a_dir.ogg\n"
                     "Generated 3 hash ids.\n");
  EXPECT_EQ(TableIn(tree).Lookup("gone.ogg"), 0.0f);
}

#ifdef __linux__  // Linux's mount(2)
// A real full disk: a tiny tmpfs that holds the old table and no more.
TEST(HostileTreeTest, FullDiskKeepsTheOldTable) {
  TempTree tree;
  const std::string mnt = tree.Path("small");
  tree.MakeDir("small");
  if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                 << "); the failing writes are covered through the platform seam";
  struct Unmount {
    std::string path;
    ~Unmount() { umount(path.c_str()); }
  } unmount{mnt};

  const std::string old = "old table, kept whole";
  tree.Write("small/Durations.bin", old);
  tree.Write("small/a.ogg", Short());
  // Fill what is left.
  std::string filler(4096, 'f');
  std::FILE* f = std::fopen((mnt + "/filler").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  while (std::fwrite(filler.data(), 1, filler.size(), f) == filler.size() &&
         std::fflush(f) == 0) {
  }
  std::fclose(f);

  const RunResult r = RunTrackmeter({}, mnt);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, EndsWith("ERROR: Could not write Durations.bin\n"));
  EXPECT_EQ(ReadBytes(mnt + "/Durations.bin"), old);
  EXPECT_EQ(ListDir(mnt), (std::vector<std::string>{"Durations.bin", "a.ogg", "filler"}));
}
#endif  // __linux__

// Durations.bin as a link to a file outside the tree, and as a file its
// owner made read-only.
TEST(HostileTreeTest, LinkedTableIsReplacedAndReadOnlyTableIsLeftAlone) {
  TempTree outside;
  outside.Write("passwd", "not yours");
  TempTree tree;
  tree.Write("a.ogg", Short());
  ASSERT_EQ(symlink(outside.Path("passwd").c_str(), tree.Path("Durations.bin").c_str()), 0);
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadBytes(outside.Path("passwd")), "not yours");
  struct stat st;
  ASSERT_EQ(lstat(tree.Path("Durations.bin").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(TableIn(tree).Lookup("a.ogg"), 0.25f);

  TempTree locked;
  locked.Write("a.ogg", Short());
  locked.Write("Durations.bin", "protected");
  ASSERT_EQ(chmod(locked.Path("Durations.bin").c_str(), 0444), 0);
  // Root may write anything: run the tool as nobody then.
  const bool root = geteuid() == 0;
  if (root) ChownToNobody(locked.root());
  const RunResult l = RunTrackmeter({}, locked.root(), root);
  EXPECT_EQ(l.status, 1);
  EXPECT_EQ(l.out, Header(locked.root()) + "ERROR: Could not write Durations.bin\n");
  EXPECT_EQ(ReadBytes(locked.Path("Durations.bin")), "protected");
  EXPECT_THAT(ListDir(locked.root()), ElementsAre("Durations.bin", "a.ogg"));
}

// The system's calls, except that the signal arrives while the table is
// being flushed, when its temporary file exists.
struct SignalledSystem : FakeSystem {
  explicit SignalledSystem(int signal) : sig(signal) {}
  Error CreateExclusive(const std::string& p, std::unique_ptr<OutputFile>* file) override {
    const Error error = real.CreateExclusive(p, file);
    if (error == Error::kNone) *file = std::make_unique<File>(sig, std::move(*file));
    return error;
  }
  struct File : OutputFile {
    File(int signal, std::unique_ptr<OutputFile> file) : sig(signal), f(std::move(file)) {}
    Error Write(const void* d, std::size_t n) override { return f->Write(d, n); }
    Error Flush() override {
      raise(sig);
      return f->Flush();
    }
    Error Close() override { return f->Close(); }
    Error SetOwner(uint32_t o, uint32_t g) override { return f->SetOwner(o, g); }
    Error SetMode(uint32_t m) override { return f->SetMode(m); }
    int sig;
    std::unique_ptr<OutputFile> f;
  };
  int sig;
};

TEST(HostileTreeTest, SignalDuringTheWriteLeavesNoTemporaryAndKeepsTheLines) {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    TempTree tree;
    tree.Write("a.ogg", Short());
    tree.Write("bad.ogg", "not audio");
    tree.Write("Durations.bin", "old table");
    TempTree out;
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // As a shell starts a command: every signal at its default action.
      for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
      const int fd = open(out.Path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, 1) < 0) _exit(100);
      // Buffered in full, as standard output to a file is.
      setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
      SignalledSystem system(sig);
      const std::string base = tree.root();
      const char* argv[] = {"trackmeter", base.c_str()};
      RunOnConsole(2, argv, system);
      _exit(101);  // not reached: the signal ends the run
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig)
        << "signal " << sig << ", status " << status;
    EXPECT_THAT(ListDir(tree.root()), ElementsAre("Durations.bin", "a.ogg", "bad.ogg"))
        << "signal " << sig;
    EXPECT_EQ(ReadBytes(tree.Path("Durations.bin")), "old table");
    EXPECT_EQ(ReadBytes(out.Path("stdout")),
              Header(tree.root()) + "ERROR: OGG could not open file: bad.ogg\n");
  }
}

#ifdef __linux__  // inotify
TEST(HostileTreeTest, FifoWithABlockedWriterIsNeverOpened) {
  TempTree tree;
  tree.Write("a.ogg", Short());
  ASSERT_EQ(mkfifo(tree.Path("fifo.ogg").c_str(), 0644), 0);
  // Every open of a name in the tree is recorded as it happens.
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, tree.root().c_str(), IN_OPEN) < 0)
    GTEST_SKIP() << "no inotify here (" << std::strerror(errno)
                 << "); a FIFO without a writer is covered above";
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    // Blocks until some reader opens the FIFO.
    const int fd = open(tree.Path("fifo.ogg").c_str(), O_WRONLY);
    _exit(fd < 0 ? 1 : 0);
  }

  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Header(tree.root()) + "ERROR: Could not open file: fifo.ogg\n"
                                         "Generated 2 hash ids.\n");
  std::vector<std::string> opened;
  alignas(inotify_event) char buf[4096];
  ssize_t n;
  while ((n = read(watch, buf, sizeof buf)) > 0) {
    for (char* p = buf; p < buf + n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(p);
      if (e->len > 0) opened.push_back(e->name);
      p += sizeof(inotify_event) + e->len;
    }
  }
  close(watch);
  EXPECT_THAT(opened, ::testing::Not(::testing::Contains("fifo.ogg")));
  EXPECT_THAT(opened, ::testing::Contains("a.ogg"));  // the record works
  EXPECT_EQ(waitpid(writer, nullptr, WNOHANG), 0);   // still waiting
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
}
#endif  // __linux__

// A reader of the output that has gone away, as in trackmeter | head -2.
TEST(HostileTreeTest, ClosedOutputPipeDoesNotStopTheRun) {
  TempTree tree;
  tree.Write("a.ogg", Short());
  tree.Write("bad.ogg", "not audio");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  std::fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);  // as a shell starts it, whatever the test does
    dup2(fds[1], 1);
    if (chdir(tree.root().c_str()) != 0) _exit(126);
    ExecBuilt(TRACKMETER_EXE, {});
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(TableIn(tree).Lookup("a.ogg"), 0.25f);
}

// Standard output that pushes back, as a caller gives it that reads slowly
// from a pipe it set not to block: every line arrives. One that fails (a
// full disk) lets the run write its table, and then says so: exit 1.
TEST(HostileTreeTest, OutputThatPushesBackGetsEveryLineAndOneThatFailsEndsInStatusOne) {
  TempTree tree;
  for (int i = 0; i < 3000; ++i)
    tree.Write("not-vorbis-" + std::to_string(10000 + i) + std::string(32, '-') + ".ogg", "junk");
  const RunResult free_run = RunTrackmeter({}, tree.root());
  ASSERT_EQ(free_run.status, 0);
  const std::string table = ReadBytes(tree.Path("Durations.bin"));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    if (fcntl(1, F_SETFL, fcntl(1, F_GETFL) | O_NONBLOCK) != 0) _exit(125);
    if (chdir(tree.root().c_str()) != 0) _exit(126);
    ExecBuilt(TRACKMETER_EXE, {});
    _exit(127);
  }
  close(fds[1]);
  usleep(500000);  // the pipe holds 64 KiB, the lines are 240 KiB
  std::string out;
  char buf[65536];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) != 0;) {
    if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    if (n < 0 && errno != EINTR) break;
  }
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3006);
  EXPECT_TRUE(out == free_run.out);  // 240 KiB: not printed

#ifdef __linux__  // /dev/full
  tree.Write("Durations.bin", "old table");
  const RunResult full = RunTrackmeter({}, tree.root(), false, [] {
    const int fd = open("/dev/full", O_WRONLY);
    if (fd < 0 || dup2(fd, 1) < 0) _exit(124);
  });
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "trackmeter: could not write to standard output; lines are missing\n");
  EXPECT_EQ(ReadBytes(tree.Path("Durations.bin")), table);
#endif
}

// Two links per level to the next, forty levels: 2^40 paths to the bottom.
TEST(HostileTreeTest, LinksThatFanOutCostNoMoreThanTheTree) {
  TempTree tree;
  auto level = [](int i) { return "L" + std::string(i < 10 ? "0" : "") + std::to_string(i); };
  for (int i = 0; i < 40; ++i) {
    tree.MakeDir(level(i));
    for (const char* link : {"a", "b"})
      ASSERT_EQ(symlink(("../" + level(i + 1)).c_str(), tree.Path(level(i) + "/" + link).c_str()), 0);
  }
  tree.Write(level(40) + "/end.ogg", Short());
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 0);
  // The bottom folder is listed under its own path and the first two links
  // that reach it, however many links come before its own path.
  EXPECT_EQ(r.out, Header(tree.root()) + "Generated 3 hash ids.\n");
  EXPECT_EQ(TableIn(tree).Lookup(level(40) + "/end.ogg"), 0.25f);

  // A folder with two links beside it is listed under all three paths.
  TempTree beside;
  beside.Write("real/x.ogg", Short());
  ASSERT_EQ(symlink("real", beside.Path("alias").c_str()), 0);
  ASSERT_EQ(symlink("real", beside.Path("other").c_str()), 0);
  const RunResult b = RunTrackmeter({}, beside.root());
  EXPECT_EQ(b.status, 0);
  EXPECT_EQ(b.out, Header(beside.root()) + "Generated 3 hash ids.\n");
  const DurationsTable table = TableIn(beside);
  for (const char* path : {"real/x.ogg", "alias/x.ogg", "other/x.ogg"})
    EXPECT_EQ(table.Lookup(path), 0.25f) << path;
}

// A Thue-Morse pattern of length 2^n over two bytes and its mirror image.
std::string ThueMorse(std::size_t n, char a, char b) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += __builtin_popcountll(i) % 2 ? b : a;
  return s;
}

TEST(HostileTreeTest, PathsNoMultiplierSeparatesAreNamedAtOnce) {
  // Under an even multiplier only the common tail counts; under an odd one
  // the patterns' difference is a multiple of 2^32.
  const std::string tail = "xxxxxxxxxxxxxxxxxxxxxxx-tail.ogg";
  const std::string t = ThueMorse(64, ' ', '`'), u = ThueMorse(64, '`', ' ');
  const std::string ab = ThueMorse(128, 'A', 'B'), ba = ThueMorse(128, 'B', 'A');
  TempTree tree;
  for (const std::string& name : {t + t + tail, t + u + tail, u + t + tail, u + u + tail})
    tree.Write("four/" + name, Short());
  tree.Write("two/" + ab + tail, Short());
  tree.Write("two/" + ba + tail, Short());
  // Alike under 2 only: the search separates them.
  tree.Write("two/" + ThueMorse(64, 'A', 'B') + tail, Short());
  tree.Write("two/" + ThueMorse(64, 'B', 'A') + tail, Short());
  tree.Write("Durations.bin", "old");
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 1);
  const std::string line = "ERROR: No hash multiplier gives distinct ids for ";
  const std::string first = "four/" + t + t + tail;
  EXPECT_EQ(r.out, Header(tree.root()) +
                       line + first + " and four/" + t + u + tail + "\n" +
                       line + first + " and four/" + u + t + tail + "\n" +
                       line + first + " and four/" + u + u + tail + "\n" +
                       line + "two/" + ab + tail + " and two/" + ba + tail + "\n");
  EXPECT_EQ(ReadBytes(tree.Path("Durations.bin")), "old");

  // Names alike but for letter case: each after the first is paired with it.
  TempTree cased;
  for (const char* name : {"ab.ogg", "aB.ogg", "Ab.ogg", "AB.ogg"}) cased.Write(name, Short());
  const RunResult c = RunTrackmeter({}, cased.root());
  EXPECT_EQ(c.status, 1);
  const std::string alike = "ERROR: Paths differ only in letter case or separator: AB.ogg and ";
  EXPECT_EQ(c.out, Header(cased.root()) + alike + "Ab.ogg\n" + alike + "aB.ogg\n" +
                       alike + "ab.ogg\n");
}

}  // namespace
}  // namespace trackmeter
