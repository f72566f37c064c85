// SPDX-License-Identifier: MIT
#include "app/jobs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_system.h"

namespace trackmeter {
namespace {

TEST(ParseJobsTest, TakesOnlyPositiveDecimalNumbers) {
  EXPECT_EQ(ParseJobs("1"), 1u);
  EXPECT_EQ(ParseJobs("0064"), 64u);
  EXPECT_EQ(ParseJobs("99999999999999999999999"), kMaxJobs);
  for (const char* bad : {"", "0", "-1", "+2", " 2", "2 ", "2x", "1.5", "abc"})
    EXPECT_EQ(ParseJobs(bad), std::nullopt) << '"' << bad << '"';
  EXPECT_EQ(ParseJobs(nullptr), std::nullopt);
}

struct Machine : FakeSystem {
  unsigned cpus = 6;
  bool limited = false;
  unsigned free_files = 1000;
  unsigned CountCpus() override { return cpus; }
  unsigned FreeDescriptors(unsigned most) override { return std::min(most, free_files); }
  bool MemoryLimited() override { return limited; }
};

// What the plan gives: computing, threads in all, threads beside the walk.
std::string Measure(Machine& m, const char* jobs) {
  const ThreadPlan p = PlanRun(m, jobs).measure;
  return std::to_string(p.computing) + "/" + std::to_string(p.most) + (p.beside ? " beside" : "");
}

// Every thread the probe may start holds a file, and the walk one: the
// plan never holds more than the files free, and measures after the walk
// with room for one only, or under a limit on memory.
TEST(PlanRunTest, JobsElseTheCpusWithinTheFreeFilesAndOneThreadUnderAMemoryLimit) {
  Machine m;
  EXPECT_EQ(Measure(m, "3"), "3/24 beside");
  EXPECT_EQ(Measure(m, "9"), "9/64 beside");
  EXPECT_EQ(Measure(m, "100"), "100/100 beside");
  const RunPlan asked = PlanRun(m, "3");
  EXPECT_EQ(asked.ids.computing, 3u);
  EXPECT_FALSE(asked.jobs_ignored);
  EXPECT_FALSE(asked.check_headroom);
  for (const auto& [free, one, eight] : std::vector<std::tuple<unsigned, const char*, const char*>>{
           {11, "1/8 beside", "8/10 beside"},
           {3, "1/2 beside", "2/2 beside"},
           {2, "1/1 beside", "1/1 beside"},
           {1, "1/1", "1/1"},
           {0, "1/1", "1/1"}}) {
    m.free_files = free;
    EXPECT_EQ(Measure(m, "1"), one) << free << " free";
    EXPECT_EQ(Measure(m, "8"), eight) << free << " free";
  }
  m.free_files = 1000;
  const RunPlan cpus = PlanRun(m, nullptr);
  EXPECT_GE(cpus.ids.computing, 1u);  // no more than this machine's cgroup quota, if any
  EXPECT_LE(cpus.ids.computing, 6u);
  EXPECT_FALSE(cpus.jobs_ignored);
  const RunPlan lots = PlanRun(m, "lots");
  EXPECT_TRUE(lots.jobs_ignored);
  EXPECT_EQ(lots.ids.computing, cpus.ids.computing);
  m.limited = true;
  const RunPlan limited = PlanRun(m, "3");
  EXPECT_EQ(Measure(m, "3"), "1/1");
  EXPECT_TRUE(limited.check_headroom);
  EXPECT_EQ(limited.ids.computing, 3u);
}

}  // namespace
}  // namespace trackmeter
