// SPDX-License-Identifier: MIT
#include "catalogue/probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ogg_maker.h"
#include "platform/ogg_pages.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// Probes tree-relative paths from within the tree, as a run does.
class ProbeTest : public ::testing::Test {
 protected:

  // The result of probing path, and what it printed.
  std::pair<float, std::string> Probe(const std::string& path) {
    CaptureStdout();
    const float seconds = ProbeDuration(SystemPlatform(), path);
    return {seconds, GetCapturedStdout()};
  }

  TempTree tree_;
  ScopedDirectory inside_{tree_.root()};
};

TEST_F(ProbeTest, ExactDurationsOfSingleAndChainedStreams) {
  tree_.Write("ten.ogg", EncodeVorbis(2, 44100, 441000));
  tree_.Write("mono.ogg", EncodeVorbis(1, 8000, 12000));
  tree_.Write("chain.ogg", EncodeVorbis(1, 8000, 8000, 1) +
                               EncodeVorbis(2, 22050, 11025, 2) +
                               EncodeVorbis(1, 44100, 22050, 3));
  EXPECT_EQ(Probe("ten.ogg"), std::make_pair(10.0f, std::string()));
  EXPECT_EQ(Probe("mono.ogg"), std::make_pair(1.5f, std::string()));
  EXPECT_EQ(Probe("chain.ogg"), std::make_pair(2.0f, std::string()));
}

TEST_F(ProbeTest, WhatTheLibraryRejectsGetsTheOggLineAndZero) {
  const std::string good = EncodeVorbis(1, 8000, 8000);
  tree_.Write("empty.ogg", "");
  tree_.Write("text.ogg", "plain text, not Ogg\n");
  tree_.Write("sub/cut.ogg", good.substr(0, 60));  // header cut short
  tree_.Write("%s%n.ogg", "x");                   // the name is data, not a format
  EXPECT_EQ(Probe("empty.ogg"),
            std::make_pair(0.0f, std::string("ERROR: OGG could not open file: empty.ogg\n")));
  EXPECT_EQ(Probe("text.ogg"),
            std::make_pair(0.0f, std::string("ERROR: OGG could not open file: text.ogg\n")));
  EXPECT_EQ(Probe("sub/cut.ogg"),
            std::make_pair(0.0f, std::string("ERROR: OGG could not open file: sub/cut.ogg\n")));
  EXPECT_EQ(Probe("%s%n.ogg"),
            std::make_pair(0.0f, std::string("ERROR: OGG could not open file: %s%n.ogg\n")));
}

TEST_F(ProbeTest, WhatCannotBeOpenedGetsTheOpenLineAndZero) {
  ASSERT_EQ(mkfifo("fifo.ogg", 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", "zero.ogg"), 0);
  tree_.MakeDir("dir.ogg");
  for (const std::string path : {"missing.ogg", "fifo.ogg", "zero.ogg", "dir.ogg"})
    EXPECT_EQ(Probe(path),
              std::make_pair(0.0f, "ERROR: Could not open file: " + path + "\n"));
}

TEST_F(ProbeTest, ComputeDurationsKeepsListOrderForRecordsAndLines) {
  tree_.Write("b.ogg", EncodeVorbis(1, 8000, 4000));
  tree_.Write("a.ogg", "junk");
  const FileList files = {"b.ogg", "missing.ogg", "a.ogg", "b.ogg"};
  CaptureStdout();
  const RecordTable records = ComputeDurations(SystemPlatform(), files);
  EXPECT_EQ(GetCapturedStdout(),
            "ERROR: Could not open file: missing.ogg\n"
            "ERROR: OGG could not open file: a.ogg\n");
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].seconds, 0.5f);
  EXPECT_EQ(records[1].seconds, 0.0f);
  EXPECT_EQ(records[2].seconds, 0.0f);
  EXPECT_EQ(records[3].seconds, 0.5f);
}

TEST_F(ProbeTest, BytesAfterTheLastPageChangeNothing) {
  const std::string ten = EncodeVorbis(2, 44100, 441000);
  std::string false_starts;
  while (false_starts.size() < (256u << 10))
    false_starts += "OggS" + std::string(12, '\xff');
  tree_.Write("zeros.ogg", ten + std::string(4u << 20, '\0'));
  tree_.Write("false_starts.ogg", ten + false_starts);
  tree_.Write("small.ogg", EncodeVorbis(1, 8000, 12000) + false_starts.substr(0, 16 << 10));
  EXPECT_EQ(Probe("zeros.ogg"), std::make_pair(10.0f, std::string()));
  EXPECT_EQ(Probe("false_starts.ogg"), std::make_pair(10.0f, std::string()));
  EXPECT_EQ(Probe("small.ogg"), std::make_pair(1.5f, std::string()));
}

TEST_F(ProbeTest, ChainOfMoreStreamsThanAnyRealFileIsRefusedAndTheRunGoesOn) {
  const std::string link = EncodeVorbis(1, 8000, 800);
  std::string chain;
  for (uint64_t i = 0; i <= kMaxChainedStreams; ++i)
    chain += WithSerial(link, static_cast<int>(i + 1));
  tree_.Write("long.ogg", chain);
  tree_.Write("next.ogg", EncodeVorbis(1, 8000, 4000));
  CaptureStdout();
  const RecordTable records = ComputeDurations(SystemPlatform(), {"long.ogg", "next.ogg"});
  EXPECT_EQ(GetCapturedStdout(), "ERROR: OGG could not open file: long.ogg\n");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].seconds, 0.0f);
  EXPECT_EQ(records[1].seconds, 0.5f);
}

TEST_F(ProbeTest, FilesChangedAfterTheScanAreMeasuredAsTheyAreWhenOpened) {
  const std::string half = EncodeVorbis(1, 8000, 4000);
  const std::string zeros(256u << 10, '\0');  // past the size read whole
  tree_.Write("grows.ogg", half);
  tree_.Write("shrinks.ogg", EncodeVorbis(2, 44100, 441000) + zeros);
  tree_.Write("cut.ogg", half);
  const FileList files = {"grows.ogg", "shrinks.ogg", "cut.ogg"};
  tree_.Write("grows.ogg", half + EncodeVorbis(1, 8000, 8000, 2) + zeros);
  tree_.Write("shrinks.ogg", EncodeVorbis(1, 8000, 12000));
  tree_.Write("cut.ogg", half.substr(0, 60));
  CaptureStdout();
  const RecordTable records = ComputeDurations(SystemPlatform(), files);
  EXPECT_EQ(GetCapturedStdout(), "ERROR: OGG could not open file: cut.ogg\n");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].seconds, 1.5f);
  EXPECT_EQ(records[1].seconds, 1.5f);
  EXPECT_EQ(records[2].seconds, 0.0f);
}

}  // namespace
}  // namespace trackmeter
