// SPDX-License-Identifier: MIT
#include "probe/ogg_pages.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <random>
#include <vector>

namespace trackmeter {
namespace {

// The page scan's checksum is its own; libogg's is the one every player
// checks. Pages of every shape: no segments, short ones, and the longest.
TEST(OggPageCrcTest, AgreesWithLiboggWhateverTheChecksumFieldHolds) {
  std::mt19937 random(7);
  for (int segments : {0, 1, 3, 17, 255}) {
    for (int fill : {0, 1, 254, 255}) {
      std::vector<unsigned char> page(27 + segments);
      for (unsigned char& b : page) b = static_cast<unsigned char>(random());
      std::size_t body = 0;
      for (int i = 0; i < segments; ++i) {
        page[27 + i] = static_cast<unsigned char>(fill == 1 ? random() : fill);
        body += page[27 + i];
      }
      for (std::size_t i = 0; i < body; ++i) page.push_back(static_cast<unsigned char>(random()));
      const uint32_t ours = OggPageCrc(page.data(), page.size());

      ogg_page og;
      og.header = page.data();
      og.header_len = 27 + segments;
      og.body = page.data() + og.header_len;
      og.body_len = static_cast<long>(body);
      ogg_page_checksum_set(&og);  // writes it into the field
      const uint32_t theirs = uint32_t{page[22]} | uint32_t{page[23]} << 8 |
                              uint32_t{page[24]} << 16 | uint32_t{page[25]} << 24;
      EXPECT_EQ(ours, theirs) << segments << " segments of " << fill;
      EXPECT_EQ(OggPageCrc(page.data(), page.size()), theirs);
    }
  }
}

}  // namespace
}  // namespace trackmeter
