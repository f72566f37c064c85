// SPDX-License-Identifier: MIT
#include "app/cpus.h"

#include <gtest/gtest.h>

#include "temp_tree.h"

namespace trackmeter {
namespace {

TEST(CpusTest, QuotasRoundUpAndNoneMeansNoLimit) {
  EXPECT_EQ(CpusOfCpuMax("150000 100000\n"), 2u);
  EXPECT_EQ(CpusOfCpuMax("50000 100000"), 1u);
  EXPECT_EQ(CpusOfCpuMax("max 100000"), 0u);
  EXPECT_EQ(CpusOfCpuMax(""), 0u);
  EXPECT_EQ(CpusOfCpuMax("12x 100000"), 0u);
  EXPECT_EQ(CpusOfQuota(-1, 100000), 0u);  // cgroup v1's "no limit"
  EXPECT_EQ(CpusOfQuota(400000, 100000), 4u);
}

// The cgroup files of a container, in a tree of files: the tightest quota
// of the process's cgroup and those above it counts, v2 or v1.
TEST(CpusTest, CgroupQuotaIsTheTightestOnThePathUp) {
  TempTree t;
  t.Write("self", "0::/outer/inner\n");
  t.Write("fs/cpu.max", "max 100000\n");
  t.Write("fs/outer/cpu.max", "300000 100000\n");
  t.Write("fs/outer/inner/cpu.max", "max 100000\n");
  EXPECT_EQ(CgroupCpuQuota(t.Path("self"), t.Path("fs")), 3u);
  t.Write("fs/outer/inner/cpu.max", "150000 100000\n");
  EXPECT_EQ(CgroupCpuQuota(t.Path("self"), t.Path("fs")), 2u);

  t.Write("self", "5:cpuacct,cpu:/job\n4:memory:/job\n");
  t.Write("fs/cpu,cpuacct/job/cpu.cfs_quota_us", "-1\n");
  t.Write("fs/cpu,cpuacct/job/cpu.cfs_period_us", "100000\n");
  EXPECT_EQ(CgroupCpuQuota(t.Path("self"), t.Path("fs")), 0u);
  t.Write("fs/cpu,cpuacct/cpu.cfs_quota_us", "50000\n");
  t.Write("fs/cpu,cpuacct/cpu.cfs_period_us", "100000\n");
  EXPECT_EQ(CgroupCpuQuota(t.Path("self"), t.Path("fs")), 1u);
  EXPECT_EQ(CgroupCpuQuota(t.Path("no such file"), t.Path("fs")), 0u);
}

}  // namespace
}  // namespace trackmeter
