// SPDX-License-Identifier: MIT
#include "ids/hash_ids.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace trackmeter {

namespace {

// Under an even multiplier a byte 32 or more places from the end is
// multiplied by 2^32 or more and drops out of the id.
constexpr std::size_t kEvenMultiplierReach = 32;

// Bytes are hashed eight at a time: h = h * m^8 + (b0 m^7 + ... + b7). The
// eight products do not depend on each other, so the chain from one chunk
// to the next is a single multiply-add instead of eight.
constexpr std::size_t kChunk = 8;

struct Powers {
  explicit Powers(uint32_t m) {
    uint32_t p = 1;
    for (std::size_t j = kChunk; j-- > 0;) {
      w[j] = p;
      p *= m;
    }
    m8 = p;
    even = m % 2 == 0;
  }
  uint32_t w[kChunk];  // w[j] = m^(7 - j)
  uint32_t m8;
  bool even;
};

// Folded bytes, each string padded in front with zero bytes (which leave
// the hash as it is) to whole chunks, end to end in one buffer.
class ChunkedStrings {
 public:
  void Add(std::string_view s) {
    begin_.push_back(bytes_.size());
    bytes_.resize(bytes_.size() + (kChunk - s.size() % kChunk) % kChunk, 0);
    for (char c : s) bytes_.push_back(FoldPathByte(static_cast<unsigned char>(c)));
    end_.push_back(bytes_.size());
  }

  std::size_t size() const { return begin_.size(); }

  // PathHash of string i under the multiplier of pw.
  uint32_t Hash(std::size_t i, const Powers& pw) const {
    const unsigned char* p = bytes_.data() + begin_[i];
    const unsigned char* const e = bytes_.data() + end_[i];
    if (pw.even && static_cast<std::size_t>(e - p) > kEvenMultiplierReach)
      p = e - kEvenMultiplierReach;
    uint32_t h = 0;
    for (; p < e; p += kChunk) {
      uint32_t c = 0;
      for (std::size_t j = 0; j < kChunk; ++j) c += p[j] * pw.w[j];
      h = h * pw.m8 + c;
    }
    return h;
  }

 private:
  std::vector<unsigned char> bytes_;
  std::vector<std::size_t> begin_, end_;
};

// Every path as its directory part (up to the last separator) and its name.
// The files of one directory share the first, so a pass hashes each
// directory once and each file only by its name:
//   PathHash(dir + name) = PathHash(dir) * m^len(name) + PathHash(name).
class FoldedPaths {
 public:
  explicit FoldedPaths(const FileList& files) : dir_of_(files.size()) {
    std::unordered_map<std::string_view, uint32_t> dir_index;
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::string_view path = files[i];
      const std::size_t cut = path.find_last_of("/\\") + 1;  // 0 if none
      const std::string_view dir = path.substr(0, cut);
      auto [it, added] = dir_index.emplace(dir, static_cast<uint32_t>(dirs_.size()));
      if (added) dirs_.Add(dir);
      dir_of_[i] = it->second;
      names_.Add(path.substr(cut));
      name_length_.push_back(static_cast<uint32_t>(path.size() - cut));
      longest_name_ = std::max<std::size_t>(longest_name_, path.size() - cut);
    }
  }

  // What every path shares under the multiplier of one pass.
  struct PassTables {
    std::vector<uint32_t> dir_hash;
    std::vector<uint32_t> power;  // power[k] = m^k
  };

  void Prepare(uint32_t m, const Powers& pw, PassTables* t) const {
    t->dir_hash.resize(dirs_.size());
    for (std::size_t d = 0; d < dirs_.size(); ++d) t->dir_hash[d] = dirs_.Hash(d, pw);
    t->power.resize(longest_name_ + 1);
    uint32_t p = 1;
    for (uint32_t& v : t->power) {
      v = p;
      p *= m;
    }
  }

  // The same value as PathHash of path i.
  uint32_t Hash(std::size_t i, const Powers& pw, const PassTables& t) const {
    return t.dir_hash[dir_of_[i]] * t.power[name_length_[i]] + names_.Hash(i, pw);
  }

 private:
  ChunkedStrings dirs_, names_;
  std::vector<uint32_t> dir_of_, name_length_;
  std::size_t longest_name_ = 0;
};

// The ids of one pass, in open addressing. Each slot carries the pass that
// filled it, so a new pass starts without clearing anything.
class IdSet {
 public:
  explicit IdSet(std::size_t n) {
    while ((std::size_t{1} << bits_) < 2 * n) ++bits_;
    slots_.assign(std::size_t{1} << bits_, 0);
  }

  // Fibonacci hashing: ids of small multipliers are far from uniform in
  // their low bits.
  std::size_t Home(uint32_t id) const {
    return (uint64_t{id} * 0x9E3779B97F4A7C15u) >> (64 - bits_);
  }

  void Prefetch(std::size_t home) const { __builtin_prefetch(&slots_[home]); }

  // False if id is already in the set for this pass.
  bool Insert(uint32_t id, std::size_t home, uint32_t pass) {
    const std::size_t mask = slots_.size() - 1;
    const uint64_t entry = (uint64_t{pass} << 32) | id;
    for (std::size_t at = home;; at = (at + 1) & mask) {
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

// Ids are made a batch at a time and their slots fetched ahead, so the
// set's cache misses overlap instead of following one another.
constexpr std::size_t kBatch = 16;

// Two paths whose ids agree under the 34 multipliers 2 to 35 agree under
// every multiplier: the difference of their ids is a polynomial in m with
// integer coefficients, and such a polynomial that is 0 modulo 2^32 at 34
// consecutive integers is 0 at every integer, because 2^32 divides 34!.
constexpr uint32_t kFirstWitness = 2;
constexpr std::size_t kWitnessCount = 34;
using Witnesses = std::array<uint32_t, kWitnessCount>;

Witnesses IdsUnderWitnesses(std::string_view path) {
  Witnesses ids{};
  for (std::size_t w = 0; w < kWitnessCount; ++w)
    ids[w] = PathHash(path, kFirstWitness + static_cast<uint32_t>(w));
  return ids;
}

// For order, in which alike entries stand next to each other, each group's
// first entry with each of the others, sorted.
template <typename Alike>
std::vector<std::pair<std::size_t, std::size_t>> PairEachWithFirst(
    const std::vector<std::size_t>& order, Alike alike) {
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t run = 0; run < order.size();) {
    std::size_t end = run + 1;
    while (end < order.size() && alike(order[run], order[end])) ++end;
    for (std::size_t j = run + 1; j < end; ++j) pairs.emplace_back(order[run], order[j]);
    run = end;
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> FindFoldedDuplicates(
    const FileList& files) {
  std::vector<std::string> folded(files.size());
  for (std::size_t i = 0; i < files.size(); ++i)
    for (char c : files[i])
      folded[i] += static_cast<char>(FoldPathByte(static_cast<unsigned char>(c)));
  std::vector<std::size_t> order(files.size());
  std::iota(order.begin(), order.end(), 0);
  // Stable: each group stays in index order, its first entry in front.
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return folded[a] < folded[b];
  });
  return PairEachWithFirst(order, [&](std::size_t a, std::size_t b) {
    return folded[a] == folded[b];
  });
}

std::vector<std::pair<std::size_t, std::size_t>> FindInseparablePairs(
    const FileList& files) {
  // Paths that collide under every multiplier collide under 2 and 3, so
  // those two ids leave only a few candidates to look at closely.
  std::vector<uint64_t> key(files.size());
  for (std::size_t i = 0; i < files.size(); ++i)
    key[i] = (uint64_t{PathHash(files[i], 3)} << 32) | PathHash(files[i], 2);
  std::vector<std::size_t> order(files.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return key[a] < key[b]; });

  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t run = 0; run < order.size();) {
    std::size_t end = run + 1;
    while (end < order.size() && key[order[end]] == key[order[run]]) ++end;
    if (end - run > 1) {
      std::vector<std::size_t> members(order.begin() + run, order.begin() + end);
      std::map<std::size_t, Witnesses> witnesses;
      for (std::size_t i : members) witnesses[i] = IdsUnderWitnesses(files[i]);
      std::stable_sort(members.begin(), members.end(),
                       [&](std::size_t a, std::size_t b) {
                         return witnesses[a] < witnesses[b];
                       });
      const auto found = PairEachWithFirst(members, [&](std::size_t a, std::size_t b) {
        return witnesses[a] == witnesses[b];
      });
      pairs.insert(pairs.end(), found.begin(), found.end());
    }
    run = end;
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

namespace {

// One searcher's means of trying passes: its own set and tables.
class PassTrial {
 public:
  PassTrial(const FoldedPaths& folded, std::size_t n) : folded_(folded), seen_(n), n_(n) {}

  // Whether pass makes every id distinct. Given up, as failed, once a
  // smaller pass has succeeded.
  bool Try(uint32_t pass, const Scheduler& search, uint32_t first) {
    const Powers powers(MultiplierOfPass(pass));
    folded_.Prepare(MultiplierOfPass(pass), powers, &tables_);
    // A pass ends at its first collision; most failing passes meet one long
    // before the last file.
    for (std::size_t start = 0; start < n_; start += kBatch) {
      if (!search.Needed(pass - first)) return false;
      const std::size_t end = std::min(n_, start + kBatch);
      uint32_t ids[kBatch];
      std::size_t home[kBatch];
      for (std::size_t i = start; i < end; ++i) {
        ids[i - start] = folded_.Hash(i, powers, tables_);
        home[i - start] = seen_.Home(ids[i - start]);
        seen_.Prefetch(home[i - start]);
      }
      for (std::size_t i = start; i < end; ++i)
        if (!seen_.Insert(ids[i - start], home[i - start], pass)) return false;
    }
    return true;
  }

 private:
  const FoldedPaths& folded_;
  IdSet seen_;
  FoldedPaths::PassTables tables_;
  const std::size_t n_;
};

void SetIds(const FoldedPaths& folded, uint32_t pass, RecordTable* records) {
  const Powers powers(MultiplierOfPass(pass));
  FoldedPaths::PassTables tables;
  folded.Prepare(MultiplierOfPass(pass), powers, &tables);
  for (std::size_t i = 0; i < records->size(); ++i)
    (*records)[i].id = folded.Hash(i, powers, tables);
}

// The first pass from first to last that makes every id distinct, every
// pass below it tried to its end; the threads of plan try passes at once.
std::optional<uint32_t> FirstPass(System& system, const ThreadPlan& plan, const FoldedPaths& folded,
                                  std::size_t n, Status& status, uint32_t first, uint32_t last) {
  if (last < first) return std::nullopt;
  const Scheduler* search = nullptr;  // set before any pass is tried
  Scheduler scheduler(
      system, plan,
      [&](Seat&) -> Scheduler::Task {
        return [&, trial = std::make_shared<PassTrial>(folded, n)](std::size_t i) {
          const uint32_t pass = first + static_cast<uint32_t>(i);
          if (trial->Try(pass, *search, first)) return true;
          status.PassTried(pass);
          return false;
        };
      },
      nullptr);
  search = &scheduler;
  scheduler.Known(std::size_t{last - first} + 1);
  scheduler.Finish();
  if (!scheduler.ended_by()) return std::nullopt;
  return first + static_cast<uint32_t>(*scheduler.ended_by());
}

// Passes tried on the calling thread alone before the threads join in: most
// trees need one or two, and a pass over few paths is over before a thread
// has started.
constexpr uint32_t kPassesAlone = 4;
constexpr std::size_t kPathsForWorkers = 20000;

}  // namespace

std::optional<uint32_t> GenerateHashIds(System& system, const ThreadPlan& plan,
                                        const FileList& files, RecordTable* records,
                                        Status& status, uint32_t max_pass) {
  const FoldedPaths folded(files);
  const std::size_t n = files.size();
  const uint32_t alone =
      plan.computing > 1 && n >= kPathsForWorkers ? std::min(kPassesAlone, max_pass) : max_pass;
  std::optional<uint32_t> pass = FirstPass(system, ThreadPlan{1, 0}, folded, n, status, 1, alone);
  if (!pass && alone < max_pass)
    pass = FirstPass(system, plan, folded, n, status, alone + 1, max_pass);
  if (!pass) return std::nullopt;
  SetIds(folded, *pass, records);
  return pass;
}

}  // namespace trackmeter
