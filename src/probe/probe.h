// SPDX-License-Identifier: MIT
// Playing times, measured through the vorbisfile library.
#ifndef TRACKMETER_PROBE_PROBE_H_
#define TRACKMETER_PROBE_PROBE_H_

#include <string>

#include "common/types.h"
#include "common/workers.h"
#include "platform/platform.h"
#include "probe/ogg_stream.h"

namespace trackmeter {

// What one probe keeps from one file to the next: the system it opens
// files through, the worker's seat it lets go of while it waits for a
// file's bytes, and its stream's buffers. One per thread.
struct Prober {
  Prober(System& s, Seat& worker_seat) : system(s), seat(worker_seat) {}
  System& system;
  Seat& seat;
  StreamBuffers buffers;
};

// What probing one file gave.
struct ProbeResult {
  Outcome outcome;
  float seconds;  // 0 unless measured
};

// The total playing time of the Ogg Vorbis file at path, every chained
// stream included. The file is closed before it returns. Throws
// std::bad_alloc when memory is short before the library starts (where
// memory may be refused), or after it refused the file, and
// DescriptorShortage for want of file descriptors.
ProbeResult ProbeDuration(Prober& prober, const std::string& path);

}  // namespace trackmeter

#endif  // TRACKMETER_PROBE_PROBE_H_
