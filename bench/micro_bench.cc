// SPDX-License-Identifier: MIT
// Micro figures: PathHash per byte, and one pass of the id search.
#include <benchmark/benchmark.h>

#include "console/console_status.h"
#include "ids/hash_ids.h"
#include "seeded_paths.h"

namespace {

void BM_PathHash(benchmark::State& state) {
  const std::string path(static_cast<std::size_t>(state.range(0)), 'a');
  uint32_t m = 3;
  for (auto _ : state) {
    benchmark::DoNotOptimize(trackmeter::PathHash(path, m));
    m += 2;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_PathHash)->Arg(16)->Arg(64)->Arg(256);

// One call with max_pass 1: folding and grouping the paths, then one pass
// (which ends early if it meets a collision).
void BM_OnePass(benchmark::State& state) {
  const auto files = trackmeter::SeededPaths(static_cast<std::size_t>(state.range(0)), 3);
  trackmeter::RecordTable records(files.size());
  trackmeter::LinePrinter printer(stdout, stderr, nullptr);
  trackmeter::ConsoleStatus status(printer);
  for (auto _ : state)
    benchmark::DoNotOptimize(trackmeter::GenerateHashIds(trackmeter::SystemCalls(), trackmeter::ThreadPlan{1, 0}, files, &records, status, 1));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_OnePass)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
