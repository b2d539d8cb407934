// The PDF export of generated books of A4 JPEG scans (300 dpi), next to img2pdf (the anchor)
// over the same JPEG files (each page with a search text, as most books have), interleaved in
// one run: the core's writer alone, img2pdf, and the
// whole `pagewend export --pdf` command with its peak memory for 300 and 1,000 pages. The PDF's
// size is reported against the bytes of the page images it holds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "book/unpack_run.h"
#include "interleaved_main.h"
#include "page_generator.h"
#include "pdf/pdf_book.h"

namespace {

namespace fs = std::filesystem;

class Quiet : public pagewend::book::BookListener, public pagewend::Notifier {
 public:
  void BookTitle(const std::string&) override {}
  void BookProgress(int, int) override {}
  void BookLoaded(const pagewend::book::UnpackedBook&) override {}
  void Notify(std::string_view) override {}
};

struct Book {
  fs::path package;
  fs::path unpacked;
  std::optional<pagewend::book::UnpackedBook> loaded;
  std::vector<std::string> jpegs;
  std::uintmax_t imageBytes = 0;
};

struct Fixture {
  fs::path dir;
  std::map<int, Book> books;  // by page count
};

Fixture& Data() {
  static Fixture fixture = [] {
    Fixture f;
    const char* base = std::getenv("PAGEWEND_BENCH_DIR");
    f.dir = fs::path(base ? base : fs::temp_directory_path().string()) / "pagewend-pdf-bench";
    fs::remove_all(f.dir);
    fs::create_directories(f.dir);
    for (const int pages : {300, 1000}) {
      Book& b = f.books[pages];
      b.package = f.dir / ("book-" + std::to_string(pages) + ".exe");
      b.unpacked = f.dir / ("run-" + std::to_string(pages));
      pagewend::bench::MakeBook(b.package, pages, {}, /*searchTexts=*/true);
      Quiet quiet;
      pagewend::book::UnpackSetup setup;
      setup.bookFile = b.package;
      setup.workingFolder = b.unpacked;
      setup.options.pageImages = false;
      pagewend::book::UnpackRun run(std::move(setup), quiet, quiet);
      b.loaded = run.Run();
      if (!b.loaded) std::abort();
      for (const auto& page : b.loaded->book.pages)
        for (const auto& part : page.parts) {
          b.jpegs.push_back(part.file.string());
          b.imageBytes += fs::file_size(part.file);
        }
    }
    return f;
  }();
  return fixture;
}

// Runs a program to its end under /usr/bin/time; its peak resident memory in MiB. The child of
// a spawn carries the spawning process's high-water mark into its own until it execs, so the
// program is measured as the child of a small one.
double Spawn(const std::vector<std::string>& program) {
  const std::string report = (Data().dir / "peak.txt").string();
  std::vector<std::string> args{"/usr/bin/time", "-f", "%M", "-o", report};
  args.insert(args.end(), program.begin(), program.end());
  pagewend::bench::RunProgram(std::move(args));
  std::ifstream in(report);
  double kib = 0;
  in >> kib;
  return kib / 1024.0;
}

void SizeCounters(benchmark::State& state, const Book& b, const fs::path& pdf) {
  const auto size = static_cast<double>(fs::file_size(pdf));
  state.counters["pdf_MiB"] = size / (1 << 20);
  state.counters["size_over_images"] = size / static_cast<double>(b.imageBytes);
  state.counters["KiB_beyond_images"] = (size - static_cast<double>(b.imageBytes)) / 1024;
}

void BM_WritePdfBook(benchmark::State& state) {
  const Book& b = Data().books.at(static_cast<int>(state.range(0)));
  const fs::path pdf = Data().dir / "core.pdf";
  pagewend::SilentNotifier silent;
  for (auto _ : state) pagewend::pdf::WritePdfBook(b.loaded->book, b.unpacked, pdf, silent);
  SizeCounters(state, b, pdf);
}

void BM_Img2pdfAnchor(benchmark::State& state) {
  const Book& b = Data().books.at(static_cast<int>(state.range(0)));
  const fs::path pdf = Data().dir / "img2pdf.pdf";
  std::vector<std::string> args{"img2pdf", "-o", pdf.string()};
  args.insert(args.end(), b.jpegs.begin(), b.jpegs.end());
  double peak = 0;
  for (auto _ : state) peak = Spawn(args);
  SizeCounters(state, b, pdf);
  state.counters["peak_rss_MiB"] = peak;
}

// The whole command, unpacking included.
void BM_ToolExportPdf(benchmark::State& state) {
  const Book& b = Data().books.at(static_cast<int>(state.range(0)));
  const fs::path pdf = Data().dir / "tool.pdf";
  double peak = 0;
  for (auto _ : state)
    peak = Spawn({PAGEWEND_TOOL_PATH, "export", "--pdf", b.package.string(), "-o", pdf.string(), "--force"});
  SizeCounters(state, b, pdf);
  state.counters["peak_rss_MiB"] = peak;
}

BENCHMARK(BM_Img2pdfAnchor)
    ->Arg(300)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_WritePdfBook)
    ->Arg(300)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ToolExportPdf)
    ->Arg(300)
    ->Arg(1000)
    ->Iterations(1)
    ->Repetitions(3)
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
