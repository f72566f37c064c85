#include "catalogue/hash_ids.h"

#include <algorithm>
#include <numeric>
#include <string_view>

namespace trackmeter {

namespace {

// Under an even multiplier a byte 32 or more places from the end is
// multiplied by 2^32 or more and drops out of the id.
constexpr std::size_t kEvenMultiplierReach = 32;

// Every path folded once, end to end, so that a pass only multiplies and
// adds over one contiguous buffer.
class FoldedPaths {
 public:
  explicit FoldedPaths(const FileList& files) : begin_(files.size() + 1) {
    std::size_t total = 0;
    for (const std::string& f : files) total += f.size();
    bytes_.reserve(total);
    for (std::size_t i = 0; i < files.size(); ++i) {
      begin_[i] = bytes_.size();
      for (char c : files[i])
        bytes_.push_back(FoldPathByte(static_cast<unsigned char>(c)));
    }
    begin_[files.size()] = bytes_.size();
  }

  std::string_view Path(std::size_t i) const {
    return {reinterpret_cast<const char*>(bytes_.data()) + begin_[i],
            begin_[i + 1] - begin_[i]};
  }

  // The same value as PathHash of the original path under m.
  uint32_t Hash(std::size_t i, uint32_t m) const {
    std::size_t b = begin_[i];
    const std::size_t e = begin_[i + 1];
    if (m % 2 == 0 && e - b > kEvenMultiplierReach) b = e - kEvenMultiplierReach;
    uint32_t h = 0;
    for (; b < e; ++b) h = h * m + bytes_[b];
    return h;
  }

 private:
  std::vector<unsigned char> bytes_;
  std::vector<std::size_t> begin_;
};

// The ids of one pass, in open addressing. Each slot carries the pass that
// filled it, so a new pass starts without clearing anything.
class IdSet {
 public:
  explicit IdSet(std::size_t n) {
    while ((std::size_t{1} << bits_) < 2 * n) ++bits_;
    slots_.assign(std::size_t{1} << bits_, 0);
  }

  // False if id is already in the set for this pass.
  bool Insert(uint32_t id, uint32_t pass) {
    const std::size_t mask = slots_.size() - 1;
    // Fibonacci hashing: ids of small multipliers are far from uniform in
    // their low bits.
    std::size_t at = (uint64_t{id} * 0x9E3779B97F4A7C15u) >> (64 - bits_);
    const uint64_t entry = (uint64_t{pass} << 32) | id;
    for (;; at = (at + 1) & mask) {
      const uint64_t slot = slots_[at];
      if ((slot >> 32) != pass) {
        slots_[at] = entry;
        return true;
      }
      if (slot == entry) return false;
    }
  }

 private:
  unsigned bits_ = 4;
  std::vector<uint64_t> slots_;
};

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> FindFoldedDuplicates(
    const FileList& files) {
  const FoldedPaths folded(files);
  std::vector<std::size_t> order(files.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return folded.Path(a) < folded.Path(b);
  });

  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t run = 0; run < order.size();) {
    std::size_t end = run + 1;
    while (end < order.size() && folded.Path(order[end]) == folded.Path(order[run]))
      ++end;
    // The stable sort keeps each run in index order, so i < j.
    for (std::size_t i = run; i < end; ++i)
      for (std::size_t j = i + 1; j < end; ++j)
        pairs.emplace_back(order[i], order[j]);
    run = end;
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

std::optional<uint32_t> GenerateHashIds(const FileList& files,
                                        RecordTable* records,
                                        uint32_t max_pass) {
  const FoldedPaths folded(files);
  IdSet seen(files.size());
  for (uint64_t p = 1; p <= max_pass; ++p) {
    const auto pass = static_cast<uint32_t>(p);
    const uint32_t m = MultiplierOfPass(pass);
    bool distinct = true;
    // A pass ends at its first collision; most failing passes meet one long
    // before the last file.
    for (std::size_t i = 0; i < files.size() && distinct; ++i) {
      const uint32_t id = folded.Hash(i, m);
      (*records)[i].id = id;
      distinct = seen.Insert(id, pass);
    }
    if (distinct) return pass;
  }
  return std::nullopt;
}

}  // namespace trackmeter
