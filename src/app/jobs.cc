// SPDX-License-Identifier: MIT
#include "app/jobs.h"

#include <cstdlib>

#include "catalogue/workers.h"
#include "console/console.h"
#include "platform/platform.h"

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

unsigned WorkersForRun() {
  const char* const text = std::getenv("TRACKMETER_JOBS");
  if (text != nullptr) {
    if (const std::optional<unsigned> jobs = ParseJobs(text)) return *jobs;
  }
  const unsigned cpus = AvailableCpus();
  if (text != nullptr) PrintJobsIgnored(text, cpus);
  return cpus;
}

}  // namespace trackmeter
