#pragma once

#include <cstdint>
#include <filesystem>

#include "support/system_settings.h"

namespace pagewend::book {

struct PackOptions {
  // A player executable to put in front of the package; the result is made executable.
  std::filesystem::path player;
  SystemSettings settings;
};

struct PackReport {
  std::size_t records = 0;
  std::int64_t bytes = 0;  // the whole output file
};

// Makes a package from a book folder: its two documents (project.xml and book.xml, as
// `extract --keep-documents` writes them) and the files where extraction puts them. Every file
// the documents reference becomes a record, in the order books are laid out; the documents
// follow with only their pos_/size_ numbers changed. Derived images are not packed: extraction
// makes them again. Throws PackageError naming a missing file or a name that leaves the folder.
PackReport PackBook(const std::filesystem::path& folder, const std::filesystem::path& out,
                    const PackOptions& options = {});

}  // namespace pagewend::book
