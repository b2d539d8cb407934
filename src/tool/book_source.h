#pragma once

#include <memory>
#include <string>

#include "model/book/m_book.h"
#include "model/project/pw_project.h"
#include "package/package_format.h"
#include "support/system_settings.h"

namespace pagewend::tool {

// Both documents of a book package, parsed.
struct LoadedBook {
  std::unique_ptr<package::PackageFile> package;
  std::unique_ptr<model::project::TPWProject> project;
  std::unique_ptr<model::book::TMBook> book;
};

enum class Document { Book, Project };

// One document of a book: from a package (the project document is its last record, the book
// document the one before), or a bare XML document, told apart by their content. Errors name
// the file.
std::string ReadDocument(const std::string& path, Document which);

// Opens a package and parses its documents; errors name the file.
LoadedBook LoadBook(const std::string& path, const SystemSettings& settings);

}  // namespace pagewend::tool
