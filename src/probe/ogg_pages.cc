// SPDX-License-Identifier: MIT
#include "probe/ogg_pages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

namespace trackmeter {

namespace {

// The Ogg CRC: polynomial 0x04c11db7, most significant bit first, no
// initial or final inversion. The CRC of a message is then its polynomial
// times x^32, modulo the generator.
constexpr uint32_t kPolynomial = 0x04c11db7;

// kCrcTables[k][b]: the CRC of byte b followed by k zero bytes, for eight
// bytes a step.
constexpr std::array<std::array<uint32_t, 256>, 8> MakeCrcTables() {
  std::array<std::array<uint32_t, 256>, 8> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i << 24;
    for (int bit = 0; bit < 8; ++bit)
      r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : r << 1;
    t[0][i] = r;
  }
  for (int k = 1; k < 8; ++k)
    for (uint32_t i = 0; i < 256; ++i)
      t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
  return t;
}
constexpr std::array<std::array<uint32_t, 256>, 8> kCrcTables = MakeCrcTables();
constexpr const std::array<uint32_t, 256>& kCrcTable = kCrcTables[0];

uint32_t CrcUpdate(uint32_t crc, const unsigned char* p, std::size_t n) {
  const auto& t = kCrcTables;
  for (; n >= 8; n -= 8, p += 8) {
    const uint32_t a = crc ^ (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 |
                              uint32_t{p[2]} << 8 | p[3]);
    crc = t[7][a >> 24] ^ t[6][(a >> 16) & 0xff] ^ t[5][(a >> 8) & 0xff] ^
          t[4][a & 0xff] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; n > 0; --n, ++p) crc = (crc << 8) ^ kCrcTable[(crc >> 24) ^ *p];
  return crc;
}

// a * b modulo the generator, both of degree below 32.
uint32_t MulMod(uint32_t a, uint32_t b) {
  uint32_t r = 0;
  for (int i = 31; i >= 0; --i) {
    r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : r << 1;
    if ((b >> i) & 1) r ^= a;
  }
  return r;
}

// x^(8n) modulo the generator, for n up to one page: what appending n zero
// bytes multiplies a CRC by.
uint32_t ShiftBytes(uint64_t n) {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(kMaxOggPage + 1);
    t[0] = 1;
    for (std::size_t i = 1; i < t.size(); ++i)
      t[i] = (t[i - 1] << 8) ^ kCrcTable[t[i - 1] >> 24];
    return t;
  }();
  return table[n];
}

uint32_t Le32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
         uint32_t{p[3]} << 24;
}

struct Page {
  uint64_t start;  // offset in the view
  uint64_t size;
};

// Checks the CRC of each candidate in view (sorted by start, each lying
// within the view) and keeps the valid ones. Where the candidates overlap
// much, as junk made of false page starts does, each CRC comes from one pass
// over their span instead of one pass per page: with R(k) the CRC of the
// span's bytes before k, a page's CRC is R(end) + R(start) * x^(8 size).
std::vector<Page> KeepValid(const unsigned char* view, std::vector<Page> pages) {
  std::vector<Page> valid;
  if (pages.empty()) return valid;
  uint64_t total = 0, span_end = 0;
  for (const Page& p : pages) {
    total += p.size;
    span_end = std::max(span_end, p.start + p.size);
  }
  const uint64_t span = span_end - pages.front().start;
  if (total <= 2 * span) {
    for (const Page& p : pages)
      if (OggPageCrc(view + p.start, p.size) == Le32(view + p.start + 22))
        valid.push_back(p);
    return valid;
  }
  // (offset, slot): slot 2i holds R(start of page i), 2i + 1 R(its end).
  std::vector<std::pair<uint64_t, std::size_t>> marks;
  marks.reserve(2 * pages.size());
  for (std::size_t i = 0; i < pages.size(); ++i) {
    marks.emplace_back(pages[i].start, 2 * i);
    marks.emplace_back(pages[i].start + pages[i].size, 2 * i + 1);
  }
  std::sort(marks.begin(), marks.end());
  std::vector<uint32_t> r(marks.size());
  uint32_t crc = 0;
  uint64_t at = marks.front().first;
  for (const auto& [offset, slot] : marks) {
    crc = CrcUpdate(crc, view + at, offset - at);
    at = offset;
    r[slot] = crc;
  }
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const Page& p = pages[i];
    const unsigned char* field = view + p.start + 22;
    const uint32_t whole = r[2 * i + 1] ^ MulMod(r[2 * i], ShiftBytes(p.size));
    // The stored checksum counts as zeros: take its share out again.
    const uint32_t share = MulMod(CrcUpdate(0, field, 4), ShiftBytes(p.size - 26));
    if ((whole ^ share) == Le32(field)) valid.push_back(p);
  }
  return valid;
}

// What may be pages in a view of bytes [base, base + view_size): each place
// in [from, to) (file offsets) that starts with the capture pattern and whose
// header gives a size that lies within the view and ends after min_end.
// Starts are offsets in the view. The caller makes the view reach
// kMaxOggPage - 1 bytes past to, or to the end of the file.
std::vector<Page> Candidates(const unsigned char* view, uint64_t base,
                             uint64_t view_size, uint64_t from, uint64_t to,
                             uint64_t min_end, bool stream_starts_only) {
  std::vector<Page> candidates;
  const unsigned char* p = view + (from - base);
  const unsigned char* const stop = view + (to - base);
  const unsigned char* const end = view + view_size;
  for (; p < stop; ++p) {
    p = static_cast<const unsigned char*>(std::memchr(p, 'O', stop - p));
    if (p == nullptr) break;
    if (end - p < 27 || std::memcmp(p, "OggS", 4) != 0) continue;
    if (stream_starts_only && (p[5] & 2) == 0) continue;
    const uint64_t header = 27 + uint64_t{p[26]};
    if (static_cast<uint64_t>(end - p) < header) continue;
    uint64_t size = header;
    for (int i = 0; i < p[26]; ++i) size += p[27 + i];
    const uint64_t start = static_cast<uint64_t>(p - view);
    if (start + size > view_size || base + start + size <= min_end) continue;
    candidates.push_back(Page{start, size});
  }
  return candidates;
}

bool IsValid(const unsigned char* view, const Page& p) {
  return OggPageCrc(view + p.start, p.size) == Le32(view + p.start + 22);
}

constexpr uint64_t kFirstChunk = kTailView;  // the library's own search step
constexpr uint64_t kLargestChunk = 1024 * 1024;

constexpr uint64_t kNearEnd = 16 * 1024;

// Checks candidates of a view that starts at file offset lo, from the last
// start back: a valid page rules out every candidate that ends before it, so
// a real file needs one CRC. Past a few failures the rest are checked
// together. keep(view, lo, page) takes each valid page that ends after *best.
template <typename Keep>
void CheckBackward(const unsigned char* view, uint64_t lo,
                   const std::vector<Page>& candidates, const uint64_t* best,
                   Keep* keep) {
  int checked = 0;
  for (std::size_t i = candidates.size(); i-- > 0;) {
    const Page& c = candidates[i];
    if (lo + c.start + c.size <= *best) continue;
    if (++checked > 8) {
      std::vector<Page> rest;
      for (std::size_t j = 0; j <= i; ++j)
        if (lo + candidates[j].start + candidates[j].size > *best) rest.push_back(candidates[j]);
      for (const Page& p : KeepValid(view, std::move(rest))) (*keep)(view, lo, p);
      return;
    }
    if (IsValid(view, c)) (*keep)(view, lo, c);
  }
}

// Scans backward for the valid page that ends last: its end (0 if the file
// holds no valid page) and its serial number.
std::optional<uint64_t> LastPageEnd(ByteSource& source, uint64_t size,
                                    uint32_t* serial) {
  uint64_t best = 0;
  // p.start is an offset in the view that starts at lo.
  auto keep = [&](const unsigned char* view, uint64_t lo, const Page& p) {
    if (lo + p.start + p.size <= best) return;
    best = lo + p.start + p.size;
    *serial = Le32(view + p.start + 14);
  };
  uint64_t chunk = kFirstChunk;
  for (uint64_t hi = size; hi > 0; chunk = std::min(2 * chunk, kLargestChunk)) {
    const uint64_t lo = hi > chunk ? hi - chunk : 0;
    const uint64_t view_end = std::min(size, hi + kMaxOggPage - 1);
    const unsigned char* view = source.Bytes(lo, view_end - lo);
    if (view == nullptr) return std::nullopt;
    // A real file ends with its last page: look for it near the end first.
    const uint64_t near = hi == size && hi - lo > kNearEnd ? hi - kNearEnd : lo;
    for (const auto& [from, to] : {std::make_pair(near, hi), std::make_pair(lo, near)}) {
      if (best == size) return best;  // nothing can end later
      CheckBackward(view, lo, Candidates(view, lo, view_end - lo, from, to, best, false),
                    &best, &keep);
    }
    // A page that starts before lo ends before lo + kMaxOggPage.
    if (best > 0 && lo + kMaxOggPage <= best) break;
    hi = lo;
  }
  return best;
}

// The serial number of the page the library starts from: the first valid
// page, which it looks for in the first 64 KiB only. Sets *found when there
// is one; false when a read fails.
bool FirstPageSerial(ByteSource& source, uint64_t size, bool* found,
                     uint32_t* serial) {
  *found = false;
  // Most files start with a page at 0: a short view shows it.
  const uint64_t short_view = std::min(size, kHeadView);
  const unsigned char* view = source.Bytes(0, short_view);
  if (view == nullptr) return false;
  std::vector<Page> pages = KeepValid(view, Candidates(view, 0, short_view, 0, 1, 0, false));
  if (pages.empty()) {
    const uint64_t view_size = std::min(size, kFirstChunk + kMaxOggPage - 1);
    view = source.Bytes(0, view_size);
    if (view == nullptr) return false;
    pages = KeepValid(
        view, Candidates(view, 0, view_size, 0, std::min(view_size, kFirstChunk), 0, false));
  }
  if (!pages.empty()) {
    *found = true;
    *serial = Le32(view + pages.front().start + 14);
  }
  return true;
}

// How many valid pages that start a stream begin before end, counted up to
// a little more than limit.
std::optional<uint64_t> CountStreamStarts(ByteSource& source, uint64_t size,
                                          uint64_t end, uint64_t limit) {
  uint64_t count = 0;
  for (uint64_t lo = 0; lo < end && count <= limit; lo += kLargestChunk) {
    const uint64_t hi = std::min(end, lo + kLargestChunk);
    const uint64_t view_end = std::min(size, hi + kMaxOggPage - 1);
    const unsigned char* view = source.Bytes(lo, view_end - lo);
    if (view == nullptr) return std::nullopt;
    count += KeepValid(view, Candidates(view, lo, view_end - lo, lo, hi, 0, true)).size();
  }
  return count;
}

}  // namespace

uint32_t OggPageCrc(const unsigned char* page, std::size_t size) {
  static const unsigned char kZeros[4] = {0, 0, 0, 0};
  uint32_t crc = CrcUpdate(0, page, 22);
  crc = CrcUpdate(crc, kZeros, 4);
  return CrcUpdate(crc, page + 26, size - 26);
}

std::optional<uint64_t> OggBytesToShow(ByteSource& source, uint64_t size, uint64_t* streams) {
  uint64_t counted = 1;
  if (streams == nullptr) streams = &counted;
  *streams = 1;
  // A file shorter than a page is shown whole whatever it holds, and cannot
  // start more streams than allowed.
  static_assert(kMaxChainedStreams * 27 > kMaxOggPage);
  if (size < kMaxOggPage) return size;
  // Without a valid page in its first 64 KiB the library gives up there;
  // it is shown that much, and whatever follows is never read.
  bool found = false;
  uint32_t first_serial = 0;
  if (!FirstPageSerial(source, size, &found, &first_serial)) return std::nullopt;
  if (!found) return std::min(size, kFirstChunk + kMaxOggPage - 1);
  uint32_t last_serial = 0;
  const std::optional<uint64_t> end = LastPageEnd(source, size, &last_serial);
  if (!end) return std::nullopt;
  const uint64_t show = std::min(size, *end + kMaxOggPage - 1);
  // The library recurses only when the last page belongs to another stream
  // than the first; only then are the stream starts counted.
  if (first_serial == last_serial) return show;
  const std::optional<uint64_t> starts =
      CountStreamStarts(source, size, *end, kMaxChainedStreams);
  if (!starts) return std::nullopt;
  *streams = *starts;
  return *starts > kMaxChainedStreams ? 0 : show;
}

}  // namespace trackmeter
