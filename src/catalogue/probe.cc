// SPDX-License-Identifier: MIT
#include "catalogue/probe.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "console/console.h"

namespace trackmeter {

namespace {

// More than the library needs for any common file (about 100 KiB of headers
// and codebooks), with the stream's windows.
constexpr std::size_t kProbeHeadroom = 2 << 20;

// Many of the library's allocations go unchecked, and a failed one may
// crash it; the others come back as a file it cannot open. So it never
// starts on a file short of this headroom, and a file it refuses once the
// headroom is gone was refused for want of memory, not for its bytes.
void RequireHeadroom(Platform& platform) {
  if (!platform.MemoryAvailable(kProbeHeadroom)) ThrowShortage(Resource::kMemory);
}

}  // namespace

float ProbeDuration(Platform& platform, const std::string& path) {
  RequireHeadroom(platform);
  std::FILE* stream = platform.OpenForReading(path);
  if (stream == nullptr) {
    PrintCouldNotOpen(path);
    return 0.0f;
  }
  OggVorbis_File vf;
  if (ov_open(stream, &vf, nullptr, 0) != 0) {
    std::fclose(stream);  // a failed open leaves the stream to us
    RequireHeadroom(platform);
    PrintNotOggVorbis(path);
    return 0.0f;
  }
  const double total = ov_time_total(&vf, -1);
  // A read that failed while the library opened the file (its stream refuses
  // to serve a file many times over) leaves no trustworthy total.
  const bool read_failed = std::ferror(stream) != 0;
  ov_clear(&vf);  // also closes the stream
  if (read_failed) {
    RequireHeadroom(platform);
    PrintNotOggVorbis(path);
    return 0.0f;
  }
  // A negative total is the library's error value, not a time.
  return total < 0.0 ? 0.0f : static_cast<float>(total);
}

RecordTable ComputeDurations(Platform& platform, const FileList& files) {
  RecordTable records(files.size());
  for (std::size_t i = 0; i < files.size(); ++i)
    records[i].seconds = ProbeDuration(platform, files[i]);
  return records;
}

}  // namespace trackmeter
