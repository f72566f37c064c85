// SPDX-License-Identifier: MIT
#include "platform/cpus.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace trackmeter {
namespace {

TEST(CpusTest, QuotasRoundUpAndNoneMeansNoLimit) {
  EXPECT_EQ(CpusOfCpuMax("150000 100000\n"), 2u);
  EXPECT_EQ(CpusOfCpuMax("100000 100000"), 1u);
  EXPECT_EQ(CpusOfCpuMax("50000 100000"), 1u);
  EXPECT_EQ(CpusOfCpuMax("max 100000"), 0u);
  EXPECT_EQ(CpusOfCpuMax(""), 0u);
  EXPECT_EQ(CpusOfCpuMax("12x 100000"), 0u);
  EXPECT_EQ(CpusOfQuota(-1, 100000), 0u);  // cgroup v1's "no limit"
  EXPECT_EQ(CpusOfQuota(400000, 100000), 4u);
}

TEST(CpusTest, AffinityElseOnlineCpusAndNoMoreThanTheQuota) {
  EXPECT_EQ(UsableCpus(4, 16, 0), 4u);
  EXPECT_EQ(UsableCpus(0, 16, 0), 16u);  // no affinity call on this system
  EXPECT_EQ(UsableCpus(0, -1, 0), 1u);   // and no count of CPUs either
  EXPECT_EQ(UsableCpus(8, 16, 3), 3u);
  EXPECT_EQ(UsableCpus(2, 16, 3), 2u);
  const unsigned here = AvailableCpus();
  EXPECT_GE(here, 1u);
  EXPECT_LE(here, UsableCpus(0, sysconf(_SC_NPROCESSORS_ONLN), 0));
}

}  // namespace
}  // namespace trackmeter
