#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

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

// Runs a program to its end, its output thrown away; a program that cannot start or fails ends
// the benchmark.
inline void RunProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::abort();
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
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
