#pragma once

#include <memory>
#include <string>

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

// What a file that holds no book package at its end is, for every command.
inline constexpr const char* kNotABook = "not a book (no package found at its end)";

// Where the two documents lie at the end of a book package. A file whose trailing records are
// not two XML documents (an empty file, a program, a picture, a cut-off book) throws
// std::runtime_error(kNotABook).
package::Documents LocateBook(const package::PackageFile& file);

// One document of a book: from a package (the project document is its last record, the book
// document the one before), or a bare XML document, told apart by their content. Errors name
// nothing: the caller names the file.
std::string ReadDocument(const std::string& path, Document which);

// Opens a package and parses its documents.
LoadedBook LoadBook(const std::string& path, const SystemSettings& settings);

}  // namespace pagewend::tool
