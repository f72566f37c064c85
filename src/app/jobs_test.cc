// SPDX-License-Identifier: MIT
#include "app/jobs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/workers.h"
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
  uint32_t open_files = 1024;
  unsigned CountCpus() override { return cpus; }
  uint32_t OpenFileLimit() override { return open_files; }
  bool MemoryMayBeRefused() override { return limited; }
};

TEST(WorkersForRunTest, JobsElseTheCpusAndOneProberUnderAMemoryLimit) {
  Machine m;
  const RunWorkers asked = WorkersForRun(m, "3");
  EXPECT_EQ(asked.probe, 3u);
  EXPECT_EQ(asked.readers, 24u);
  EXPECT_EQ(asked.ids, 3u);
  EXPECT_FALSE(asked.jobs_ignored);
  EXPECT_EQ(WorkersForRun(m, "9").readers, 64u);
  EXPECT_EQ(WorkersForRun(m, "100").readers, 100u);
  m.open_files = 40;
  EXPECT_EQ(WorkersForRun(m, "3").readers, 10u);
  EXPECT_EQ(WorkersForRun(m, "30").readers, 30u);
  m.open_files = 1024;
  const RunWorkers cpus = WorkersForRun(m, nullptr);
  EXPECT_GE(cpus.probe, 1u);  // no more than this machine's cgroup quota, if any
  EXPECT_LE(cpus.probe, 6u);
  EXPECT_FALSE(cpus.jobs_ignored);
  const RunWorkers lots = WorkersForRun(m, "lots");
  EXPECT_TRUE(lots.jobs_ignored);
  EXPECT_EQ(lots.ids, cpus.ids);
  m.limited = true;
  const RunWorkers limited = WorkersForRun(m, "3");
  EXPECT_EQ(limited.probe, 1u);
  EXPECT_EQ(limited.readers, 1u);
  EXPECT_EQ(limited.ids, 3u);
}

}  // namespace
}  // namespace trackmeter
