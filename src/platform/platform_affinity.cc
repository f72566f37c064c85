// SPDX-License-Identifier: MIT
// The CPUs of the affinity mask where the system has sched_getaffinity
// (Linux): apart, so that the POSIX side holds POSIX and BSD calls only.
#if TRACKMETER_HAVE_SCHED_GETAFFINITY
#include <sched.h>

#include <cerrno>
#include <cstddef>
#endif

namespace trackmeter {

unsigned CpusInAffinityMask() {
#if TRACKMETER_HAVE_SCHED_GETAFFINITY
  // Room for any number of CPUs: grow the set until the call takes it.
  for (int cpus = 1024; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) return 0;
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    const bool got = sched_getaffinity(0, size, set) == 0;
    const int count = got ? CPU_COUNT_S(size, set) : 0;
    CPU_FREE(set);
    if (got) return static_cast<unsigned>(count);
    if (errno != EINVAL) return 0;
  }
#endif
  return 0;
}

}  // namespace trackmeter
