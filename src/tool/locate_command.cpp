#include <fmt/format.h>

#include <iostream>
#include <nlohmann/json.hpp>

#include "package/package_format.h"
#include "tool/command.h"

namespace pagewend::tool {

Command AddLocateCommand(CLI::App& app) {
  auto* sub = app.add_subcommand("locate",
                                 "Find the book and project documents at the end of a book "
                                 "package and print where they lie.");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  sub->add_option("BOOK", *file, "A book executable or a bare package")->required();
  sub->add_flag("--json", *json, "Print one JSON object");

  return {sub, [file, json] {
            const package::PackageFile package(*file);
            package::Documents docs;
            try {
              docs = package::LocateDocuments(package);
            } catch (const package::PackageError& e) {
              throw std::runtime_error(fmt::format("{}: {}", *file, e.what()));
            }
            if (*json) {
              nlohmann::ordered_json out;
              out["file"] = *file;
              out["size"] = package.Size();
              out["book"] = {{"offset", docs.book.offset}, {"length", docs.book.length}};
              out["project"] = {{"offset", docs.project.offset}, {"length", docs.project.length}};
              std::cout << out.dump(2) << '\n';
            } else {
              std::cout << fmt::format(
                  "file size:        {}\nbook document:    offset {}, {} bytes\n"
                  "project document: offset {}, {} bytes\n",
                  package.Size(), docs.book.offset, docs.book.length, docs.project.offset,
                  docs.project.length);
            }
            return kExitOk;
          }};
}

}  // namespace pagewend::tool
