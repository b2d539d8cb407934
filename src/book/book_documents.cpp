#include "book/book_documents.h"

#include "model/book/m_book.h"
#include "model/project/pw_project.h"
#include "package/package_format.h"
#include "support/text.h"

namespace pagewend::book {

namespace fs = std::filesystem;
using model::book::TMBook;
using model::project::TPWProject;

BookDocuments::BookDocuments() = default;
BookDocuments::BookDocuments(BookDocuments&&) noexcept = default;
BookDocuments& BookDocuments::operator=(BookDocuments&&) noexcept = default;
BookDocuments::~BookDocuments() = default;

BookDocuments LoadDocuments(const std::function<std::string()>& projectText,
                            const std::function<std::string()>& bookText, const DocumentOptions& options) {
  BookDocuments documents;
  documents.project = std::make_unique<TPWProject>();
  documents.book = std::make_unique<TMBook>();
  try {
    documents.project->LoadFromStream(projectText(), options.settings);
  } catch (const std::exception& e) {
    throw DocumentError(DocumentKind::Project, e.what());
  }
  if (options.projectLoaded) options.projectLoaded(*documents.project);
  try {
    documents.book->LoadFromStream(bookText(), {options.settings, options.log});
  } catch (const std::exception& e) {
    throw DocumentError(DocumentKind::Book, e.what());
  }
  return documents;
}

BookDocuments LoadDocuments(const package::PackageFile& package, const DocumentOptions& options) {
  // The book document is found from where the project document starts, so it is located only
  // once the project document has been read.
  std::int64_t projectStart = 0;
  return LoadDocuments(
      [&] {
        const package::Slice project = package::ProjectDocument(package);
        projectStart = project.offset;
        return package.ReadText(project, "project document", package::kMaxDocumentLength);
      },
      [&] {
        return package.ReadText(package::BookDocument(package, projectStart), "book document",
                                package::kMaxDocumentLength);
      },
      options);
}

std::optional<BookLook> ReadBookLook(const fs::path& file, const SystemSettings& settings) {
  try {
    const package::PackageFile package(file);
    TPWProject project;
    project.LoadFromStream(
        package.ReadText(package::ProjectDocument(package), "project document", package::kMaxDocumentLength),
        settings);
    const auto& preloader = project.preloader();
    const bool hasMovie = !Trim(preloader.filename()).empty() && preloader.pos_() > 0;
    return BookLook{project.exetitle(), project.background().color() & 0xFFFFFFu, hasMovie};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void KeepDocuments(const fs::path& package, const fs::path& folder) {
  const package::PackageFile file(package);
  const package::Documents docs = package::LocateDocuments(file);
  file.CopyTo(docs.project, folder / kProjectDocumentFile, "project document");
  file.CopyTo(docs.book, folder / kBookDocumentFile, "book document");
}

}  // namespace pagewend::book
