// The image work of a page (one reduced decode, the 800 and 200 fits, the page thumbnail) on one
// worker and on two, next to the decode-only floor: the same pages decoded at the same reduced
// scale and thrown away.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/page_images.h"
#include "interleaved_main.h"
#include "page_generator.h"
#include "support/ordered_pool.h"

namespace {

namespace fs = std::filesystem;
using pagewend::imaging::PageImageJob;

constexpr int kPages = 16;

struct Fixture {
  fs::path dir;
  std::vector<PageImageJob> jobs;
};

Fixture& Data() {
  static Fixture fixture = [] {
    Fixture f;
    const char* base = std::getenv("PAGEWEND_BENCH_DIR");
    f.dir = fs::path(base ? base : fs::temp_directory_path().string()) / "pagewend-page-bench";
    fs::create_directories(f.dir / "out");
    const auto pages = pagewend::bench::MakePages(f.dir / "pages", kPages);
    for (std::size_t i = 0; i < pages.size(); ++i) {
      const std::string n = std::to_string(i);
      // A4 page 595 × 842 at thumbscale 0.25: a 149 × 211 thumbnail.
      f.jobs.push_back({pages[i],
                        f.dir / "out" / ("m" + n + ".jpg"),
                        f.dir / "out" / ("p" + n + ".jpg"),
                        f.dir / "out" / ("t" + n + ".png"),
                        {149, 211},
                        std::nullopt,
                        {}});
    }
    return f;
  }();
  return fixture;
}

void BM_DecodeFloor(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& job : Data().jobs) pagewend::imaging::DecodeForJob(job);
  pagewend::bench::CountMsPerPage(state, kPages);
}

void BM_PageImages(benchmark::State& state) {
  const auto workers = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    pagewend::OrderedPool pool(workers);
    for (const auto& job : Data().jobs) pool.Submit([&job] { pagewend::imaging::MakePageImages(job); }, {});
    pool.Drain();
  }
  pagewend::bench::CountMsPerPage(state, kPages);
}

BENCHMARK(BM_DecodeFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->Iterations(2);
BENCHMARK(BM_PageImages)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  return pagewend::bench::RunInterleaved(
      argc, argv, [] { Data(); },
      [] {
        std::error_code ec;
        fs::remove_all(Data().dir, ec);
      });
}
