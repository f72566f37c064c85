// SPDX-License-Identifier: MIT
#include "app/base_path.h"

#include <gtest/gtest.h>

namespace trackmeter {
namespace {

TEST(AbsoluteBasePathTest, FoldsDotsByNameOnBothKindsOfSystem) {
  EXPECT_EQ(AbsoluteBasePath("/home/u", "music", '/'), "/home/u/music");
  EXPECT_EQ(AbsoluteBasePath("/home/u", "./a/../b//c/.", '/'), "/home/u/b/c");
  EXPECT_EQ(AbsoluteBasePath("/home/u", "/x/../../y", '/'), "/y");
  EXPECT_EQ(AbsoluteBasePath("/home/u", "../..", '/'), "/");
  EXPECT_EQ(AbsoluteBasePath("/", ".", '/'), "/");
  EXPECT_EQ(AbsoluteBasePath(".", "music", '/'), "music");              // no start to be had
  EXPECT_EQ(AbsoluteBasePath("/home/u", "a\\b", '/'), "/home/u/a\\b");  // a name on POSIX

  EXPECT_EQ(AbsoluteBasePath("Z:\\tmp", "music/sfx\\..", '\\'), "Z:\\tmp\\music");
  EXPECT_EQ(AbsoluteBasePath("Z:\\", "..", '\\'), "Z:\\");
  EXPECT_EQ(AbsoluteBasePath("Z:\\tmp", "D:/a/./b", '\\'), "D:\\a\\b");
  EXPECT_EQ(AbsoluteBasePath("Z:\\tmp\\x", "\\other", '\\'), "Z:\\other");
  EXPECT_EQ(AbsoluteBasePath("\\\\srv\\share\\d", "..\\..\\e", '\\'), "\\\\srv\\share\\e");
}

}  // namespace
}  // namespace trackmeter
