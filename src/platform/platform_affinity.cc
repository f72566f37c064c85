// SPDX-License-Identifier: MIT
// The CPUs of the affinity mask where the system has sched_getaffinity
// (Linux): apart, so that the POSIX side holds POSIX and BSD calls only.
#if TRACKMETER_HAVE_SCHED_GETAFFINITY
#include <sched.h>
#endif

namespace trackmeter {

// A kernel of more CPUs than a set holds (1,024) refuses it: the caller
// then counts those online.
unsigned CpusInAffinityMask() {
#if TRACKMETER_HAVE_SCHED_GETAFFINITY
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
  return 0;
}

}  // namespace trackmeter
