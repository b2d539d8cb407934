#include <fmt/format.h>

#include <fstream>
#include <iostream>
#include <iterator>

#include "model/book/m_book.h"
#include "model/xml_source.h"
#include "package/package_format.h"
#include "support/system_settings.h"
#include "tool/command.h"

namespace pagewend::tool {
namespace {

// A bare document starts with "<" after an optional UTF-8 byte-order mark and white space,
// or with a UTF-16 or UTF-32 byte-order mark; anything else is taken for a package.
bool LooksLikeXml(std::string_view head) {
  using namespace std::string_view_literals;
  if (head.starts_with("\xFE\xFF"sv) || head.starts_with("\xFF\xFE"sv) ||
      head.starts_with("\x00\x00\xFE\xFF"sv))
    return true;
  if (head.starts_with("\xEF\xBB\xBF"sv)) head.remove_prefix(3);
  const std::size_t first = head.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && head[first] == '<';
}

std::string ReadHead(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open the file");
  std::string head(4096, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

std::string ReadBookDocument(const std::string& path) {
  if (LooksLikeXml(ReadHead(path))) {
    const package::PackageFile file(path);
    return file.ReadText({0, file.Size()}, "book document", package::kMaxDocumentLength);
  }
  const package::PackageFile file(path);
  const package::Documents documents = package::LocateDocuments(file);
  return file.ReadText(documents.book, "book document", package::kMaxDocumentLength);
}

}  // namespace

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
              book.LoadFromStream(ReadBookDocument(*file), options);
            } catch (const std::exception& e) {
              throw std::runtime_error(fmt::format("{}: {}", *file, e.what()));
            }
            std::cout << book.SaveToString();
            return kExitOk;
          }};
}

}  // namespace pagewend::tool
