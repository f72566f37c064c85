// SPDX-License-Identifier: MIT
// Playing times, measured through the vorbisfile library.
#ifndef TRACKMETER_CATALOGUE_PROBE_H_
#define TRACKMETER_CATALOGUE_PROBE_H_

#include <string>

#include "catalogue/catalogue.h"
#include "platform/platform.h"

namespace trackmeter {

// The total playing time of the Ogg Vorbis file at path, every chained
// stream included. 0.0 when it cannot be measured; then one error line names
// path: it could not be opened (or is no regular file), or the library does
// not take it as Ogg Vorbis. Throws ResourceShortage when memory is short
// before the library starts, or after it refused the file.
float ProbeDuration(Platform& platform, const std::string& path);

// One record per entry of files, in the same order, with its seconds set.
RecordTable ComputeDurations(Platform& platform, const FileList& files);

}  // namespace trackmeter

#endif  // TRACKMETER_CATALOGUE_PROBE_H_
