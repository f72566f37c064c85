// SPDX-License-Identifier: MIT
#include "app/jobs.h"

#include <algorithm>

#include "app/cpus.h"
#include "probe/probe.h"

namespace trackmeter {

std::optional<unsigned> ParseJobs(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  unsigned long long n = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(*p - '0');
    if (n > kMaxJobs) n = kMaxJobs + 1;  // no overflow however long
  }
  if (n == 0) return std::nullopt;
  return n > kMaxJobs ? kMaxJobs : static_cast<unsigned>(n);
}

namespace {

// Files waited for at once on slow storage, for each task computing and in
// all: enough that a share's latency, not the threads, sets the pace, and
// few enough that the memory of the threads stays small.
constexpr unsigned kReadersPerJob = 8;
constexpr unsigned kMostReaders = 64;

}  // namespace

RunPlan PlanRun(System& system, const char* jobs) {
  const std::optional<unsigned> asked = ParseJobs(jobs);
  unsigned n = 0;
  if (asked) {
    n = *asked;
  } else {
    n = std::clamp(system.CountCpus(), 1u, kMaxJobs);
    if (const unsigned quota = CgroupCpuQuota(); quota > 0) n = std::min(n, quota);
  }
  RunPlan plan;
  plan.ids = ThreadPlan{n, n > 1 ? n : 0, true, kProbeStack};
  plan.check_headroom = MemoryMayBeRefused(system);
  plan.jobs_ignored = !asked && jobs != nullptr;
  const unsigned readers = std::max(n, std::min(kReadersPerJob * n, kMostReaders));
  // One file for each thread, one for the walk beside them.
  const unsigned files = system.FreeDescriptors(readers + 1);
  if (plan.check_headroom || files < 2) {
    plan.measure = ThreadPlan{1, 1, false, kProbeStack};
  } else {
    const unsigned most = std::min(readers, files - 1);
    plan.measure = ThreadPlan{std::min(n, most), most, true, kProbeStack};
  }
  return plan;
}

}  // namespace trackmeter
