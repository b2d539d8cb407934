#include <fmt/format.h>

#include <fstream>
#include <iostream>
#include <iterator>

#include "model/book/m_book.h"
#include "model/xml_source.h"
#include "package/package_format.h"
#include "support/system_settings.h"
#include "tool/book_source.h"
#include "tool/command.h"

namespace pagewend::tool {

Command AddBookXmlCommand(CLI::App& app) {
  const FileCommand c = AddFileCommand(app, "book-xml",
                                       "Load the book document of a book package (or a bare book document) "
                                       "and print it as the book model saves it.",
                                       "FILE", "A book executable, a bare package, or a book XML document");
  auto separator = std::make_shared<std::string>();
  c.app
      ->add_option("--decimal-separator", *separator,
                   "Decimal separator of the user's locale (default: from the environment)")
      ->check([](const std::string& value) {
        return value.size() == 1 ? std::string() : std::string("a single character is expected");
      });

  return c.With([args = c.args, separator] {
    model::LoadOptions options;
    options.settings = SystemSettings::FromUserLocale();
    if (!separator->empty()) options.settings.decimalSeparator = separator->front();
    model::book::TMBook book;
    book.LoadFromStream(ReadDocument(args->file, Document::Book), options);
    std::cout << book.SaveToString();
    return kExitOk;
  });
}

}  // namespace pagewend::tool
