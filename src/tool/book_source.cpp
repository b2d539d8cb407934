#include "tool/book_source.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace pagewend::tool {
std::string ReadDocument(const std::string& path, Document which) {
  const package::PackageFile file(path);
  // A package without a player stub may begin with an XML record, so a file that begins like a
  // document is still a package when its two trailing records are documents. A bare document
  // cannot pass for one: its last byte would have to be a control character for the trailing
  // length to fit inside the file.
  std::optional<package::Documents> docs;
  try {
    docs = LocateBook(file);
  } catch (const std::runtime_error&) {
    if (!book::LooksLikeXml(file, {0, file.Size()})) throw;
    return file.ReadText({0, file.Size()}, "document", package::kMaxDocumentLength);
  }
  return which == Document::Project
             ? file.ReadText(docs->project, "project document", package::kMaxDocumentLength)
             : file.ReadText(docs->book, "book document", package::kMaxDocumentLength);
}

LoadedBook LoadBook(const std::string& path, const SystemSettings& settings) {
  LoadedBook loaded;
  loaded.package = std::make_unique<package::PackageFile>(path);
  LocateBook(*loaded.package);
  book::DocumentOptions options;
  options.settings = settings;
  loaded.documents = book::LoadDocuments(*loaded.package, options);
  return loaded;
}

}  // namespace pagewend::tool
