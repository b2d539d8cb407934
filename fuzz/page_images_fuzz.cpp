// A page's images made from arbitrary bytes as its mobile image: JPEG through libjpeg under the
// decoder's limits, everything else through Qt's readers. Every run checks that nothing was
// written outside the scratch folder.
#include <cstdint>
#include <optional>

#include "fuzz_support.h"
#include "imaging/page_images.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pagewend;
  static fuzz::Scratch scratch("pagewend-page-images-fuzz");
  static fuzz::MemoryFile input;
  input.Assign(data, size);
  const auto& work = scratch.Work();
  const imaging::PageImageJob job{input.Path(),   work / "m.jpg", work / "p.jpg",
                                  work / "t.png", {60, 80},       std::nullopt};
  try {
    imaging::MakePageImages(job);
  } catch (const imaging::ImageError&) {
    // A broken, oversized or too costly image is an error with a message; crashes, hangs and
    // memory beyond the limits are what this target looks for.
  }
  scratch.CheckAndClear();
  return 0;
}
