#include <unistd.h>

#include <fmt/format.h>

#include <cstdio>
#include <filesystem>

#include "book/book_packer.h"
#include "tool/command.h"
#include "tool/interrupt.h"

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
  sub->add_option("DIR", o->dir, "The book folder: project.xml, book.xml and files/")->required();
  sub->add_option("-o,--output", o->out, "The package (or book executable) to write")->required();
  sub->add_option("--player", o->player, "Put the package behind a copy of this player executable");
  Command command{sub, nullptr, std::shared_ptr<const std::string>(o, &o->dir), Input::Folder};
  command.run = [o] {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!o->player.empty() && !fs::is_regular_file(o->player, ec))
      throw ToolError(fmt::format("the player {} is not a file", o->player));
    if (fs::is_directory(o->out, ec)) throw ToolError(fmt::format("{} is a folder", o->out));

    // The package is written beside its name and renamed when it is complete, so that a failure,
    // Ctrl-C or a closed terminal never leaves a half-written book under that name.
    const fs::path partial = PartialSibling(o->out);
    InterruptWatch interrupts;
    interrupts.OnInterrupt([partial](int signal) {
      std::error_code ignored;
      fs::remove(partial, ignored);
      ::_exit(128 + signal);
    });
    book::PackOptions options;
    options.player = o->player;
    options.settings = SystemSettings::FromUserLocale();
    try {
      const auto report = book::PackBook(o->dir, partial, options);
      fs::rename(partial, o->out);
      std::fprintf(stderr, "%s: %zu records, %jd bytes\n", o->out.c_str(), report.records,
                   static_cast<std::intmax_t>(report.bytes));
    } catch (...) {
      fs::remove(partial, ec);
      throw;
    }
    return kExitOk;
  };
  return command;
}

}  // namespace pagewend::tool
