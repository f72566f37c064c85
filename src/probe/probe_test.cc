// SPDX-License-Identifier: MIT
#include "probe/probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fake_system.h"
#include "memory_input.h"
#include "ogg_maker.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

// Probes tree-relative paths from within the tree, as a run does.
class ProbeTest : public ::testing::Test {
 protected:
  // What probing path gave: the outcome, and the seconds.
  std::pair<Outcome, float> Probe(const std::string& path) {
    const ProbeResult r = ProbeDuration(prober_, path);
    return {r.outcome, r.seconds};
  }

  Seat seat_;  // a seat of no scheduler's, as on the calling thread
  Prober prober_{SystemCalls(), seat_, false};

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
struct FailingReads : FakeSystem {
  Error OpenForReading(const std::string& p, std::unique_ptr<InputFile>* file) override {
    if (p != "failing.ogg") return real.OpenForReading(p, file);
    const std::string bytes = ReadBytes(p);
    *file = std::make_unique<MemoryInput>(bytes, bytes.size() - 100);
    return Error::kNone;
  }
};

TEST_F(ProbeTest, AFileWhoseReadFailsIsNotOggVorbis) {
  tree_.Write("failing.ogg", EncodeVorbis(2, 44100, 441000));
  FailingReads system;
  Seat seat;
  Prober prober(system, seat, false);
  const ProbeResult r = ProbeDuration(prober, "failing.ogg");
  EXPECT_EQ(r.outcome, Outcome::kNotOggVorbis);
  EXPECT_EQ(r.seconds, 0.0f);
}

}  // namespace
}  // namespace trackmeter
