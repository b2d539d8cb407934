// make_package OUT COUNT SIZE: writes a package of COUNT records of about SIZE bytes.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "package_generator.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_package OUT COUNT SIZE\n");
    return 2;
  }
  try {
    const auto refs = pagewend::bench::MakePackage(argv[1], std::strtoul(argv[2], nullptr, 10),
                                                   std::strtoul(argv[3], nullptr, 10));
    std::printf("%s: %zu records\n", argv[1], refs.size());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_package: %s\n", e.what());
    return 1;
  }
  return 0;
}
