// SPDX-License-Identifier: MIT
#include "app/jobs.h"

#include <algorithm>

#include "app/cpus.h"
#include "common/workers.h"

namespace trackmeter {

std::optional<unsigned> ParseJobs(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  unsigned long long n = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(*p - '0');
    if (n > kMaxWorkers) n = kMaxWorkers + 1;  // no overflow however long
  }
  if (n == 0) return std::nullopt;
  return n > kMaxWorkers ? kMaxWorkers : static_cast<unsigned>(n);
}

RunWorkers WorkersForRun(System& system, Status& status, const char* jobs) {
  unsigned workers = 0;
  if (const std::optional<unsigned> asked = ParseJobs(jobs)) {
    workers = *asked;
  } else {
    workers = std::clamp(system.CountCpus(), 1u, kMaxWorkers);
    if (const unsigned quota = CgroupCpuQuota(); quota > 0) workers = std::min(workers, quota);
    if (jobs != nullptr) status.JobsIgnored(jobs, workers);
  }
  return {system.MemoryMayBeRefused() ? 1 : workers, workers};
}

}  // namespace trackmeter
