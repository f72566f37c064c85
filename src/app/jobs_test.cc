// SPDX-License-Identifier: MIT
#include "app/jobs.h"

#include <gtest/gtest.h>

#include "catalogue/workers.h"

namespace trackmeter {
namespace {

TEST(ParseJobsTest, TakesOnlyPositiveDecimalNumbers) {
  EXPECT_EQ(ParseJobs("1"), 1u);
  EXPECT_EQ(ParseJobs("64"), 64u);
  EXPECT_EQ(ParseJobs("0064"), 64u);
  EXPECT_EQ(ParseJobs("99999999999999999999999"), kMaxWorkers);
  for (const char* bad : {"", "0", "-1", "+2", " 2", "2 ", "2x", "1.5", "abc"})
    EXPECT_EQ(ParseJobs(bad), std::nullopt) << '"' << bad << '"';
  EXPECT_EQ(ParseJobs(nullptr), std::nullopt);
}

}  // namespace
}  // namespace trackmeter
