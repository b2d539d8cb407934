#include <fmt/format.h>

#include <iostream>
#include <nlohmann/json.hpp>

#include "package/book_files.h"
#include "tool/book_source.h"
#include "tool/command.h"

namespace pagewend::tool {

Command AddInfoCommand(CLI::App& app) {
  auto* sub = app.add_subcommand("info",
                                 "Show a book's title, page count and every reference of its two "
                                 "documents: owner, pos_, size_, the file it becomes and its status.");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  sub->add_option("BOOK", *file, "A book executable or a bare package")->required();
  sub->add_flag("--json", *json, "Print one JSON object");

  return {sub, [file, json] {
            LoadedBook loaded = LoadBook(*file, SystemSettings::FromUserLocale());
            const auto files = package::MapBookFiles(*loaded.project, *loaded.book, true, true);
            const auto status = package::AuditBookFiles(*loaded.package, files);
            const auto& chapters = loaded.book->Chapters();
            const std::size_t pages = chapters.Count() ? chapters.Items(0).Pages().Count() : 0;
            const std::string title = loaded.project->exetitle();
            auto target = [](const package::BookFile& f) {
              return f.target ? f.target->string() : std::string();
            };
            if (*json) {
              nlohmann::ordered_json out;
              out["file"] = *file;
              out["title"] = title;
              out["pages"] = pages;
              out["references"] = nlohmann::ordered_json::array();
              for (std::size_t i = 0; i < files.size(); ++i)
                out["references"].push_back({{"owner", files[i].owner},
                                             {"pos", files[i].ref.pos},
                                             {"size", files[i].ref.size},
                                             {"file", target(files[i])},
                                             {"status", status[i]}});
              std::cout << out.dump(2) << '\n';
              return kExitOk;
            }
            std::cout << fmt::format("title: {}\npages: {}\n{:<34} {:>11} {:>11}  {:<16} {}\n", title, pages,
                                     "owner", "pos_", "size_", "status", "file");
            for (std::size_t i = 0; i < files.size(); ++i)
              std::cout << fmt::format("{:<34} {:>11} {:>11}  {:<16} {}\n", files[i].owner, files[i].ref.pos,
                                       files[i].ref.size, status[i], target(files[i]));
            return kExitOk;
          }};
}

}  // namespace pagewend::tool
