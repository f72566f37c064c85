#include "catalogue/probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ogg_maker.h"
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

}  // namespace
}  // namespace trackmeter
