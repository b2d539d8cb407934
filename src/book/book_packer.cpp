#include "book/book_packer.h"

#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "book/book_documents.h"
#include "book/book_files.h"
#include "book/document_refs.h"
#include "model/book/m_book.h"
#include "model/project/pw_project.h"
#include "package/package_writer.h"
#include "paths/file_names.h"
#include "support/folder_root.h"
#include "zip/zip_extract.h"

namespace pagewend::book {
using namespace package;

namespace {

namespace fs = std::filesystem;

// A file below the book folder, opened beneath it: a link that leads out of the folder is
// refused (FileError), one within it is followed. Nothing when there is no such file.
std::optional<OpenedFile> OpenSource(const FolderRoot& folder, const fs::path& relative) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(folder.Path() / relative, ec))) return std::nullopt;
  return OpenedFile{std::make_shared<const UniqueFd>(folder.OpenRead(relative, /*linksInside=*/true)),
                    folder.Path() / relative};
}

// The whole file; a missing one says so without its name, for the caller to name it.
std::string ReadWhole(const FolderRoot& folder, const fs::path& relative) {
  const auto file = OpenSource(folder, relative);
  if (!file) throw PackageError("missing");
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(file->fd->Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw PackageError(std::strerror(errno));
    if (n == 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string ReadNamed(const FolderRoot& folder, const fs::path& relative) {
  try {
    return ReadWhole(folder, relative);
  } catch (const PackageError& e) {
    throw PackageError(fmt::format("{}: {}", (folder.Path() / relative).string(), e.what()));
  }
}

PackReport Pack(const FolderRoot& root, const fs::path& out, const PackOptions& options) {
  const fs::path& folder = root.Path();
  // The packer keeps the documents' text: only their pos_/size_ numbers change.
  std::string projectXml;
  std::string bookXml;
  DocumentOptions documentOptions;
  documentOptions.settings = options.settings;
  BookDocuments documents;
  try {
    documents = LoadDocuments([&] { return projectXml = ReadWhole(root, kProjectDocumentFile); },
                              [&] { return bookXml = ReadWhole(root, kBookDocumentFile); }, documentOptions);
  } catch (const DocumentError& e) {
    const char* name = e.Kind() == DocumentKind::Project ? kProjectDocumentFile : kBookDocumentFile;
    throw PackageError(fmt::format("{}: {}", (folder / name).string(), e.what()));
  }
  model::project::TPWProject& project = *documents.project;
  model::book::TMBook& book = *documents.book;
  DocumentRefs refs(bookXml, projectXml);

  std::vector<BookFile> files = MapBookFiles(project, book, true, true);
  // The order in which books lay their records out.
  std::stable_sort(files.begin(), files.end(), [](const BookFile& a, const BookFile& b) {
    if (a.slot->packRank != b.slot->packRank) return a.slot->packRank < b.slot->packRank;
    if (a.page != b.page) return a.page < b.page;
    return a.slot->partRank < b.slot->partRank;
  });

  PackReport report;
  PackageWriter writer(out, options.player);
  std::map<std::pair<std::int64_t, std::int64_t>, RecordRef> written;  // one record for refs that share one
  for (const BookFile& f : files) {
    if (!f.active) {
      if (!f.ref.Absent() && refs.Has(f.owner)) refs.Set(f.owner, {});
      continue;
    }
    if (!f.target)
      throw PackageError(fmt::format("{}: \"{}\" names a file outside {}", f.owner, f.name, folder.string()));
    const fs::path source = folder / *f.target;
    RecordRef ref;
    if (const auto same = written.find({f.ref.pos, f.ref.size}); same != written.end()) {
      ref = same->second;
    } else if (f.Form() == RecordForm::Plain) {
      const auto file = OpenSource(root, *f.target);
      if (!file) throw PackageError(fmt::format("{}: {} is missing", f.owner, source.string()));
      ref = writer.AddRecord(*file);
    } else if (f.Form() == RecordForm::Archive) {
      std::error_code ec;
      if (!fs::exists(fs::symlink_status(source, ec)))
        throw PackageError(fmt::format("{}: {} is missing", f.owner, source.string()));
      // The archive waits in a file without a name beside the package: nothing planted at a
      // name can receive it, and nothing is left when packing fails.
      auto scratch =
          std::make_shared<const UniqueFd>(FolderRoot(fs::absolute(out).parent_path()).CreateUnnamed());
      ZipFolder(root.Sub(*f.target), scratch->Get());
      ref = writer.AddRecord(OpenedFile{scratch, source});
    } else {
      const std::string info = ReadNamed(root, *f.target / "info.ini");
      const IniSection section = ParseInfoIni(info);
      std::vector<TypedPayload> records;
      const auto addMember = [&](std::uint32_t type, const std::string& name) {
        if (name.find_first_not_of(" \t") == std::string::npos) return;
        const auto path = JoinInside(*f.target, name);
        if (!path)
          throw PackageError(
              fmt::format("{}: \"{}\" names a file outside {}", f.owner, name, source.string()));
        // info.ini may name buttons the book never packaged; only files that exist are records.
        if (auto file = OpenSource(root, *path)) records.push_back({type, std::move(*file)});
      };
      for (const auto& [type, name] : GroupMembers(f, section, project)) addMember(type, name);
      ref = writer.AddGroup(std::move(records), info);
    }
    written[{f.ref.pos, f.ref.size}] = ref;
    refs.Set(f.owner, ref);
    ++report.records;
  }
  if (const auto left = refs.NotCarried(); !left.empty())
    throw PackageError(fmt::format(
        "{}: {} holds a record that no file of the book comes from, so the package would lose it",
        left.front(),
        left.size() == 1 ? "this reference" : fmt::format("this reference (and {} more)", left.size() - 1)));
  writer.Finish(refs.BookText(), refs.ProjectText());
  report.bytes = writer.Offset();
  return report;
}
}  // namespace

PackReport PackBook(const fs::path& folder, const fs::path& out, const PackOptions& options) {
  try {
    return Pack(FolderRoot(folder), out, options);
  } catch (const FileError& e) {
    throw PackageError(e.what());
  } catch (const ZipError& e) {
    throw PackageError(e.what());
  }
}

}  // namespace pagewend::book
