// make_book OUT PAGES: a book package of PAGES generated A4 pages (300 dpi JPEG), each shown by
// an image element and used as the page's mobile image, with the page size and scale a real
// book would carry.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "page_generator.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_book OUT PAGES\n");
    return 2;
  }
  try {
    namespace fs = std::filesystem;
    const fs::path out = argv[1];
    const int count = std::atoi(argv[2]);
    pagewend::bench::MakeBook(out, count);
    std::printf("%s: %d pages, %ju bytes\n", out.c_str(), count,
                static_cast<std::uintmax_t>(fs::file_size(out)));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_book: %s\n", e.what());
    return 1;
  }
  return 0;
}
