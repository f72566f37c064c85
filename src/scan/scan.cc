// SPDX-License-Identifier: MIT
#include "scan/scan.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/shortage.h"

namespace trackmeter {

namespace {

constexpr std::string_view kOggEnding = ".ogg";

// A folder's own path, the one without a link on it, is always walked. A
// folder reached by a link beside it, or by two links, is listed under each
// of those paths too; past this many walks through links it is passed over,
// so that links which fan out (two per level, ten levels deep: a thousand
// paths) cost no more than the tree itself.
constexpr int kMaxWalksThroughLinks = 2;

// How often each directory was walked through a link, in one flat table. A node per
// directory would leave the heap full of small holes among the paths found,
// and the library's many allocations for every file would be slower in them.
class WalkCounts {
 public:
  // Counts one more walk of id; returns how many there have been.
  int Add(const DirectoryId& id) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    Slot& slot = Find(&slots_, id);
    if (slot.count == 0) {
      slot.id = id;
      ++used_;
    }
    return ++slot.count;
  }

 private:
  struct Slot {
    DirectoryId id;
    int count = 0;
  };

  static Slot& Find(std::vector<Slot>* slots, const DirectoryId& id) {
    const std::size_t mask = slots->size() - 1;
    const uint64_t mixed = (id.inode ^ id.inode_high) * 0x9E3779B97F4A7C15u ^ id.device;
    for (std::size_t at = (mixed >> 20) & mask;; at = (at + 1) & mask) {
      Slot& slot = (*slots)[at];
      if (slot.count == 0 || slot.id == id) return slot;
    }
  }

  void Grow() {
    std::vector<Slot> bigger(std::max<std::size_t>(256, 2 * slots_.size()));
    for (const Slot& slot : slots_)
      if (slot.count != 0) Find(&bigger, slot.id) = slot;
    slots_.swap(bigger);
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

// The walk keeps its own stack of the directories from the base down, so
// that its depth costs heap, not the thread's stack.
struct Walk {
  System& system;
  Status& status;
  const std::function<void(std::string)>& found;
  std::size_t count = 0;
  struct Level {
    std::string prefix;  // its path and a separator; "" for the base
    std::vector<RawEntry> entries;
    std::size_t next = 0;  // the entry to look at next
    bool through_link;     // a link stands somewhere on its path
    bool known;            // its id is on descent
  };
  std::vector<Level> levels;
  std::vector<DirectoryId> descent;  // of the levels whose id is known
  WalkCounts walks;

  void Run(const std::string& dir) {
    Enter(dir, false);
    while (!levels.empty()) {
      Level& level = levels.back();
      if (level.next == level.entries.size()) {
        if (level.known) descent.pop_back();
        levels.pop_back();
        continue;
      }
      const RawEntry& e = level.entries[level.next++];
      if (e.name == "." || e.name == "..") continue;
      if (e.kind == Kind::kDirectory) {
        // Descend at once: a subdirectory's files stand where it was met.
        Enter(level.prefix + e.name, level.through_link || e.link);
      } else if (IsOggName(e.name)) {
        found(level.prefix + e.name);
        status.FileFound(++count);
      }
    }
  }

  // Lists dir and puts it on top of the stack, unless it is being walked
  // already, was walked too often through links, or cannot be listed.
  void Enter(const std::string& dir, bool through_link) {
    DirectoryId id;
    const Error identified = system.IdentifyDirectory(dir, &id);
    ThrowIfShortage(identified);
    const bool known = identified == Error::kNone;
    if (known) {
      if (std::find(descent.begin(), descent.end(), id) != descent.end()) return;
      if (through_link && walks.Add(id) > kMaxWalksThroughLinks) return;
    }
    std::vector<RawEntry> entries;
    const Error listed = system.ListDirectory(dir, &entries);
    ThrowIfShortage(listed);
    // Named as the walk meets it: the table will lack whatever it holds. A
    // directory removed or replaced by a file meanwhile is a race, no fault.
    if (listed != Error::kNone && listed != Error::kNotFound)
      status.DirectoryUnreadable(dir.empty() ? "." : dir);
    if (listed != Error::kNone) return;
    // Byte order, so that a run prints its lines in the same order on every
    // machine, whatever order the file system keeps.
    std::sort(entries.begin(), entries.end(),
              [](const RawEntry& a, const RawEntry& b) { return a.name < b.name; });
    levels.push_back(
        {dir.empty() ? dir : dir + kPathSeparator, std::move(entries), 0, through_link, known});
    if (known) descent.push_back(id);
  }
};

}  // namespace

bool IsOggName(std::string_view name) {
  return name.size() > kOggEnding.size() &&
         name.substr(name.size() - kOggEnding.size()) == kOggEnding;
}

void ScanDirectory(System& system, Status& status, const std::string& dir,
                   const std::function<void(std::string)>& found) {
  Walk{system, status, found, 0, {}, {}, {}}.Run(dir);
}

}  // namespace trackmeter
