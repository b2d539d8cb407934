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
  auto* sub = app.add_subcommand("book-xml",
                                 "Load the book document of a book package (or a bare book document) "
                                 "and print it as the book model saves it.");
  auto file = std::make_shared<std::string>();
  auto separator = std::make_shared<std::string>();
  sub->add_option("FILE", *file, "A book executable, a bare package, or a book XML document")->required();
  sub->add_option("--decimal-separator", *separator,
                  "Decimal separator of the user's locale (default: from the environment)");

  return {sub, [file, separator] {
            model::book::LoadOptions options;
            options.settings = SystemSettings::FromUserLocale();
            if (!separator->empty()) {
              if (separator->size() != 1)
                throw std::runtime_error(
                    fmt::format("--decimal-separator takes one character, not '{}'", *separator));
              options.settings.decimalSeparator = separator->front();
            }
            model::book::TMBook book;
            try {
              book.LoadFromStream(ReadDocument(*file, Document::Book), options);
            } catch (const std::exception& e) {
              throw std::runtime_error(fmt::format("{}: {}", *file, e.what()));
            }
            std::cout << book.SaveToString();
            return kExitOk;
          }};
}

}  // namespace pagewend::tool
