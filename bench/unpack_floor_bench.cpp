// Unpacking against the decode floor: a 16-page book of A4 scans (300 dpi, JPEG quality 85),
// each page's image and its mobile image separate records, unpacked as `extract` does on one
// worker and on two, next to the floor: the same JPEGs decoded at quarter scale by libjpeg-turbo's
// scaled DCT and thrown away. BM_ExtractCommand runs the tool itself, its start and end included.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "book/unpack_run.h"
#include "interleaved_main.h"
#include "package/package_writer.h"
#include "page_generator.h"
#include "support/file_copy.h"
#include "support/folder_tree.h"
#include "support/large_buffers.h"
#include "support/notifier.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPages = 16;

struct Fixture {
  fs::path dir;
  std::vector<std::string> jpegs;
};

Fixture& Data() {
  static Fixture fixture;
  return fixture;
}

std::string ReadAll(const fs::path& path) {
  std::string bytes(fs::file_size(path), '\0');
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
    throw std::runtime_error("cannot read " + path.string());
  std::fclose(file);
  return bytes;
}

void Prepare() {
  Fixture& f = Data();
  const char* base = std::getenv("PAGEWEND_BENCH_DIR");
  f.dir = fs::path(base ? base : fs::temp_directory_path().string()) / "pagewend-unpack-floor-bench";
  fs::create_directories(f.dir);
  const auto pages = pagewend::bench::MakePages(f.dir / "pages", kPages, 85);
  pagewend::package::PackageWriter writer(f.dir / "book.pkg");
  std::string xml;
  for (int i = 0; i < kPages; ++i) {
    f.jpegs.push_back(ReadAll(pages[static_cast<std::size_t>(i)]));
    const auto image = writer.AddRecord(f.jpegs.back());
    const auto mobile = writer.AddRecord(f.jpegs.back());
    xml += fmt::format(
        R"(<page mobilefile2="res\pages\m{0}.jpg" mobilefile1="m.jpg" photoviewthumb="t.jpg" )"
        R"(pos_mobilefile2="{1}" size_mobilefile2="{2}"><elem><img src="res\pages\p{0}.jpg" left="0" top="0" )"
        R"(width="595" height="842" pos_="{3}" size_="{4}"/></elem></page>)",
        i + 1, mobile.pos, mobile.size, image.pos, image.size);
  }
  writer.Finish(R"(<book pagewidth="595" pageheight="842" thumbscale="0.25"><Chapters><chapter><Pages>)" +
                    xml + "</Pages></chapter></Chapters></book>",
                "<project><exetitle>Scans</exetitle></project>");
}

void DecodeQuarter(const std::string& bytes, std::vector<unsigned char>& buffer) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&info, TRUE);
  info.scale_num = 1;
  info.scale_denom = 4;
  info.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&info);
  const std::size_t stride = static_cast<std::size_t>(info.output_width) * 4;
  buffer.resize(stride * info.output_height);
  while (info.output_scanline < info.output_height) {
    unsigned char* row = buffer.data() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
}

void BM_DecodeFloor(benchmark::State& state) {
  std::vector<unsigned char> buffer;
  for (auto _ : state)
    for (const std::string& jpeg : Data().jpegs) DecodeQuarter(jpeg, buffer);
  pagewend::bench::CountMsPerPage(state, kPages);
}

class Quiet final : public pagewend::book::BookListener, public pagewend::Notifier {
 public:
  void BookTitle(const std::string&) override {}
  void BookProgress(int, int) override {}
  void BookLoaded(const pagewend::book::UnpackedBook&) override {}
  void Notify(std::string_view) override {}
};

void BM_Extract(benchmark::State& state) {
  const fs::path out = Data().dir / "out";
  for (auto _ : state) {
    Quiet quiet;
    pagewend::book::UnpackSetup setup;
    setup.bookFile = Data().dir / "book.pkg";
    setup.workingFolder = out;
    setup.options.jobs = static_cast<unsigned>(state.range(0));
    {
      pagewend::book::UnpackRun run(std::move(setup), quiet, quiet);
      if (!run.Run()) state.SkipWithError("the book did not load");
    }
    state.PauseTiming();
    pagewend::DeleteFolderTree(out);
    state.ResumeTiming();
  }
  pagewend::bench::CountMsPerPage(state, kPages);
}

void BM_ExtractCommand(benchmark::State& state) {
  const fs::path out = Data().dir / "command-out";
  for (auto _ : state) {
    pagewend::bench::RunProgram({PAGEWEND_TOOL_PATH, "extract", "--jobs", std::to_string(state.range(0)),
                                 (Data().dir / "book.pkg").string(), "-o", out.string()});
    state.PauseTiming();
    pagewend::DeleteFolderTree(out);
    state.ResumeTiming();
  }
  pagewend::bench::CountMsPerPage(state, kPages);
}

// Each on 1 and 2 workers, with the floor's timing.
void OnOneAndTwoWorkers(benchmark::internal::Benchmark* b) {
  b->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->Iterations(3);
}

BENCHMARK(BM_DecodeFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->Iterations(3);
BENCHMARK(BM_Extract)->Apply(OnOneAndTwoWorkers);
BENCHMARK(BM_ExtractCommand)->Apply(OnOneAndTwoWorkers);

}  // namespace

int main(int argc, char** argv) {
  pagewend::KeepLargeBuffers();  // as the tool does
  return pagewend::bench::RunInterleaved(argc, argv, Prepare, [] { fs::remove_all(Data().dir); });
}
