// One hostile page image through MakePageImages, for measuring under /usr/bin/time -v:
//   hostile_jpeg KIND FOLDER [PAGES [WORKERS]]
// KIND is "claims" (a 2 KB progressive CMYK JPEG claiming 16384 x 16384), "scans" (a flat
// 4096 x 4096 progressive JPEG of 3000 scans) or "baseline" (a sequential CMYK JPEG claiming
// 16384 x 16384). PAGES copies of it are made on WORKERS workers (default 1 and 1); the outcome
// of each page and the wall time are printed.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "imaging/page_images.h"
#include "support/ordered_pool.h"
#include "testing/jpeg_bytes.h"

namespace {

namespace fs = std::filesystem;
using namespace pagewend;

std::string Hostile(const std::string& kind) {
  if (kind == "claims") {
    auto picture = testing::PatternPicture(16, 16, 4);
    picture.progressive = true;
    return testing::ClaimingSize(testing::CompressJpeg(picture), 16384, 16384);
  }
  if (kind == "scans") {
    auto picture = testing::PatternPicture(4096, 4096, 3, /*flat=*/true);
    picture.progressive = true;
    return testing::WithScans(testing::CompressJpeg(picture), 3000);
  }
  if (kind == "baseline")
    return testing::ClaimingSize(testing::CompressJpeg(testing::PatternPicture(16, 16, 4)), 16384, 16384);
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || Hostile(argv[1]).empty()) {
    std::fprintf(stderr, "usage: %s claims|scans|baseline FOLDER [PAGES [WORKERS]]\n", argv[0]);
    return 2;
  }
  const fs::path folder = argv[2];
  const int pages = argc > 3 ? std::stoi(argv[3]) : 1;
  const unsigned workers = argc > 4 ? static_cast<unsigned>(std::stoi(argv[4])) : 1;
  fs::create_directories(folder);
  const std::string bytes = Hostile(argv[1]);
  const fs::path source = folder / "mobile.jpg";
  std::ofstream(source, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::printf("%s: %zu bytes, %d pages on %u workers\n", argv[1], bytes.size(), pages, workers);

  std::mutex printing;
  const auto start = std::chrono::steady_clock::now();
  {
    OrderedPool pool(workers);
    for (int i = 0; i < pages; ++i) {
      pool.Submit(
          [&, i] {
            const std::string n = std::to_string(i);
            const imaging::PageImageJob job{source,
                                            folder / ("m" + n + ".jpg"),
                                            folder / ("p" + n + ".jpg"),
                                            folder / ("t" + n + ".png"),
                                            {149, 211},
                                            std::nullopt,
                                            {}};
            const auto began = std::chrono::steady_clock::now();
            std::string outcome = "made";
            try {
              imaging::MakePageImages(job);
            } catch (const imaging::ImageError& e) {
              outcome = e.what();
            }
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
            const std::lock_guard lock(printing);
            std::printf("page %d: %.2f s: %s\n", i, took.count(), outcome.c_str());
          },
          {});
    }
    pool.Drain();
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("all: %.2f s\n", took.count());
  return 0;
}
