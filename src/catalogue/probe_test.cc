// SPDX-License-Identifier: MIT
#include "catalogue/probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ogg_maker.h"
#include "catalogue/ogg_pages.h"
#include "forwarding_platform.h"
#include "memory_input.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using Outcome = ProbeResult::Outcome;

// Probes tree-relative paths from within the tree, as a run does.
class ProbeTest : public ::testing::Test {
 protected:

  // What probing path gave: the outcome, and the seconds.
  std::pair<Outcome, float> Probe(const std::string& path) {
    const ProbeResult r = ProbeDuration(prober_, path);
    return {r.outcome, r.seconds};
  }

  Prober prober_{SystemPlatform()};

  TempTree tree_;
  ScopedDirectory inside_{tree_.root()};
};

TEST_F(ProbeTest, ExactDurationsOfSingleAndChainedStreams) {
  tree_.Write("ten.ogg", EncodeVorbis(2, 44100, 441000));
  tree_.Write("mono.ogg", EncodeVorbis(1, 8000, 12000));
  tree_.Write("chain.ogg", EncodeVorbis(1, 8000, 8000, 1) +
                               EncodeVorbis(2, 22050, 11025, 2) +
                               EncodeVorbis(1, 44100, 22050, 3));
  // The library, shown the file up to a page after its last, finds what it
  // would in the whole file.
  std::string false_starts;
  while (false_starts.size() < (256u << 10)) false_starts += "OggS" + std::string(12, '\xff');
  tree_.Write("tail.ogg", EncodeVorbis(2, 44100, 441000) + false_starts);
  EXPECT_EQ(Probe("ten.ogg"), std::make_pair(Outcome::kMeasured, 10.0f));
  EXPECT_EQ(Probe("mono.ogg"), std::make_pair(Outcome::kMeasured, 1.5f));
  EXPECT_EQ(Probe("chain.ogg"), std::make_pair(Outcome::kMeasured, 2.0f));
  EXPECT_EQ(Probe("tail.ogg"), std::make_pair(Outcome::kMeasured, 10.0f));
}

TEST_F(ProbeTest, WhatTheLibraryRejectsIsNotOggVorbis) {
  const std::string good = EncodeVorbis(1, 8000, 8000);
  tree_.Write("empty.ogg", "");
  tree_.Write("text.ogg", "plain text, not Ogg\n");
  tree_.Write("cut.ogg", good.substr(0, 60));  // header cut short
  for (const std::string path : {"empty.ogg", "text.ogg", "cut.ogg"})
    EXPECT_EQ(Probe(path), std::make_pair(Outcome::kNotOggVorbis, 0.0f)) << path;
}

TEST_F(ProbeTest, WhatCannotBeOpenedIsReportedSo) {
  ASSERT_EQ(mkfifo("fifo.ogg", 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", "zero.ogg"), 0);
  tree_.MakeDir("dir.ogg");
  for (const std::string path : {"missing.ogg", "fifo.ogg", "zero.ogg", "dir.ogg"})
    EXPECT_EQ(Probe(path), std::make_pair(Outcome::kCouldNotOpen, 0.0f)) << path;
}

// The system's files, but reads of one file fail near its end.
class FailingReadsPlatform : public ForwardingPlatform {
 public:
  std::unique_ptr<InputFile> OpenForReading(const std::string& p) override {
    if (p != "failing.ogg") return real().OpenForReading(p);
    const std::string bytes = ReadBytes(p);
    return std::make_unique<MemoryInput>(bytes, bytes.size() - 100);
  }
};

TEST_F(ProbeTest, AFileWhoseReadFailsIsNotOggVorbis) {
  tree_.Write("failing.ogg", EncodeVorbis(2, 44100, 441000));
  FailingReadsPlatform platform;
  Prober prober(platform);
  const ProbeResult r = ProbeDuration(prober, "failing.ogg");
  EXPECT_EQ(r.outcome, Outcome::kNotOggVorbis);
  EXPECT_EQ(r.seconds, 0.0f);
}

TEST_F(ProbeTest, ComputeDurationsKeepsListOrderForRecordsAndLines) {
  tree_.Write("b.ogg", EncodeVorbis(1, 8000, 4000));
  tree_.Write("sub/%s%n.ogg", "junk");  // the name is data, not a format
  const FileList files = {"b.ogg", "missing.ogg", "sub/%s%n.ogg", "b.ogg"};
  CaptureStdout();
  const RecordTable records = ComputeDurations(SystemPlatform(), files);
  EXPECT_EQ(GetCapturedStdout(),
            "ERROR: Could not open file: missing.ogg\n"
            "ERROR: OGG could not open file: sub/%s%n.ogg\n");
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].seconds, 0.5f);
  EXPECT_EQ(records[1].seconds, 0.0f);
  EXPECT_EQ(records[2].seconds, 0.0f);
  EXPECT_EQ(records[3].seconds, 0.5f);
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
