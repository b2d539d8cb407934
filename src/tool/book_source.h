#pragma once

#include <memory>
#include <string>

#include "book/book_check.h"
#include "book/book_documents.h"
#include "package/package_format.h"
#include "support/system_settings.h"

namespace pagewend::tool {

// Both documents of a book package, parsed.
struct LoadedBook {
  std::unique_ptr<package::PackageFile> package;
  book::BookDocuments documents;
};

enum class Document { Book, Project };

using book::kNotABook;
using book::LocateBook;

// One document of a book: from a package (the project document is its last record, the book
// document the one before), or a bare XML document, told apart by their content. Errors name
// nothing: the caller names the file.
std::string ReadDocument(const std::string& path, Document which);

// Opens a package and parses its documents.
LoadedBook LoadBook(const std::string& path, const SystemSettings& settings);

}  // namespace pagewend::tool
