// Trees and machines that try to break a run: odd names, special files,
// files that change under the run, a full disk. Every run must end, print
// only the tool's own lines, and leave the table the rules say.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "app/run.h"
#include "forwarding_platform.h"
#include "ogg_maker.h"
#include "temp_tree.h"
#include "trackmeter/durations_reader.h"

namespace trackmeter {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

const std::string& Short() {
  static const std::string bytes = EncodeVorbis(1, 8000, 2000);  // 0.25 s
  return bytes;
}

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

TEST(HostileTreeTest, ThousandFoldersDeep) {
  TempTree tree;
  std::string dir;
  for (int i = 0; i < 1000; ++i) dir += (i ? "/d" : "d");
  tree.MakeDir(dir);
  tree.Write(dir + "/deep.ogg", Short());
  const RunResult r = RunTrackmeter({}, tree.root());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Header(tree.root()) + "Generated 1 hash ids.\n");
  EXPECT_EQ(TableIn(tree).Lookup(dir + "/deep.ogg"), 0.25f);
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

// The system's platform, except that a file changes just before the probe
// opens it.
class ChangingPlatform : public ForwardingPlatform {
 public:
  std::FILE* OpenForReading(const std::string& p) override {
    if (p == "gone.ogg") unlink(p.c_str());
    if (p == "now_a_dir.ogg") {
      unlink(p.c_str());
      mkdir(p.c_str(), 0755);
    }
    return real().OpenForReading(p);
  }
};

TEST(HostileTreeTest, FilesThatVanishOrTurnIntoDirectoriesAfterTheScan) {
  TempTree tree;
  tree.Write("gone.ogg", Short());
  tree.Write("now_a_dir.ogg", Short());
  tree.Write("stays.ogg", Short());
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ChangingPlatform platform;
  const std::string base = tree.root();
  const char* argv[] = {"trackmeter", base.c_str()};
  ::testing::internal::CaptureStdout();
  const int status = RunTrackmeter(2, argv, platform);
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, Header(tree.root()) +
                     "ERROR: Could not open file: gone.ogg\n"
                     "ERROR: Could not open file: now_a_dir.ogg\n"
                     "Generated 3 hash ids.\n");
  EXPECT_EQ(TableIn(tree).Lookup("gone.ogg"), 0.0f);
}

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

}  // namespace
}  // namespace trackmeter
