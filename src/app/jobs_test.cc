// SPDX-License-Identifier: MIT
#include "app/jobs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/workers.h"
#include "fake_status.h"
#include "fake_system.h"

namespace trackmeter {
namespace {

TEST(ParseJobsTest, TakesOnlyPositiveDecimalNumbers) {
  EXPECT_EQ(ParseJobs("1"), 1u);
  EXPECT_EQ(ParseJobs("0064"), 64u);
  EXPECT_EQ(ParseJobs("99999999999999999999999"), kMaxWorkers);
  for (const char* bad : {"", "0", "-1", "+2", " 2", "2 ", "2x", "1.5", "abc"})
    EXPECT_EQ(ParseJobs(bad), std::nullopt) << '"' << bad << '"';
  EXPECT_EQ(ParseJobs(nullptr), std::nullopt);
}

struct Machine : FakeSystem {
  unsigned cpus = 6;
  bool limited = false;
  unsigned CountCpus() override { return cpus; }
  bool MemoryMayBeRefused() override { return limited; }
};

TEST(WorkersForRunTest, JobsElseTheCpusAndOneProberUnderAMemoryLimit) {
  Machine m;
  FakeStatus status;
  const RunWorkers asked = WorkersForRun(m, status, "3");
  EXPECT_EQ(asked.probe, 3u);
  EXPECT_EQ(asked.ids, 3u);
  const RunWorkers cpus = WorkersForRun(m, status, nullptr);
  EXPECT_GE(cpus.probe, 1u);  // no more than this machine's cgroup quota, if any
  EXPECT_LE(cpus.probe, 6u);
  EXPECT_TRUE(status.said.empty());
  WorkersForRun(m, status, "lots");
  EXPECT_THAT(status.said, ::testing::ElementsAre("jobs ignored lots " + std::to_string(cpus.ids)));
  m.limited = true;
  EXPECT_EQ(WorkersForRun(m, status, "3").probe, 1u);
  EXPECT_EQ(WorkersForRun(m, status, "3").ids, 3u);
}

}  // namespace
}  // namespace trackmeter
