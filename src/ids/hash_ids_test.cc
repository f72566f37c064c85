// SPDX-License-Identifier: MIT
#include "ids/hash_ids.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "fake_status.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

// The plain search: every id of every pass, every pass checked by sorting.
std::optional<uint32_t> ReferencePass(const FileList& files, uint32_t max_pass) {
  for (uint32_t pass = 1; pass <= max_pass; ++pass) {
    std::vector<uint32_t> ids;
    for (const std::string& f : files) ids.push_back(PathHash(f, pass + 1));
    std::sort(ids.begin(), ids.end());
    if (std::adjacent_find(ids.begin(), ids.end()) == ids.end()) return pass;
  }
  return std::nullopt;
}

std::optional<uint32_t> Generate(const FileList& files, RecordTable* records,
                                 uint32_t max_pass = kMaxPass, unsigned workers = 1) {
  records->assign(files.size(), DurationRecord{});
  FakeStatus status;
  const ThreadPlan plan{workers, workers > 1 ? workers : 0u};
  return GenerateHashIds(SystemCalls(), plan, files, records, status, max_pass);
}

TEST(GenerateHashIdsTest, SingleFileSucceedsAtOnce) {
  RecordTable records;
  EXPECT_EQ(Generate({"music\\intro.ogg"}, &records), 1u);
  EXPECT_EQ(records[0].id, 2601905u);
}

TEST(GenerateHashIdsTest, SharedTailMovesToTheNextPassAndTheBoundHolds) {
  const FileList files = {"music/level01/ambient_loop_forest_night_01.ogg",
                          "sfx/level02/ambient_loop_forest_night_01.ogg"};
  RecordTable records;
  EXPECT_EQ(Generate(files, &records), 2u);
  EXPECT_EQ(records[0].id, 2626074453u);
  EXPECT_EQ(records[1].id, 959501312u);
  EXPECT_EQ(Generate(files, &records, 1), std::nullopt);
  EXPECT_EQ(Generate(files, &records, 2), 2u);
}

// Random-looking paths; their count makes some passes fail by chance.
FileList RandomPaths(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789_";
  std::set<std::string> seen;
  FileList files;
  while (files.size() < n) {
    std::string p;
    const int parts = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < parts; ++i) {
      const int len = 3 + static_cast<int>(rng() % 12);
      for (int j = 0; j < len; ++j) p += letters[rng() % letters.size()];
      p += i + 1 < parts ? "/" : ".ogg";
    }
    if (seen.insert(p).second) files.push_back(p);
  }
  return files;
}

// Threads try passes at once; the pass and ids must be those of one thread.
TEST(GenerateHashIdsTest, AgreesWithThePlainSearchWhateverTheOrderAndWorkers) {
  for (unsigned seed : {1u, 2u, 3u}) {
    FileList files = RandomPaths(90000, seed);
    RecordTable records;
    const std::optional<uint32_t> pass = Generate(files, &records);
    ASSERT_TRUE(pass.has_value());
    EXPECT_EQ(pass, ReferencePass(files, *pass)) << "seed " << seed;
    for (std::size_t i = 0; i < files.size(); i += 997)
      EXPECT_EQ(records[i].id, PathHash(files[i], *pass + 1));

    RecordTable parallel;
    EXPECT_EQ(Generate(files, &parallel, kMaxPass, 3), pass) << "seed " << seed;
    for (std::size_t i = 0; i < files.size(); ++i)
      ASSERT_EQ(parallel[i].id, records[i].id) << "seed " << seed << ", path " << i;
    EXPECT_EQ(Generate(files, &parallel, *pass - 1, 3), std::nullopt) << "seed " << seed;

    std::shuffle(files.begin(), files.end(), std::mt19937(seed));
    RecordTable shuffled;
    EXPECT_EQ(Generate(files, &shuffled, kMaxPass, 7), pass);
  }
}

TEST(FindFoldedDuplicatesTest, PairsEachGroupsFirstEntryWithEveryOther) {
  const FileList files = {"a.ogg", "A.ogg", "b.ogg", "x/a.ogg", "X\\A.ogg", "A.OGG"};
  EXPECT_THAT(FindFoldedDuplicates(files),
              ElementsAre(Pair(0, 1), Pair(0, 5), Pair(3, 4)));
  EXPECT_THAT(FindFoldedDuplicates({"a.ogg", "b.ogg", "\xE9.ogg", "\xC9.ogg"}),
              IsEmpty());
}

}  // namespace
}  // namespace trackmeter
