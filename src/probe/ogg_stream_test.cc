// SPDX-License-Identifier: MIT
#include "probe/ogg_stream.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "probe/ogg_pages.h"
#include "memory_input.h"
#include "ogg_maker.h"

namespace trackmeter {
namespace {

// Where each page of an Ogg stream (as EncodeVorbis gives it) starts.
std::vector<std::size_t> PageStarts(const std::string& ogg) {
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at + 27 <= ogg.size();) {
    starts.push_back(at);
    const std::size_t segments = static_cast<unsigned char>(ogg[at + 26]);
    std::size_t size = 27 + segments;
    for (std::size_t i = 0; i < segments; ++i)
      size += static_cast<unsigned char>(ogg[at + 27 + i]);
    at += size;
  }
  return starts;
}

// How much of bytes a stream shows; everything it serves, read in odd
// steps and after seeks, must be the file's own bytes.
uint64_t Shown(const std::string& bytes) {
  MemoryInput input(bytes);
  StreamBuffers buffers;
  OggStream stream(input, &buffers);
  EXPECT_FALSE(stream.failed());
  std::string served(stream.length(), '\0');
  EXPECT_TRUE(stream.Seek(0, SEEK_END));
  EXPECT_EQ(stream.Tell(), stream.length());
  EXPECT_EQ(stream.Read(&served[0], 1), 0u);
  for (uint64_t at = stream.length(); at > 0;) {  // backwards, as the library searches
    const uint64_t from = at > 7000 ? at - 7000 : 0;
    EXPECT_TRUE(stream.Seek(static_cast<int64_t>(from), SEEK_SET));
    EXPECT_EQ(stream.Read(&served[from], at - from), at - from);
    at = from;
  }
  EXPECT_EQ(served, bytes.substr(0, served.size()));
  const uint64_t before = stream.Tell();
  EXPECT_FALSE(stream.Seek(-1, SEEK_SET));
  EXPECT_EQ(stream.Tell(), before);
  return stream.length();
}

TEST(OggStreamTest, ShowsAPageLengthPastTheLastValidPageAndNoMore) {
  const std::string ten = EncodeVorbis(2, 44100, 441000);  // 27 KB, small
  const std::size_t last_page = PageStarts(ten).back();
  const uint64_t past = kMaxOggPage - 1;
  std::string false_starts;
  while (false_starts.size() < (1u << 20)) false_starts += "OggS" + std::string(12, '\xff');
  std::string bad_crc = ten;
  bad_crc[last_page + 22] ^= 1;
  // A page header that claims 255 segments of 255 bytes, cut off long
  // before they end.
  const std::string cut_page = ten.substr(last_page, 26) + '\xff' + std::string(255, '\xff') +
                               std::string(9000, 'x');
  const std::string zeros(1u << 20, '\0');

  // Read whole (up to 128 KiB) and through windows (larger).
  EXPECT_EQ(Shown(ten), ten.size());
  EXPECT_EQ(Shown(std::string(1000, 'x')), 1000u);  // shorter than a page: whole
  EXPECT_EQ(Shown(ten + zeros.substr(0, 90000)), ten.size() + past);
  EXPECT_EQ(Shown(ten + zeros), ten.size() + past);
  EXPECT_EQ(Shown(ten + false_starts.substr(0, 90000)), ten.size() + past);
  EXPECT_EQ(Shown(ten + false_starts), ten.size() + past);
  EXPECT_EQ(Shown(bad_crc + zeros.substr(0, 90000)), last_page + past);
  EXPECT_EQ(Shown(bad_crc + zeros), last_page + past);
  EXPECT_EQ(Shown(ten + zeros.substr(0, 60000) + cut_page), ten.size() + past);
  EXPECT_EQ(Shown(ten + zeros + cut_page), ten.size() + past);
  // The library looks for the first page in the first 64 KiB only.
  EXPECT_EQ(Shown(zeros.substr(0, 100000) + ten + zeros.substr(0, 3600)), 64 * 1024 + past);
  EXPECT_EQ(Shown(zeros.substr(0, 100000) + ten + zeros), 64 * 1024 + past);
}

TEST(OggStreamTest, FailsOnceItHasServedItsCap) {
  MemoryInput input(std::string(1000, 'x'));
  StreamBuffers buffers;
  OggStream stream(input, &buffers);
  ASSERT_EQ(stream.length(), 1000u);
  const uint64_t cap = StreamReadCap(1000);
  char buf[1000];
  uint64_t served = 0;
  while (!stream.failed() && served <= cap + sizeof buf) {
    ASSERT_TRUE(stream.Seek(0, SEEK_SET));
    served += stream.Read(buf, sizeof buf);
  }
  EXPECT_TRUE(stream.failed());
  EXPECT_GT(served, cap);
  EXPECT_LE(served, cap + sizeof buf);
  EXPECT_TRUE(stream.Seek(0, SEEK_SET));
  EXPECT_EQ(stream.Read(buf, sizeof buf), 0u);
}

TEST(OggStreamTest, AFailedReadFailsTheStream) {
  const std::string noisy = EncodeVorbis(2, 44100, 882000, 1, 440.0, 0.3);  // 200 KB
  ASSERT_GT(noisy.size(), 150000u);
  StreamBuffers buffers;
  {  // while the page scan reads the tail
    MemoryInput input(noisy, noisy.size() - 10, noisy.size() - 9);
    OggStream stream(input, &buffers);
    EXPECT_TRUE(stream.failed());
    char buf[16];
    EXPECT_EQ(stream.Read(buf, sizeof buf), 0u);
  }
  {  // later, in the middle, which the scan does not read
    MemoryInput input(noisy, 40000, 40001);
    OggStream stream(input, &buffers);
    ASSERT_FALSE(stream.failed());
    EXPECT_EQ(stream.length(), noisy.size());
    std::string buf(8000, '\0');
    ASSERT_TRUE(stream.Seek(20000, SEEK_SET));
    EXPECT_EQ(stream.Read(&buf[0], buf.size()), 8000u);
    EXPECT_FALSE(stream.failed());
    EXPECT_EQ(buf, noisy.substr(20000, 8000));
    ASSERT_TRUE(stream.Seek(39000, SEEK_SET));
    EXPECT_EQ(stream.Read(&buf[0], buf.size()), 0u);
    EXPECT_TRUE(stream.failed());
  }
}

}  // namespace
}  // namespace trackmeter
