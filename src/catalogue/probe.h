// SPDX-License-Identifier: MIT
// Playing times, measured through the vorbisfile library.
#ifndef TRACKMETER_CATALOGUE_PROBE_H_
#define TRACKMETER_CATALOGUE_PROBE_H_

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/ogg_stream.h"
#include "platform/platform.h"

namespace trackmeter {

// What one probe keeps from one file to the next: the platform it opens
// files through and its stream's buffers. One per thread.
struct Prober {
  explicit Prober(Platform& p) : platform(p) {}
  Platform& platform;
  StreamBuffers buffers;
};

// What probing one file gave.
struct ProbeResult {
  enum class Outcome {
    kMeasured,
    kCouldNotOpen,  // missing, no permission, or no regular file
    kNotOggVorbis,  // the library does not take it, or a read failed
  };
  Outcome outcome;
  float seconds;  // 0 unless measured
};

// The total playing time of the Ogg Vorbis file at path, every chained
// stream included. Prints nothing; the file is closed before it returns.
// Throws ResourceShortage when memory is short before the library starts,
// or after it refused the file, and for want of file descriptors.
ProbeResult ProbeDuration(Prober& prober, const std::string& path);

}  // namespace trackmeter

#endif  // TRACKMETER_CATALOGUE_PROBE_H_
