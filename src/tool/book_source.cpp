#include "tool/book_source.h"

#include <fmt/format.h>

#include <stdexcept>

namespace pagewend::tool {

LoadedBook LoadBook(const std::string& path, const SystemSettings& settings) {
  LoadedBook loaded;
  try {
    loaded.package = std::make_unique<package::PackageFile>(path);
    const package::Documents docs = package::LocateDocuments(*loaded.package);
    loaded.project = std::make_unique<model::project::TPWProject>();
    loaded.project->LoadFromStream(
        loaded.package->ReadText(docs.project, "project document", package::kMaxDocumentLength), settings);
    loaded.book = std::make_unique<model::book::TMBook>();
    loaded.book->LoadFromStream(
        loaded.package->ReadText(docs.book, "book document", package::kMaxDocumentLength),
        {settings, nullptr});
  } catch (const std::exception& e) {
    throw std::runtime_error(fmt::format("{}: {}", path, e.what()));
  }
  return loaded;
}

}  // namespace pagewend::tool
