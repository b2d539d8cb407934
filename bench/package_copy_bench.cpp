// Copies every record of a ~1 GiB package to its own file through the package reader, next to
// bare copy_file_range calls on the same slices (the anchor). Peak memory is reported for two
// record sizes: it must not follow the record size.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "interleaved_main.h"
#include "package/package_format.h"
#include "package_generator.h"
#include "support/file_copy.h"

namespace {

namespace fs = std::filesystem;
using pagewend::package::RecordRef;

struct Fixture {
  fs::path dir;
  std::map<std::size_t, std::vector<RecordRef>> refs;  // by record size
};

Fixture& Data() {
  static Fixture fixture = [] {
    Fixture f;
    const char* base = std::getenv("PAGEWEND_BENCH_DIR");
    f.dir = fs::path(base ? base : fs::temp_directory_path().string()) / "pagewend-copy-bench";
    fs::create_directories(f.dir / "out");
    f.refs[500 << 10] = pagewend::bench::MakePackage(f.dir / "small.pkg", 2000, 500 << 10);
    f.refs[50 << 20] = pagewend::bench::MakePackage(f.dir / "large.pkg", 20, 50 << 20);
    return f;
  }();
  return fixture;
}

double PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

fs::path PackagePath(std::size_t recordSize) {
  return Data().dir / (recordSize == (500u << 10) ? "small.pkg" : "large.pkg");
}

void BM_ReaderCopy(benchmark::State& state) {
  const auto recordSize = static_cast<std::size_t>(state.range(0));
  const auto& refs = Data().refs.at(recordSize);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    const pagewend::package::PackageFile file(PackagePath(recordSize));
    for (std::size_t i = 0; i < refs.size(); ++i) {
      const auto slice = pagewend::package::ResolvePlainRecord(file, refs[i], "record");
      file.CopyTo(slice, Data().dir / "out" / (std::to_string(i) + ".bin"), "record");
      bytes += slice.length;
    }
  }
  state.SetBytesProcessed(bytes);
  state.counters["peak_rss_MiB"] = PeakRssMiB();
}

void BM_CopyFileRangeAnchor(benchmark::State& state) {
  const auto recordSize = static_cast<std::size_t>(state.range(0));
  const auto& refs = Data().refs.at(recordSize);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    const int in = ::open(PackagePath(recordSize).c_str(), O_RDONLY);
    for (std::size_t i = 0; i < refs.size(); ++i) {
      const fs::path out = Data().dir / "out" / (std::to_string(i) + ".bin");
      const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      off_t from = refs[i].pos - refs[i].size;
      std::size_t left = static_cast<std::size_t>(refs[i].size - 4);
      while (left > 0) {
        const ssize_t n = ::copy_file_range(in, &from, fd, nullptr, left, 0);
        if (n <= 0) std::abort();
        left -= static_cast<std::size_t>(n);
      }
      ::close(fd);
      bytes += refs[i].size - 4;
    }
    ::close(in);
  }
  state.SetBytesProcessed(bytes);
  state.counters["peak_rss_MiB"] = PeakRssMiB();
}

BENCHMARK(BM_CopyFileRangeAnchor)
    ->Arg(500 << 10)
    ->Arg(50 << 20)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ReaderCopy)
    ->Arg(500 << 10)
    ->Arg(50 << 20)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return pagewend::bench::RunInterleaved(
      argc, argv, [] { Data(); },
      [] {
        std::error_code ec;
        fs::remove_all(Data().dir, ec);
      });
}
