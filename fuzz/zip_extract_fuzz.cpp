// ZIP extraction of arbitrary bytes into a scratch folder. Every run checks that nothing was
// written outside the folder and that no symbolic link was made inside it.
#include <cstdint>
#include <fstream>

#include "fuzz_support.h"
#include "zip/zip_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static pagewend::fuzz::Scratch scratch("pagewend-zip-fuzz");
  {
    std::ofstream out(scratch.InputFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // Small limits keep each run quick and its disk use low; the checks are the same at any size.
  pagewend::ZipLimits limits;
  limits.maxEntries = 200;
  limits.maxTotalBytes = 8 << 20;
  try {
    pagewend::ExtractZip(scratch.InputFile(), scratch.Work(), limits);
  } catch (const pagewend::ZipError&) {
  }
  scratch.CheckAndClear();
  return 0;
}
