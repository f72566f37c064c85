// SPDX-License-Identifier: MIT
#include "scan/scan.h"

#include <algorithm>
#include <vector>

#include "console/console.h"
#include "console/progress.h"

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
    const uint64_t mixed =
        (id.inode ^ id.inode_high) * 0x9E3779B97F4A7C15u ^ id.device;
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

struct WalkState {
  // The directories from the base down to the one being walked.
  std::vector<DirectoryId> descent;
  WalkCounts walks;
};

// through_link: a link stands somewhere on dir's path.
void Walk(Platform& platform, const std::string& dir, bool through_link,
          FileList* files, WalkState* state) {
  const std::optional<DirectoryId> id = platform.IdentifyDirectory(dir);
  if (id) {
    std::vector<DirectoryId>& descent = state->descent;
    if (std::find(descent.begin(), descent.end(), *id) != descent.end()) return;
    if (through_link && state->walks.Add(*id) > kMaxWalksThroughLinks) return;
    descent.push_back(*id);
  }

  const std::string prefix = dir.empty() ? dir : dir + kPathSeparator;
  std::unique_ptr<DirectorySearch> search = platform.NewSearch();
  const Listing listing = search->Start(prefix + "*.*");
  // Named as the walk meets it: the table will lack whatever it holds.
  if (listing == Listing::kUnreadable) PrintCouldNotReadDirectory(dir.empty() ? "." : dir);
  if (listing == Listing::kEntries) {
    bool more = true;
    while (more) {
      more = search->Advance();
      if (search->IsDots()) continue;
      if (search->IsDirectory()) {
        // Descend at once: a subdirectory's files stand where it was met.
        Walk(platform, prefix + search->Name(),
             through_link || search->IsLink(), files, state);
      } else if (IsOggName(search->Name())) {
        files->push_back(prefix + search->Name());
        ShowFilesFound(files->size());
      }
    }
  }
  search->End();

  if (id) state->descent.pop_back();
}

}  // namespace

bool IsOggName(std::string_view name) {
  return name.size() > kOggEnding.size() &&
         name.substr(name.size() - kOggEnding.size()) == kOggEnding;
}

void ScanDirectory(Platform& platform, const std::string& dir,
                   FileList* files) {
  WalkState state;
  Walk(platform, dir, false, files, &state);
}

}  // namespace trackmeter
