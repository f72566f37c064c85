// SPDX-License-Identifier: MIT
#include "output/durations_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fake_system.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;

std::string Str(const std::vector<unsigned char>& v) { return {v.begin(), v.end()}; }

TEST(EncodeDurationsTest, GoldenBytes) {
  EXPECT_EQ(Str(EncodeDurations(1, {{2601905, 10.0f}})),
            std::string("\x01\x00\x00\x00\x01\x00\x00\x00"
                        "\xB1\xB3\x27\x00\x00\x00\x20\x41",
                        16));
  EXPECT_EQ(Str(EncodeDurations(0x01020304, {{38833, 10.0f}, {0xFFFFFFF0, 0.0f}})),
            std::string("\x04\x03\x02\x01\x02\x00\x00\x00"
                        "\xB1\x97\x00\x00\x00\x00\x20\x41"
                        "\xF0\xFF\xFF\xFF\x00\x00\x00\x00",
                        24));
}

// Runs the writer inside a fresh tree.
class WriteTest : public ::testing::Test {
 protected:
  TempTree tree_;
  ScopedDirectory inside_{tree_.root()};
  const RecordTable records_ = {{7, 1.5f}, {9, 0.0f}};
};

TEST_F(WriteTest, CreatesOrReplacesTheTableWhole) {
  ASSERT_TRUE(WriteDurationsFile(SystemCalls(), 3, records_));
  EXPECT_EQ(ReadBytes("Durations.bin"), Str(EncodeDurations(3, records_)));
  tree_.Write("Durations.bin", std::string(1000, 'x'));
  ASSERT_TRUE(WriteDurationsFile(SystemCalls(), 4, {{1, 2.0f}}));
  EXPECT_EQ(ReadBytes("Durations.bin"), Str(EncodeDurations(4, {{1, 2.0f}})));
  EXPECT_THAT(ListDir("."), ElementsAre("Durations.bin"));
}

TEST_F(WriteTest, DirectoryInTheWayFailsAndLeavesNoTemporary) {
  tree_.Write("Durations.bin/keep", "k");
  EXPECT_FALSE(WriteDurationsFile(SystemCalls(), 1, records_));
  EXPECT_THAT(ListDir("."), ElementsAre("Durations.bin"));
  EXPECT_EQ(ReadBytes("Durations.bin/keep"), "k");
}

// Passes every call to the real system but makes the n-th step of writing
// the table fail, or run short of memory: create, each write, flush, close,
// rename.
struct FailingSystem : FakeSystem {
  explicit FailingSystem(int step, bool out_of_memory = false)
      : fail_at(step), short_of_memory(out_of_memory) {}
  Error CreateExclusive(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    if (Fails()) return Error::kOther;
    const Error error = real.CreateExclusive(path, file);
    if (error == Error::kNone) *file = std::make_unique<File>(this, std::move(*file));
    return error;
  }
  Error RenameOver(const std::string& from, const std::string& to) override {
    return Fails() ? Error::kOther : real.RenameOver(from, to);
  }
  struct File : OutputFile {
    File(FailingSystem* system, std::unique_ptr<OutputFile> file) : s(system), f(std::move(file)) {}
    Error Write(const void* d, std::size_t n) override {
      // A failing write still writes half, as a full disk would.
      if (!s->Fails()) return f->Write(d, n);
      f->Write(d, n / 2);
      return Error::kOther;
    }
    Error Flush() override { return s->Fails() ? Error::kOther : f->Flush(); }
    Error Close() override { return s->Fails() ? Error::kOther : f->Close(); }
    Error SetOwner(uint32_t o, uint32_t g) override { return f->SetOwner(o, g); }
    Error SetMode(uint32_t m) override { return f->SetMode(m); }
    FailingSystem* s;
    std::unique_ptr<OutputFile> f;
  };
  bool Fails() {
    if (++steps != fail_at) return false;
    if (short_of_memory) throw std::bad_alloc();
    return true;
  }
  int steps = 0;
  int fail_at;
  bool short_of_memory;
};

TEST_F(WriteTest, EveryFailingStepKeepsTheOldTableAndCleansUp) {
  const std::string old = Str(EncodeDurations(1, {{5, 5.0f}}));
  tree_.Write("Durations.bin", old);
  constexpr int kSteps = 7;  // create, three writes, flush, close, rename
  for (int step = 1; step <= kSteps; ++step) {
    FailingSystem p(step);
    EXPECT_FALSE(WriteDurationsFile(p, 2, records_)) << "step " << step;
    EXPECT_EQ(ReadBytes("Durations.bin"), old) << "step " << step;
    EXPECT_THAT(ListDir("."), ElementsAre("Durations.bin")) << "step " << step;
    FailingSystem short_of_memory(step, true);
    EXPECT_THROW(WriteDurationsFile(short_of_memory, 2, records_), std::bad_alloc)
        << "step " << step;
    EXPECT_EQ(ReadBytes("Durations.bin"), old) << "step " << step;
    EXPECT_THAT(ListDir("."), ElementsAre("Durations.bin")) << "step " << step;
  }
  FailingSystem none(kSteps + 1);
  EXPECT_TRUE(WriteDurationsFile(none, 2, records_));
  EXPECT_EQ(none.steps, kSteps);
  EXPECT_EQ(ReadBytes("Durations.bin"), Str(EncodeDurations(2, records_)));
}

// Run as root (as CI does) over a user's table, the new table is still the
// user's, so the user's next run may replace it; and no setuid, setgid or
// sticky bit comes back with it.
TEST_F(WriteTest, ReplacedTableKeepsItsOwnerAndOnlyItsPermissionBits) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a table to another user";
  tree_.Write("Durations.bin", "old");
  ASSERT_EQ(chown("Durations.bin", 1234, 5678), 0);
  ASSERT_EQ(chmod("Durations.bin", 07777), 0);
  ASSERT_TRUE(WriteDurationsFile(SystemCalls(), 3, records_));
  EXPECT_EQ(ReadBytes("Durations.bin"), Str(EncodeDurations(3, records_)));
  struct stat st;
  ASSERT_EQ(stat("Durations.bin", &st), 0);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 5678u);
  EXPECT_EQ(st.st_mode & 07777, 0777u);
}

// The writer's rules over the seam: a table this user may not write is
// left alone, a temporary name that is taken moves on to the next, a held
// table is renamed again a moment later, and an owner that may not be set
// still leaves the group.
struct RuledSystem : FakeSystem {
  bool writable = true;
  int taken = 0, busy = 0;
  std::vector<std::string> calls;
  Error StatusOf(const std::string&, FileStatus* s) override {
    *s = FileStatus{true, writable, true, 1234, 5678, 0104755};
    return Error::kNone;
  }
  Error CreateExclusive(const std::string& p, std::unique_ptr<OutputFile>* file) override {
    calls.push_back("create " + p.substr(p.rfind('-') + 1));
    if (taken-- > 0) return Error::kExists;
    const Error error = real.CreateExclusive(p, file);
    *file = std::make_unique<Owned>(this, std::move(*file));
    return error;
  }
  Error RenameOver(const std::string& from, const std::string& to) override {
    calls.push_back("rename");
    return busy-- > 0 ? Error::kBusy : real.RenameOver(from, to);
  }
  struct Owned : OutputFile {
    Owned(RuledSystem* system, std::unique_ptr<OutputFile> file) : s(system), f(std::move(file)) {}
    Error Write(const void* d, std::size_t n) override { return f->Write(d, n); }
    Error Flush() override { return f->Flush(); }
    Error Close() override { return f->Close(); }
    Error SetOwner(uint32_t o, uint32_t g) override {
      s->calls.push_back("owner " + std::to_string(static_cast<int>(o)) + " " + std::to_string(g));
      return o == kUnchanged ? Error::kNone : Error::kOther;
    }
    Error SetMode(uint32_t m) override {
      s->calls.push_back("mode " + std::to_string(m));
      return Error::kNone;
    }
    RuledSystem* s;
    std::unique_ptr<OutputFile> f;
  };
};

TEST_F(WriteTest, ProtectedTakenHeldAndOwnedTables) {
  RuledSystem s;
  s.writable = false;
  EXPECT_FALSE(WriteDurationsFile(s, 1, records_));
  EXPECT_TRUE(s.calls.empty());
  s.writable = true;
  s.taken = 2;
  s.busy = 2;
  EXPECT_TRUE(WriteDurationsFile(s, 1, records_));
  EXPECT_THAT(s.calls, ElementsAre("create 0", "create 1", "create 2", "owner 1234 5678",
                                   "owner -1 5678", "mode 493", "rename", "rename", "rename"));
  EXPECT_EQ(ReadBytes("Durations.bin"), Str(EncodeDurations(1, records_)));
  EXPECT_THAT(ListDir("."), ElementsAre("Durations.bin"));
}

}  // namespace
}  // namespace trackmeter
