// SPDX-License-Identifier: MIT
#include "probe/durations.h"

#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include "fake_status.h"
#include "probe/ogg_pages.h"
#include "ogg_maker.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;

// Measures tree-relative paths from within the tree, as a run does.
class DurationsTest : public ::testing::Test {
 protected:
  RecordTable Measure(const FileList& files, Status& status, unsigned threads) {
    Measuring measuring(SystemCalls(), status, ThreadPlan{threads, threads, true, kProbeStack},
                        false);
    for (const std::string& path : files) measuring.Add(path);
    Measured measured = measuring.Finish();
    EXPECT_EQ(measured.files, files);
    return measured.records;
  }

  TempTree tree_;
  ScopedDirectory inside_{tree_.root()};
};

TEST_F(DurationsTest, KeepsTheOrderFoundForRecordsAndLines) {
  tree_.Write("b.ogg", EncodeVorbis(1, 8000, 4000));
  tree_.Write("sub/%s%n.ogg", "junk");  // the name is data, not a format
  const FileList files = {"b.ogg", "missing.ogg", "sub/%s%n.ogg", "b.ogg"};
  for (unsigned count : {1u, 3u}) {
    FakeStatus status;
    const RecordTable records = Measure(files, status, count);
    EXPECT_THAT(status.said, ElementsAre("1/4 b.ogg: measured", "2/4 missing.ogg: could not open",
                                         "3/4 sub/%s%n.ogg: not ogg vorbis", "4/4 b.ogg: measured"));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].seconds, 0.5f);
    EXPECT_EQ(records[1].seconds, 0.0f);
    EXPECT_EQ(records[2].seconds, 0.0f);
    EXPECT_EQ(records[3].seconds, 0.5f);
  }
}

TEST_F(DurationsTest, ChainOfMoreStreamsThanAnyRealFileIsRefusedAndTheRunGoesOn) {
  const std::string link = EncodeVorbis(1, 8000, 800);
  std::string chain;
  for (uint64_t i = 0; i <= kMaxChainedStreams; ++i)
    chain += WithSerial(link, static_cast<int>(i + 1));
  tree_.Write("long.ogg", chain);
  tree_.Write("next.ogg", EncodeVorbis(1, 8000, 4000));
  FakeStatus status;
  const RecordTable records = Measure({"long.ogg", "next.ogg"}, status, 2);
  EXPECT_EQ(status.said.front(), "1/2 long.ogg: not ogg vorbis");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].seconds, 0.0f);
  EXPECT_EQ(records[1].seconds, 0.5f);
}

TEST_F(DurationsTest, FilesChangedAfterTheScanAreMeasuredAsTheyAreWhenOpened) {
  const std::string half = EncodeVorbis(1, 8000, 4000);
  const std::string zeros(256u << 10, '\0');  // past the size read whole
  tree_.Write("grows.ogg", half);
  tree_.Write("shrinks.ogg", EncodeVorbis(2, 44100, 441000) + zeros);
  tree_.Write("cut.ogg", half);
  const FileList files = {"grows.ogg", "shrinks.ogg", "cut.ogg"};
  tree_.Write("grows.ogg", half + EncodeVorbis(1, 8000, 8000, 2) + zeros);
  tree_.Write("shrinks.ogg", EncodeVorbis(1, 8000, 12000));
  tree_.Write("cut.ogg", half.substr(0, 60));
  FakeStatus status;
  const RecordTable records = Measure(files, status, 1);
  EXPECT_EQ(status.said.back(), "3/3 cut.ogg: not ogg vorbis");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].seconds, 1.5f);
  EXPECT_EQ(records[1].seconds, 1.5f);
  EXPECT_EQ(records[2].seconds, 0.0f);
}

}  // namespace
}  // namespace trackmeter
