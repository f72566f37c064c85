// SPDX-License-Identifier: MIT
#include "app/jobs.h"

#include <algorithm>
#include <cstdint>

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

namespace {

// Files waited for at once on slow storage, for each worker and in all:
// enough that a share's latency, not the workers, sets the pace, and few
// enough that the memory of the threads stays small. Nor more than a
// quarter of the files the process may hold open: a tree that a run with
// one file per worker could measure must not run out of them.
constexpr unsigned kReadersPerWorker = 8;
constexpr unsigned kMostReaders = 64;
constexpr uint32_t kOpenFilesPerReader = 4;

}  // namespace

RunWorkers WorkersForRun(System& system, const char* jobs) {
  const std::optional<unsigned> asked = ParseJobs(jobs);
  unsigned workers = 0;
  if (asked) {
    workers = *asked;
  } else {
    workers = std::clamp(system.CountCpus(), 1u, kMaxWorkers);
    if (const unsigned quota = CgroupCpuQuota(); quota > 0) workers = std::min(workers, quota);
  }
  const bool ignored = !asked && jobs != nullptr;
  if (system.MemoryMayBeRefused()) return {1, 1, workers, ignored};
  const unsigned most = static_cast<unsigned>(
      std::min<uint64_t>(kMostReaders, system.OpenFileLimit() / kOpenFilesPerReader));
  const unsigned readers = std::max(workers, std::min(kReadersPerWorker * workers, most));
  return {workers, readers, workers, ignored};
}

}  // namespace trackmeter
