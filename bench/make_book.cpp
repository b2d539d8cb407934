// make_book OUT PAGES: a book package of PAGES generated A4 pages (300 dpi JPEG), each shown by
// an image element and used as the page's mobile image, with the page size and scale a real
// book would carry.
#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "package/package_writer.h"
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
    const fs::path scratch = out.string() + ".pages";
    // A few distinct pages, repeated: generating is slower than unpacking.
    const auto images = pagewend::bench::MakePages(scratch, std::min(count, 8));
    pagewend::package::PackageWriter writer(out);
    std::string pages;
    for (int i = 0; i < count; ++i) {
      const auto ref = writer.AddRecord(images[static_cast<std::size_t>(i) % images.size()]);
      pages += fmt::format(
          R"(<page mobilefile2="res\pages\m{0}.jpg" mobilefile1="m.jpg" photoviewthumb="t.jpg" )"
          R"(pos_mobilefile2="{1}" size_mobilefile2="{2}"><elem><img src="res\pages\p{0}.jpg" left="0" top="0" )"
          R"(width="595" height="842" pos_="{1}" size_="{2}"/></elem></page>)",
          i + 1, ref.pos, ref.size);
    }
    writer.Finish(R"(<?xml version="1.0" encoding="UTF-8"?><book pagewidth="595" pageheight="842" )"
                  R"(thumbscale="0.25"><Chapters><chapter><Pages>)" +
                      pages + "</Pages></chapter></Chapters></book>",
                  "<project><exetitle>Generated book</exetitle></project>");
    fs::remove_all(scratch);
    std::printf("%s: %d pages, %ju bytes\n", out.c_str(), count,
                static_cast<std::uintmax_t>(fs::file_size(out)));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_book: %s\n", e.what());
    return 1;
  }
  return 0;
}
