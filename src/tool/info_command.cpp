#include <fmt/format.h>

#include <iostream>
#include <nlohmann/json.hpp>

#include "book/book_files.h"
#include "model/book/m_book.h"
#include "model/project/pw_project.h"
#include "support/text.h"
#include "tool/book_source.h"
#include "tool/command.h"

namespace pagewend::tool {

Command AddInfoCommand(CLI::App& app) {
  const FileCommand c = AddFileCommand(app, "info",
                                       "Show a book's title, page count and every reference of its two "
                                       "documents: owner, pos_, size_, the file it becomes and its status.",
                                       "BOOK", "A book executable or a bare package", kJsonHelp);
  return c.With([args = c.args] {
    LoadedBook loaded = LoadBook(args->file, SystemSettings::FromUserLocale());
    const auto files = book::MapBookFiles(*loaded.documents.project, *loaded.documents.book, true, true);
    const auto status = book::AuditBookFiles(*loaded.package, files);
    const std::size_t pages = model::book::BookPages(*loaded.documents.book).size();
    const std::string title = loaded.documents.project->exetitle();
    auto target = [](const book::BookFile& f) { return f.target ? f.target->string() : std::string(); };
    if (args->json) {
      nlohmann::ordered_json out;
      out["file"] = args->file;
      out["title"] = title;
      out["pages"] = pages;
      out["references"] = nlohmann::ordered_json::array();
      for (std::size_t i = 0; i < files.size(); ++i)
        out["references"].push_back({{"owner", files[i].owner},
                                     {"pos", files[i].ref.pos},
                                     {"size", files[i].ref.size},
                                     {"file", target(files[i])},
                                     {"status", status[i]}});
      PrintJson(out);
      return kExitOk;
    }
    std::cout << fmt::format("title: {}\npages: {}\n{:<34} {:>11} {:>11}  {:<16} {}\n", ForTerminal(title),
                             pages, "owner", "pos_", "size_", "status", "file");
    for (std::size_t i = 0; i < files.size(); ++i)
      std::cout << fmt::format("{:<34} {:>11} {:>11}  {:<16} {}\n", files[i].owner, files[i].ref.pos,
                               files[i].ref.size, status[i], ForTerminal(target(files[i])));
    return kExitOk;
  });
}

}  // namespace pagewend::tool
