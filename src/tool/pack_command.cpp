#include <fmt/format.h>

#include <cstdio>

#include "book/book_packer.h"
#include "tool/command.h"

namespace pagewend::tool {

Command AddPackCommand(CLI::App& app) {
  auto* sub = app.add_subcommand(
      "pack",
      "Make a book package from a folder that `extract --keep-documents` wrote (or laid out the same "
      "way): every file the documents reference, then the documents with new pos_/size_ numbers.");
  struct Options {
    std::string dir;
    std::string out;
    std::string player;
  };
  auto o = std::make_shared<Options>();
  sub->add_option("DIR", o->dir, "The book folder: project.xml, book.xml and files/")
      ->required()
      ->check(CLI::ExistingDirectory);
  sub->add_option("-o,--output", o->out, "The package (or book executable) to write")->required();
  sub->add_option("--player", o->player, "Put the package behind a copy of this player executable")
      ->check(CLI::ExistingFile);
  return {sub, [o] {
            book::PackOptions options;
            options.player = o->player;
            options.settings = SystemSettings::FromUserLocale();
            try {
              const auto report = book::PackBook(o->dir, o->out, options);
              std::fprintf(stderr, "%s: %zu records, %jd bytes\n", o->out.c_str(), report.records,
                           static_cast<std::intmax_t>(report.bytes));
            } catch (const std::exception& e) {
              std::error_code ec;
              std::filesystem::remove(o->out, ec);  // no half-written book
              throw std::runtime_error(fmt::format("{}: {}", o->dir, e.what()));
            }
            return kExitOk;
          }};
}

}  // namespace pagewend::tool
