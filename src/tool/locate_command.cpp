#include <fmt/format.h>

#include <iostream>
#include <nlohmann/json.hpp>

#include "package/package_format.h"
#include "tool/book_source.h"
#include "tool/command.h"

namespace pagewend::tool {

Command AddLocateCommand(CLI::App& app) {
  const FileCommand c = AddFileCommand(app, "locate",
                                       "Find the book and project documents at the end of a book "
                                       "package and print where they lie.",
                                       "BOOK", "A book executable or a bare package", kJsonHelp);
  return c.With([args = c.args] {
    const package::PackageFile package(args->file);
    const package::Documents docs = LocateBook(package);
    if (args->json) {
      nlohmann::ordered_json out;
      out["file"] = args->file;
      out["size"] = package.Size();
      out["book"] = {{"offset", docs.book.offset}, {"length", docs.book.length}};
      out["project"] = {{"offset", docs.project.offset}, {"length", docs.project.length}};
      PrintJson(out);
    } else {
      std::cout << fmt::format(
          "file size:        {}\nbook document:    offset {}, {} bytes\n"
          "project document: offset {}, {} bytes\n",
          package.Size(), docs.book.offset, docs.book.length, docs.project.offset, docs.project.length);
    }
    return kExitOk;
  });
}

}  // namespace pagewend::tool
