// SPDX-License-Identifier: MIT
#include "output/durations_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "forwarding_platform.h"
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

TEST(SortRecordsTest, AscendingAsUnsigned) {
  RecordTable records = {{0xFFFFFFF0, 1}, {0x80000000, 2}, {5, 3}, {0x7FFFFFFF, 4}};
  SortRecords(&records);
  std::vector<uint32_t> ids;
  for (const auto& r : records) ids.push_back(r.id);
  EXPECT_THAT(ids, ElementsAre(5u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u));
  EXPECT_EQ(records[0].seconds, 3.0f);
}

// Runs the writer inside a fresh tree.
class WriteTest : public ::testing::Test {
 protected:

  TempTree tree_;
  ScopedDirectory inside_{tree_.root()};
  const RecordTable records_ = {{7, 1.5f}, {9, 0.0f}};
};

TEST_F(WriteTest, CreatesOrReplacesTheTableWhole) {
  ASSERT_TRUE(WriteDurationsFile(SystemPlatform(), 3, records_));
  EXPECT_EQ(ReadBytes("Durations.bin"), Str(EncodeDurations(3, records_)));
  tree_.Write("Durations.bin", std::string(1000, 'x'));
  ASSERT_TRUE(WriteDurationsFile(SystemPlatform(), 4, {{1, 2.0f}}));
  EXPECT_EQ(ReadBytes("Durations.bin"), Str(EncodeDurations(4, {{1, 2.0f}})));
  EXPECT_THAT(ListDir("."), ElementsAre("Durations.bin"));
}

TEST_F(WriteTest, DirectoryInTheWayFailsAndLeavesNoTemporary) {
  tree_.Write("Durations.bin/keep", "k");
  EXPECT_FALSE(WriteDurationsFile(SystemPlatform(), 1, records_));
  EXPECT_THAT(ListDir("."), ElementsAre("Durations.bin"));
  EXPECT_EQ(ReadBytes("Durations.bin/keep"), "k");
}

// Passes every call to the real platform but makes the n-th step of writing
// the table fail, or run short of memory: create, each write, flush, close,
// rename.
class FailingPlatform : public ForwardingPlatform {
 public:
  explicit FailingPlatform(int fail_at, bool short_of_memory = false)
      : fail_at_(fail_at), short_of_memory_(short_of_memory) {}
  int steps = 0;

  std::unique_ptr<OutputFile> CreateTemporary(const std::string& path,
                                              std::string* temp) override {
    if (Fails()) return nullptr;
    auto file = real().CreateTemporary(path, temp);
    return file ? std::make_unique<File>(this, std::move(file)) : nullptr;
  }
  bool ReplaceFile(const std::string& from, const std::string& to) override {
    return !Fails() && real().ReplaceFile(from, to);
  }

 private:
  class File : public OutputFile {
   public:
    File(FailingPlatform* p, std::unique_ptr<OutputFile> f) : p_(p), f_(std::move(f)) {}
    bool Write(const void* d, std::size_t n) override {
      // A failing write still writes half, as a full disk would.
      if (p_->Fails()) return f_->Write(d, n / 2) && false;
      return f_->Write(d, n);
    }
    bool Flush() override { return !p_->Fails() && f_->Flush(); }
    bool Close() override { return !p_->Fails() && f_->Close(); }

   private:
    FailingPlatform* p_;
    std::unique_ptr<OutputFile> f_;
  };

  bool Fails() {
    if (++steps != fail_at_) return false;
    if (short_of_memory_) throw ResourceShortage(Resource::kMemory);
    return true;
  }
  int fail_at_;
  bool short_of_memory_;
};

TEST_F(WriteTest, EveryFailingStepKeepsTheOldTableAndCleansUp) {
  const std::string old = Str(EncodeDurations(1, {{5, 5.0f}}));
  tree_.Write("Durations.bin", old);
  constexpr int kSteps = 7;  // create, three writes, flush, close, rename
  for (int step = 1; step <= kSteps; ++step) {
    FailingPlatform p(step);
    EXPECT_FALSE(WriteDurationsFile(p, 2, records_)) << "step " << step;
    EXPECT_EQ(ReadBytes("Durations.bin"), old) << "step " << step;
    EXPECT_THAT(ListDir("."), ElementsAre("Durations.bin")) << "step " << step;
    FailingPlatform short_of_memory(step, true);
    EXPECT_THROW(WriteDurationsFile(short_of_memory, 2, records_), ResourceShortage)
        << "step " << step;
    EXPECT_EQ(ReadBytes("Durations.bin"), old) << "step " << step;
    EXPECT_THAT(ListDir("."), ElementsAre("Durations.bin")) << "step " << step;
  }
  FailingPlatform none(kSteps + 1);
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
  ASSERT_TRUE(WriteDurationsFile(SystemPlatform(), 3, records_));
  EXPECT_EQ(ReadBytes("Durations.bin"), Str(EncodeDurations(3, records_)));
  struct stat st;
  ASSERT_EQ(stat("Durations.bin", &st), 0);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 5678u);
  EXPECT_EQ(st.st_mode & 07777, 0777u);
}

}  // namespace
}  // namespace trackmeter
