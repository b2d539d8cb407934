#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

namespace pagewend::bench {

// Reports each iteration's time per page of the pages it works through, in milliseconds.
inline void CountMsPerPage(benchmark::State& state, int pages) {
  state.counters["ms_per_page"] =
      benchmark::Counter(static_cast<double>(pages) * 1e-3,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Runs the registered benchmarks with their repetitions interleaved, so that drifts in the
// machine's speed hit a benchmark and its anchor alike. prepare makes the data before the first
// run; cleanup removes it after the last.
inline int RunInterleaved(int argc, char** argv, const std::function<void()>& prepare,
                          const std::function<void()>& cleanup) {
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  prepare();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  cleanup();
  return 0;
}

}  // namespace pagewend::bench
