// SPDX-License-Identifier: MIT
#include "catalogue/probe.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "console/console.h"

namespace trackmeter {

float ProbeDuration(Platform& platform, const std::string& path) {
  std::FILE* stream = platform.OpenForReading(path);
  if (stream == nullptr) {
    PrintCouldNotOpen(path);
    return 0.0f;
  }
  OggVorbis_File vf;
  if (ov_open(stream, &vf, nullptr, 0) != 0) {
    PrintNotOggVorbis(path);
    std::fclose(stream);  // a failed open leaves the stream to us
    return 0.0f;
  }
  const double total = ov_time_total(&vf, -1);
  // A read that failed while the library opened the file (its stream refuses
  // to serve a file many times over) leaves no trustworthy total.
  const bool read_failed = std::ferror(stream) != 0;
  ov_clear(&vf);  // also closes the stream
  if (read_failed) {
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
