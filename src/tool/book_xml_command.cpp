#include <unistd.h>

#include <fmt/format.h>

#include <fstream>
#include <iostream>
#include <iterator>

#include "model/book/m_book.h"
#include "model/xml_source.h"
#include "package/package_format.h"
#include "support/system_settings.h"
#include "support/text.h"
#include "tool/book_source.h"
#include "tool/command.h"

namespace pagewend::tool {

Command AddBookXmlCommand(CLI::App& app) {
  const FileCommand c = AddFileCommand(app, "book-xml",
                                       "Load the book document of a book package (or a bare book document) "
                                       "and print it as the book model saves it.",
                                       "FILE", "A book executable, a bare package, or a book XML document");
  const auto locale =
      AddLocaleOption(*c.app, "Decimal separator of the user's locale (default: from the environment)");

  return c.With([args = c.args, locale] {
    const model::LoadOptions options(locale());
    model::book::TMBook book;
    book.LoadFromStream(ReadDocument(args->file, Document::Book), options);
    // Byte for byte into a file or a pipe; on a terminal, without its escapes.
    const std::string text = book.SaveToString();
    std::cout << (::isatty(STDOUT_FILENO) == 1 ? ForTerminal(text, true) : text);
    return kExitOk;
  });
}

}  // namespace pagewend::tool
