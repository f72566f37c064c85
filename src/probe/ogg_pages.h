// SPDX-License-Identifier: MIT
// Ogg pages found in a file's raw bytes, without the vorbisfile library:
// how much of a file the library needs to be shown. The probe's stream
// (ogg_stream.h) uses it.
#ifndef TRACKMETER_PROBE_OGG_PAGES_H_
#define TRACKMETER_PROBE_OGG_PAGES_H_

#include <cstddef>
#include <cstdint>
#include <optional>

namespace trackmeter {

// The longest an Ogg page can be: a 27-byte header, 255 lacing values and
// 255 segments of 255 bytes.
constexpr uint64_t kMaxOggPage = 27 + 255 + 255 * 255;

// The library opens a chained file by recursing once per stream, on the
// caller's stack and with a few kilobytes of heap per stream; a file that
// starts more streams than this is not shown to it. Real chains (albums,
// recorded radio with a stream per song) stay far below.
constexpr uint64_t kMaxChainedStreams = 4096;

// The first reads the scan below makes of a file: the first kHeadView
// bytes, then the last kTailView. A source can keep them for later use.
constexpr uint64_t kTailView = 64 * 1024;
constexpr uint64_t kHeadView = 16 * 1024;

// Random access to the bytes of a file of known size.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The size bytes at offset, valid until the next call; null if they
  // cannot all be read (a read failed, or the file shrank).
  virtual const unsigned char* Bytes(uint64_t offset, std::size_t size) = 0;
};

// How many leading bytes of a file of size bytes the library is to be shown:
// up to the end of the valid page (header and CRC checked) that ends last,
// and then at most kMaxOggPage - 1 more, so that anything the library takes
// for a page start before that end is checked against the same bytes as in
// the whole file. No valid page starts after that end, so the library finds
// the same pages, and its backward searches never cross a long tail that
// holds none. A file without a valid page in its first 64 KiB, where the
// library looks for the first, is shown up to where that search ends. 0 for
// a file that starts more than kMaxChainedStreams streams. Nothing when a
// read fails. How many streams the library will recurse through goes to
// *streams, where given: 1 unless the file is chained. Time linear in the bytes read, which are the head, the tail
// after the last page and about 64 KiB before it, and, only for a chained
// file, the whole file once.
std::optional<uint64_t> OggBytesToShow(ByteSource& source, uint64_t size,
                                       uint64_t* streams = nullptr);

// The CRC of an Ogg page of size bytes, computed as if its checksum field
// held zeros; what a valid page stores in that field, little-endian.
uint32_t OggPageCrc(const unsigned char* page, std::size_t size);

}  // namespace trackmeter

#endif  // TRACKMETER_PROBE_OGG_PAGES_H_
