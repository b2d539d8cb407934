#include "package/book_packer.h"

#include <sys/stat.h>

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "model/book/m_book.h"
#include "model/project/pw_project.h"
#include "package/book_files.h"
#include "package/document_refs.h"
#include "package/package_writer.h"
#include "paths/path_getter.h"
#include "zip/zip_extract.h"

namespace pagewend::package {
namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PackageError(fmt::format("{}: missing", path.string()));
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The order in which books lay their records out, and within a page: element files, video
// previews, the page's search and download files, its mobile image.
int Rank(const BookFile& f) {
  switch (f.step) {
    case SplitStep::Background:
      return 0;
    case SplitStep::NavButtons:
      return 1;
    case SplitStep::NavBar:
      return 2;
    case SplitStep::Preloader:
      return 3;
    case SplitStep::Logo:
      return 4;
    case SplitStep::SearchFile:
      return 5;
    case SplitStep::Toc:
      return 6;
    case SplitStep::Languages:
      return 7;
    case SplitStep::Page:
      return 8;
    case SplitStep::Download:
      return 9;
    case SplitStep::BackgroundSound:
      return 10;
    case SplitStep::Viewer:
      return 11;
  }
  return 12;
}

int PageRank(PagePart part) {
  switch (part) {
    case PagePart::Element:
      return 0;
    case PagePart::Preview:
      return 1;
    case PagePart::Search:
      return 2;
    case PagePart::Download:
      return 3;
    case PagePart::Mobile:
      return 4;
    case PagePart::None:
      return 5;
  }
  return 5;
}

}  // namespace

void KeepDocuments(const fs::path& package, const fs::path& folder) {
  const PackageFile file(package);
  const Documents docs = LocateDocuments(file);
  file.CopyTo(docs.project, folder / "project.xml", "project document");
  file.CopyTo(docs.book, folder / "book.xml", "book document");
}

PackReport PackBook(const fs::path& folder, const fs::path& out, const PackOptions& options) {
  const std::string projectXml = ReadWhole(folder / "project.xml");
  const std::string bookXml = ReadWhole(folder / "book.xml");
  model::project::TPWProject project;
  model::book::TMBook book;
  try {
    project.LoadFromStream(projectXml, options.settings);
  } catch (const std::exception& e) {
    throw PackageError(fmt::format("{}: {}", (folder / "project.xml").string(), e.what()));
  }
  try {
    book.LoadFromStream(bookXml, {options.settings, nullptr});
  } catch (const std::exception& e) {
    throw PackageError(fmt::format("{}: {}", (folder / "book.xml").string(), e.what()));
  }
  DocumentRefs refs(bookXml, projectXml);

  std::vector<BookFile> files = MapBookFiles(project, book, true, true);
  std::stable_sort(files.begin(), files.end(), [](const BookFile& a, const BookFile& b) {
    if (Rank(a) != Rank(b)) return Rank(a) < Rank(b);
    if (a.page != b.page) return a.page < b.page;
    return PageRank(a.part) < PageRank(b.part);
  });

  PackReport report;
  PackageWriter writer(out, options.player);
  std::map<std::pair<std::int64_t, std::int64_t>, RecordRef> written;  // one record for refs that share one
  const fs::path scratch = out.string() + ".langs.zip";
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
    } else if (f.form == RecordForm::Plain) {
      if (!fs::is_regular_file(source))
        throw PackageError(fmt::format("{}: {} is missing", f.owner, source.string()));
      ref = writer.AddRecord(source);
    } else if (f.form == RecordForm::Archive) {
      if (!fs::is_directory(source))
        throw PackageError(fmt::format("{}: {} is missing", f.owner, source.string()));
      ZipFolder(source, scratch);
      ref = writer.AddRecord(scratch);
      fs::remove(scratch);
    } else {
      const std::string info = ReadWhole(source / "info.ini");
      const IniSection section = ParseInfoIni(info);
      std::vector<TypedPayload> records;
      const auto addMember = [&](std::uint32_t type, const std::string& name) {
        if (name.find_first_not_of(" \t") == std::string::npos) return;
        const auto path = JoinInside(source, name);
        if (!path)
          throw PackageError(
              fmt::format("{}: \"{}\" names a file outside {}", f.owner, name, source.string()));
        // info.ini may name buttons the book never packaged; only files that exist are records.
        if (fs::is_regular_file(*path)) records.push_back({type, *path});
      };
      if (f.step == SplitStep::NavButtons) {
        for (std::uint32_t type = 0; type < kButtonKeys.size(); ++type)
          if (const auto it = section.find(kButtonKeys[type]); it != section.end())
            addMember(type, it->second);
      } else {
        addMember(0, project.navbar().topfile());
        addMember(1, project.navbar().bottomfile());
      }
      ref = writer.AddGroup(std::move(records), info);
    }
    written[{f.ref.pos, f.ref.size}] = ref;
    refs.Set(f.owner, ref);
    ++report.records;
  }
  writer.Finish(refs.BookText(), refs.ProjectText());
  if (!options.player.empty()) ::chmod(out.c_str(), 0755);
  report.bytes = static_cast<std::int64_t>(fs::file_size(out));
  return report;
}

}  // namespace pagewend::package
