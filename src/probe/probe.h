// SPDX-License-Identifier: MIT
// Playing times, measured through the vorbisfile library.
#ifndef TRACKMETER_PROBE_PROBE_H_
#define TRACKMETER_PROBE_PROBE_H_

#include <string>

#include "common/types.h"
#include "common/scheduler.h"
#include "platform/platform.h"
#include "probe/ogg_pages.h"
#include "probe/ogg_stream.h"

namespace trackmeter {

// The stack of a thread that measures: enough for the deepest file the
// library is shown, since it recurses once for every chained stream (about
// 300 bytes each, on x86-64).
constexpr std::size_t kStackPerStream = 1024;
constexpr std::size_t kProbeStack = (256 << 10) + kStackPerStream * kMaxChainedStreams;

// Whether memory can be refused before the machine runs out: a limit on
// the process, or a kernel that never overcommits (Linux's mode 2).
bool MemoryMayBeRefused(System& system);

// What one probe keeps from one file to the next: the system it opens
// files through, the thread's seat it lets go of while it waits for a
// file's bytes, whether memory may be refused, and its stream's buffers.
// One per thread.
struct Prober {
  Prober(System& s, Seat& thread_seat, bool check) : system(s), seat(thread_seat), headroom(check) {}
  System& system;
  Seat& seat;
  const bool headroom;
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
// memory may be refused), or after it refused the file, or when the
// calling thread measures a chained file its stack cannot hold, and
// DescriptorShortage for want of file descriptors.
ProbeResult ProbeDuration(Prober& prober, const std::string& path);

}  // namespace trackmeter

#endif  // TRACKMETER_PROBE_PROBE_H_
