#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "log/run_log.h"
#include "package/package_file.h"
#include "support/system_settings.h"

namespace pagewend::model::project {
class TPWProject;
}
namespace pagewend::model::book {
class TMBook;
}

namespace pagewend::book {

// A book's two documents, parsed.
struct BookDocuments {
  BookDocuments();
  BookDocuments(BookDocuments&&) noexcept;
  BookDocuments& operator=(BookDocuments&&) noexcept;
  ~BookDocuments();

  std::unique_ptr<model::project::TPWProject> project;
  std::unique_ptr<model::book::TMBook> book;
};

enum class DocumentKind { Project, Book };

// A document that could not be read or parsed; the message is the reason alone, for the caller
// to put its own words and names around.
class DocumentError : public std::runtime_error {
 public:
  DocumentError(DocumentKind kind, const std::string& reason) : std::runtime_error(reason), kind_(kind) {}
  DocumentKind Kind() const { return kind_; }

 private:
  DocumentKind kind_;
};

struct DocumentOptions {
  SystemSettings settings;
  // Where the book model reports what it skips; none is fine.
  const RunLog* log = nullptr;
  // Runs once the project document is parsed, before the book document is read: a reader tells
  // its host the title there, even when the book document turns out to be damaged.
  std::function<void(const model::project::TPWProject&)> projectLoaded;
};

// The one place both documents are read and parsed, the project document first. Each source gives
// a document's text; what it throws becomes a DocumentError of that document.
BookDocuments LoadDocuments(const std::function<std::string()>& projectText,
                            const std::function<std::string()>& bookText, const DocumentOptions& options);
// From a package: the project document is its last record, the book document the one before.
BookDocuments LoadDocuments(const package::PackageFile& package, const DocumentOptions& options);

// How a book looks before it is unpacked: its title, its background colour (0xRRGGBB) and
// whether it has a start movie, read from the project document alone, so that a window can wear
// them from its first frame.
struct BookLook {
  std::string title;
  std::uint32_t background = 0;
  bool hasMovie = true;
};
// Nothing when the file holds no readable project document; the unpacking says why.
std::optional<BookLook> ReadBookLook(const std::filesystem::path& file, const SystemSettings& settings);

// A book folder keeps the two documents under these names: `extract --keep-documents` writes
// them, the packer reads them.
inline constexpr const char* kProjectDocumentFile = "project.xml";
inline constexpr const char* kBookDocumentFile = "book.xml";

// Writes the package's two documents byte for byte into folder, under the names above.
void KeepDocuments(const std::filesystem::path& package, const std::filesystem::path& folder);

}  // namespace pagewend::book
