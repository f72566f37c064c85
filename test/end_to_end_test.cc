// SPDX-License-Identifier: MIT
// The built tool, run on real trees: its whole standard output, its exit
// status and the table it leaves.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "ogg_maker.h"
#include "temp_tree.h"
#include "trackmeter/path_hash.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string& TenSeconds() {
  static const std::string bytes = EncodeVorbis(2, 44100, 441000);
  return bytes;
}

uint32_t Le32(const std::string& b, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

float LeFloat(const std::string& b, std::size_t at) {
  const uint32_t bits = Le32(b, at);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

const std::string kCount1 = "Generated 1 hash ids.\n";

TEST(EndToEndTest, TypicalRun) {
  TempTree tree;
  tree.Write("music/intro.ogg", TenSeconds());
  tree.Write("music/sfx/boom.ogg", "not Ogg Vorbis");
  const RunResult r = RunTrackmeter({"music"}, tree.root());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Header(tree.Path("music")) +
                       "ERROR: OGG could not open file: sfx/boom.ogg\n"
                       "Generated 2 hash ids.\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadBytes(tree.Path("music/Durations.bin")),
            std::string("\x01\x00\x00\x00\x02\x00\x00\x00"
                        "\xB1\x97\x00\x00\x00\x00\x20\x41"
                        "\xF1\x02\x05\x00\x00\x00\x00\x00",
                        24));
}

TEST(EndToEndTest, GoldenTableOfOneFileInASubdirectory) {
  TempTree tree;
  tree.Write("music/intro.ogg", TenSeconds());
  const RunResult r = RunTrackmeter({tree.root(), "extra"}, "/");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Header(tree.root()) + kCount1);
  EXPECT_EQ(ReadBytes(tree.Path("Durations.bin")),
            std::string("\x01\x00\x00\x00\x01\x00\x00\x00"
                        "\xB1\xB3\x27\x00\x00\x00\x20\x41",
                        16));
}

TEST(EndToEndTest, NoArgumentMeansTheDirectoryStartedIn) {
  TempTree tree;
  tree.Write("here/a.ogg", Short());
  const RunResult r = RunTrackmeter({}, tree.Path("here"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Header(tree.Path("here")) + kCount1);
  EXPECT_TRUE(Exists(tree.Path("here/Durations.bin")));
}

TEST(EndToEndTest, BaseLineShowsThePathAsGivenWithDotsFoldedAndLinksKept) {
  TempTree tree;
  tree.Write("real/a.ogg", Short());
  ASSERT_EQ(symlink("real", tree.Path("music").c_str()), 0);
  const std::vector<std::string> bases = {"music", "./music/", "real/../music/.",
                                          tree.Path("real/./../music")};
  for (const std::string& base : bases) {
    const RunResult r = RunTrackmeter({base}, tree.root());
    EXPECT_EQ(r.status, 0) << base;
    EXPECT_EQ(r.out, Header(tree.Path("music")) + kCount1) << base;
  }
}

TEST(EndToEndTest, NoOggsLeavesAnOldTableUntouched) {
  TempTree tree;
  tree.Write("base/song.OGG", Short());
  tree.Write("base/.ogg", Short());
  tree.Write("base/Durations.bin", "old table");
  const RunResult r = RunTrackmeter({"base"}, tree.root());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Header(tree.Path("base")) + "ERROR: No Oggs found!\n");
  EXPECT_EQ(ReadBytes(tree.Path("base/Durations.bin")), "old table");

  TempTree empty;
  const RunResult e = RunTrackmeter({"."}, empty.root());
  EXPECT_EQ(e.out, Header(empty.root()) + "ERROR: No Oggs found!\n");
  EXPECT_THAT(ListDir(empty.root()), ElementsAre());
}

TEST(EndToEndTest, BaseThatCannotBeEnteredStopsTheRun) {
  TempTree tree;
  tree.Write("stray.ogg", Short());
  tree.Write("file", "");
  for (const std::string base : {"missing dir", "file"}) {
    const RunResult r = RunTrackmeter({base}, tree.root());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "OGG File Duration/Hash Generator V1.0 [Written by Quillon]\n"
              "USAGE: trackmeter [basepath]\n\n"
              "Fatal Error: Could not enter base directory: " + base + "\n");
  }
  EXPECT_FALSE(Exists(tree.Path("Durations.bin")));
}

// --help, -h and --version answer after the banner and walk and write
// nothing; only those exact words do, so a directory of such a name is
// reached as ./--help.
TEST(EndToEndTest, HelpAndVersionAnswerAndTouchNothing) {
  TempTree tree;
  tree.Write("a.ogg", Short());
  tree.Write("--help/b.ogg", Short());
  const std::string banner =
      "OGG File Duration/Hash Generator V1.0 [Written by Quillon]\n"
      "USAGE: trackmeter [basepath]\n\n";
  setenv("TRACKMETER_JOBS", "x", 1);  // a run would note it on standard error
  const RunResult help = RunTrackmeter({"--help", "extra"}, tree.root());
  const RunResult h = RunTrackmeter({"-h"}, tree.root());
  const RunResult version = RunTrackmeter({"--version"}, tree.root());
  unsetenv("TRACKMETER_JOBS");
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, StartsWith(banner + "Measures "));
  EXPECT_THAT(help.out, HasSubstr("TRACKMETER_JOBS"));
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.out, help.out);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, banner + "trackmeter " TRACKMETER_VERSION "\n");
  for (const RunResult* r : {&help, &h, &version}) EXPECT_EQ(r->err, "");
  EXPECT_THAT(ListDir(tree.root()), ElementsAre("--help", "a.ogg"));
  EXPECT_THAT(ListDir(tree.Path("--help")), ElementsAre("b.ogg"));

  const RunResult dir = RunTrackmeter({"./--help"}, tree.root());
  EXPECT_EQ(dir.status, 0);
  EXPECT_EQ(dir.out, Header(tree.Path("--help")) + kCount1);
  EXPECT_TRUE(Exists(tree.Path("--help/Durations.bin")));
}

// Directories below root, each named name, made one at a time so that their
// paths may run past the system's limit, with a file in the last; returns
// the relative path of the last. Removes them again when it goes.
class DeepChain {
 public:
  DeepChain(const TempTree& tree, const std::vector<std::string>& names,
            const std::string& file, const std::string& bytes)
      : tree_(tree), first_(names.front()) {
    int fd = open(tree.root().c_str(), O_RDONLY | O_DIRECTORY);
    for (const std::string& name : names) {
      mkdirat(fd, name.c_str(), 0755);
      const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = next;
      path_ += (path_.empty() ? "" : "/") + name;
    }
    const int out = openat(fd, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(write(out, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(out);
    close(fd);
  }
  ~DeepChain() { RunProgram("/bin/rm", {"-rf", first_}, tree_.root()); }
  const std::string& path() const { return path_; }

 private:
  const TempTree& tree_;
  std::string first_;
  std::string path_;
};

TEST(EndToEndTest, UnreadableFilesAndDirectoriesAreReportedAndTheRunGoesOn) {
  TempTree tree;
  tree.Write("a/locked.ogg", Short());
  tree.Write("a/open.ogg", Short());
  tree.MakeDir("a/sealed");
  tree.Write("a/sealed/hidden.ogg", Short());
  ASSERT_EQ(chmod(tree.Path("a/locked.ogg").c_str(), 0), 0);
  ASSERT_EQ(chmod(tree.Path("a/sealed").c_str(), 0), 0);
  // Root reads anything: run the tool as nobody then.
  const bool root = geteuid() == 0;
  if (root) ChownToNobody(tree.root());
  // "deep" and 16 names of 255 bytes: 4,100 bytes, past Linux's 4,096 with
  // its final zero; the folder above it is still within.
  std::vector<std::string> names = {"deep"};
  names.insert(names.end(), 15, std::string(255, 'n'));
  const DeepChain near(tree, names, "near.ogg", Short());
  names.push_back(std::string(255, 'f'));
  const DeepChain far(tree, names, "lost.ogg", Short());
  ASSERT_GT(far.path().size(), 4095u);

  const RunResult r = RunTrackmeter({}, tree.root(), root);
  EXPECT_EQ(r.status, 0);
  // Each directory is named as the walk meets it, before the probe's lines.
  EXPECT_EQ(r.out, Header(tree.root()) +
                       "ERROR: Could not read directory: a/sealed\n"
                       "ERROR: Could not read directory: " + far.path() + "\n"
                       "ERROR: Could not open file: a/locked.ogg\n"
                       "Generated 3 hash ids.\n");
  EXPECT_EQ(ReadBytes(tree.Path("Durations.bin")).size(), 8u + 8u * 3);

  // A base that may be entered but not listed is ".".
  TempTree base;
  base.Write("x.ogg", Short());
  base.Write("Durations.bin", "old");
  ASSERT_EQ(chmod(base.root().c_str(), 0311), 0);
  if (root) ChownToNobody(base.root());
  const RunResult b = RunTrackmeter({}, base.root(), root);
  EXPECT_EQ(b.status, 0);
  EXPECT_EQ(b.out, Header(base.root()) +
                       "ERROR: Could not read directory: .\n"
                       "ERROR: No Oggs found!\n");
  EXPECT_EQ(ReadBytes(base.Path("Durations.bin")), "old");
}

TEST(EndToEndTest, LettersCaseTwinsStopTheRunAndKeepTheOldTable) {
  TempTree tree;
  tree.Write("a.ogg", Short());
  tree.Write("A.ogg", Short());
  tree.Write("sub/x.ogg", "bad");
  tree.Write("Durations.bin", "old");
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, Header(tree.root()) +
                       "ERROR: OGG could not open file: sub/x.ogg\n"
                       "ERROR: Paths differ only in letter case or separator: "
                       "A.ogg and a.ogg\n");
  EXPECT_EQ(ReadBytes(tree.Path("Durations.bin")), "old");
}

TEST(EndToEndTest, TableThatCannotBeWrittenIsAnError) {
  TempTree tree;
  tree.Write("a.ogg", Short());
  tree.Write("Durations.bin/inside", "x");
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, Header(tree.root()) + "ERROR: Could not write Durations.bin\n");
  EXPECT_THAT(ListDir(tree.root()), ElementsAre("Durations.bin", "a.ogg"));
}

TEST(EndToEndTest, LinksCyclesAndOddNamesEnd) {
  TempTree tree;
  tree.Write("d/%s\n\t\\\xFF\xE9.ogg", Short());
  tree.Write("d/x.ogg", Short());
  ASSERT_EQ(symlink("..", tree.Path("d/loop").c_str()), 0);
  ASSERT_EQ(symlink("x.ogg", tree.Path("d/twin.ogg").c_str()), 0);
  ASSERT_EQ(symlink("gone", tree.Path("d/broken.ogg").c_str()), 0);
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Header(tree.root()) +
                       "ERROR: Could not open file: d/broken.ogg\n"
                       "Generated 4 hash ids.\n");
}

// What a terminal of width columns shows once it has received bytes, row
// by row, blanks at the ends cut: a character past the last column wraps.
std::vector<std::string> Screen(const std::string& bytes, std::size_t width) {
  std::vector<std::string> rows(1);
  std::size_t col = 0;
  for (char c : bytes) {
    if (c == '\r') {
      col = 0;
    } else if (c == '\n') {
      rows.emplace_back();
      col = 0;
    } else {
      if (col == width) {
        rows.emplace_back();
        col = 0;
      }
      std::string& row = rows.back();
      if (row.size() <= col) row.resize(col + 1, ' ');
      row[col++] = c;
    }
  }
  for (std::string& row : rows) row.erase(row.find_last_not_of(' ') + 1);
  return rows;
}

// The status line is for a person at a terminal, and only there: drawn on
// standard error, erased before each line of the tool's own and at the
// end, and never wider than the terminal, where "\r" would leave a row.
TEST(EndToEndTest, ProgressOnlyOnATerminalAndNeverWrapped) {
  TempTree tree;
  tree.Write("music/intro.ogg", TenSeconds());
  tree.Write("music/sfx/boom.ogg", "not Ogg Vorbis");
  const RunResult plain = RunTrackmeter({"music"}, tree.root());
  EXPECT_EQ(plain.err, "");
  const RunResult shown = RunProgram(TRACKMETER_EXE, {"music"}, tree.root(), false, nullptr, true);
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out, plain.out);
  EXPECT_THAT(shown.err, ::testing::StartsWith("\rLooking for Ogg files: 1 found"));
  EXPECT_THAT(Screen(shown.err, 80), ElementsAre(""));

  const auto narrow = [] {
    const winsize twenty = {24, 20, 0, 0};
    ioctl(2, TIOCSWINSZ, &twenty);
  };
  const RunResult cut = RunProgram(TRACKMETER_EXE, {"music"}, tree.root(), false, narrow, true);
  EXPECT_EQ(cut.out, plain.out);
  EXPECT_THAT(cut.err, ::testing::StartsWith("\rLooking for Ogg fil\r"));
  EXPECT_THAT(Screen(cut.err, 20), ElementsAre(""));
}

// A few hundred files over nested folders, some that cannot be measured;
// every record must be the one a reader would compute for its path, and
// any number of workers must give the lines and the table of one.
TEST(EndToEndTest, ManyFilesGiveAConsistentTableWithAnyNumberOfWorkers) {
  TempTree tree;
  std::vector<std::string> paths;
  for (int i = 0; i < 300; ++i) {
    const std::string path = "level" + std::to_string(i % 7) + "/area" +
                             std::to_string(i % 13) + "/sound_" + std::to_string(i) + ".ogg";
    tree.Write(path, i % 50 == 0 ? std::string("junk") : Short());
    paths.push_back(path);
  }
  ASSERT_EQ(symlink("missing", tree.Path("level3/dangling.ogg").c_str()), 0);
  ASSERT_EQ(mkfifo(tree.Path("level5/area2/fifo.ogg").c_str(), 0644), 0);
  setenv("TRACKMETER_JOBS", "1", 1);
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, ::testing::EndsWith("Generated 302 hash ids.\n"));
  EXPECT_THAT(r.out, ::testing::HasSubstr("ERROR: Could not open file: level3/dangling.ogg\n"));

  const std::string t = ReadBytes(tree.Path("Durations.bin"));
  ASSERT_EQ(t.size(), 8u + 8u * 302);
  const uint32_t pass = Le32(t, 0);
  ASSERT_GE(pass, 1u);
  EXPECT_EQ(Le32(t, 4), 302u);
  for (std::size_t i = 1; i < 302; ++i)
    EXPECT_LT(Le32(t, 8 * i), Le32(t, 8 * (i + 1)));
  for (std::size_t p = 0; p < paths.size(); ++p) {
    const uint32_t id = PathHash(paths[p], MultiplierOfPass(pass));
    bool found = false;
    for (std::size_t i = 0; i < 302 && !found; ++i) {
      if (Le32(t, 8 + 8 * i) != id) continue;
      found = true;
      EXPECT_EQ(LeFloat(t, 12 + 8 * i), p % 50 == 0 ? 0.0f : 0.25f) << paths[p];
    }
    EXPECT_TRUE(found) << paths[p];
  }

  for (const char* jobs : {"2", "3", "7", "64", ""}) {
    if (*jobs != '\0') setenv("TRACKMETER_JOBS", jobs, 1);
    else unsetenv("TRACKMETER_JOBS");  // as many as there are CPUs
    ASSERT_EQ(unlink(tree.Path("Durations.bin").c_str()), 0);
    const RunResult again = RunTrackmeter({}, tree.root());
    EXPECT_EQ(again.status, 0) << jobs;
    EXPECT_EQ(again.out, r.out) << jobs;
    EXPECT_EQ(again.err, "") << jobs;
    EXPECT_EQ(ReadBytes(tree.Path("Durations.bin")), t) << jobs;
  }
  unsetenv("TRACKMETER_JOBS");
}

}  // namespace
}  // namespace trackmeter
