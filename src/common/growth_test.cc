// SPDX-License-Identifier: MIT
#include "common/growth.h"

#include <gtest/gtest.h>

namespace trackmeter {
namespace {

constexpr int64_t kMs = 1'000'000;

// A look each period at most, on what the tasks did since the last: half
// as many threads again while they waited at least half their time and an
// index waits, up to the most.
TEST(GrowthTest, HalfAsManyAgainWhileTasksMostlyWaitForStorage) {
  Growth g;
  EXPECT_EQ(g.More(0, 0, 0, 2, 16, true), 0u);  // the first period starts
  EXPECT_EQ(g.More(9 * kMs, 9 * kMs, 9 * kMs, 2, 16, true), 0u);
  EXPECT_EQ(g.More(10 * kMs, 10 * kMs, 10 * kMs, 2, 16, true), 1u);
  EXPECT_EQ(g.More(15 * kMs, 40 * kMs, 40 * kMs, 3, 16, true), 0u);  // within the period
  EXPECT_EQ(g.More(20 * kMs, 50 * kMs, 45 * kMs, 8, 16, true), 4u);
  EXPECT_EQ(g.More(30 * kMs, 70 * kMs, 55 * kMs, 12, 16, true), 4u);  // half: still more
  EXPECT_EQ(g.More(40 * kMs, 90 * kMs, 64 * kMs, 16, 99, true), 0u);  // less than half
  EXPECT_EQ(g.More(50 * kMs, 99 * kMs, 73 * kMs, 16, 18, true), 2u);  // up to the most
  EXPECT_EQ(g.More(60 * kMs, 99 * kMs, 73 * kMs, 18, 99, true), 0u);  // no task ended
  EXPECT_EQ(g.More(70 * kMs, 199 * kMs, 173 * kMs, 18, 18, true), 0u);
  EXPECT_EQ(g.More(80 * kMs, 299 * kMs, 273 * kMs, 18, 99, false), 0u);  // nothing waits
}

}  // namespace
}  // namespace trackmeter
