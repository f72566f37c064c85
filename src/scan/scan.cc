// SPDX-License-Identifier: MIT
#include "scan/scan.h"

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <vector>

namespace trackmeter {

namespace {

constexpr std::string_view kOggEnding = ".ogg";

// A folder reached by a link beside the real one, or by two links, is
// listed under each of its paths; past this many walks it is passed over,
// so that links which fan out (two per level, ten levels deep: a thousand
// paths) cost no more than the tree itself.
constexpr int kMaxWalksPerDirectory = 3;

struct DirectoryIdHash {
  std::size_t operator()(const DirectoryId& id) const {
    return std::hash<uint64_t>()((id.inode ^ id.inode_high) * 0x9E3779B97F4A7C15u ^
                                 id.device);
  }
};

struct WalkState {
  // The directories from the base down to the one being walked.
  std::vector<DirectoryId> descent;
  std::unordered_map<DirectoryId, int, DirectoryIdHash> walks;
};

void Walk(Platform& platform, const std::string& dir, FileList* files,
          WalkState* state) {
  const std::optional<DirectoryId> id = platform.IdentifyDirectory(dir);
  if (id) {
    std::vector<DirectoryId>& descent = state->descent;
    if (std::find(descent.begin(), descent.end(), *id) != descent.end()) return;
    if (++state->walks[*id] > kMaxWalksPerDirectory) return;
    descent.push_back(*id);
  }

  const std::string prefix = dir.empty() ? dir : dir + kPathSeparator;
  std::unique_ptr<DirectorySearch> search = platform.NewSearch();
  if (search->Start(prefix + "*.*")) {
    bool more = true;
    while (more) {
      more = search->Advance();
      if (search->IsDots()) continue;
      if (search->IsDirectory()) {
        // Descend at once: a subdirectory's files stand where it was met.
        Walk(platform, prefix + search->Name(), files, state);
      } else if (IsOggName(search->Name())) {
        files->push_back(prefix + search->Name());
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

void ScanDirectory(Platform& platform, const std::string& dir, FileList* files) {
  WalkState state;
  Walk(platform, dir, files, &state);
}

}  // namespace trackmeter
