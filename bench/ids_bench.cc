// SPDX-License-Identifier: MIT
// The id search at scale: passes, total time and time per failing pass of
// GenerateHashIds with one worker and with one per CPU, beside the plain
// search (every path hashed, sorted and checked for neighbours, every
// pass), on the same seeded paths.
//   bench-ids [N...]      (default 100000 200000 250000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "console/console_status.h"
#include "ids/hash_ids.h"
#include "platform/platform.h"
#include "seeded_paths.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

uint32_t PlainSearch(const trackmeter::FileList& files) {
  std::vector<uint32_t> ids(files.size());
  for (uint32_t pass = 1;; ++pass) {
    for (std::size_t i = 0; i < files.size(); ++i)
      ids[i] = trackmeter::PathHash(files[i], pass + 1);
    std::sort(ids.begin(), ids.end());
    if (std::adjacent_find(ids.begin(), ids.end()) == ids.end()) return pass;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes = {100000, 200000, 250000};
  if (argc > 1) {
    sizes.clear();
    for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  }
  const unsigned workers = trackmeter::SystemCalls().CountCpus();
  trackmeter::LinePrinter printer(stdout, stderr, nullptr);
  trackmeter::ConsoleStatus status(printer);
  const trackmeter::ThreadPlan one{1, 0}, all{workers, workers};
  std::printf("%-8s %7s %10s %14s %11s %10s %14s %7s\n", "paths", "passes", "search_s",
              "per_fail_us", "workers_s", "plain_s", "plain_fail_us", "ratio");
  for (std::size_t n : sizes) {
    const trackmeter::FileList files = trackmeter::SeededPaths(n, 42);
    trackmeter::RecordTable records(n), parallel(n);
    auto t0 = Clock::now();
    const auto pass = trackmeter::GenerateHashIds(trackmeter::SystemCalls(), one, files, &records, status);
    const double fast = Seconds(t0);
    t0 = Clock::now();
    const auto parallel_pass =
        trackmeter::GenerateHashIds(trackmeter::SystemCalls(), all, files, &parallel, status);
    const double shared = Seconds(t0);
    t0 = Clock::now();
    const uint32_t plain_pass = PlainSearch(files);
    const double plain = Seconds(t0);
    if (!pass || *pass != plain_pass || parallel_pass != pass) {
      std::printf("MISMATCH: search %u, %u workers %u, plain %u\n", pass ? *pass : 0, workers,
                  parallel_pass ? *parallel_pass : 0, plain_pass);
      return 1;
    }
    const double fails = *pass > 1 ? *pass - 1 : 1;
    std::printf("%-8zu %7u %10.3f %14.1f %4u:%6.3f %10.3f %14.1f %6.1fx\n", n, *pass, fast,
                fast / fails * 1e6, workers, shared, plain, plain / fails * 1e6, plain / fast);
    std::fflush(stdout);
  }
  return 0;
}
