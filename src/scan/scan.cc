#include "scan/scan.h"

#include <algorithm>
#include <vector>

namespace trackmeter {

namespace {

constexpr std::string_view kOggEnding = ".ogg";

// The directories from the base down to the one being walked.
using DescentPath = std::vector<DirectoryId>;

void Walk(Platform& platform, const std::string& dir, FileList* files,
          DescentPath* descent) {
  const std::optional<DirectoryId> id = platform.IdentifyDirectory(dir);
  if (id) {
    if (std::find(descent->begin(), descent->end(), *id) != descent->end())
      return;
    descent->push_back(*id);
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
        Walk(platform, prefix + search->Name(), files, descent);
      } else if (IsOggName(search->Name())) {
        files->push_back(prefix + search->Name());
      }
    }
  }
  search->End();

  if (id) descent->pop_back();
}

}  // namespace

bool IsOggName(std::string_view name) {
  return name.size() > kOggEnding.size() &&
         name.substr(name.size() - kOggEnding.size()) == kOggEnding;
}

void ScanDirectory(Platform& platform, const std::string& dir, FileList* files) {
  DescentPath descent;
  Walk(platform, dir, files, &descent);
}

}  // namespace trackmeter
