#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/book/m_book.h"
#include "model/project/pw_project.h"
#include "package/package_format.h"

namespace pagewend::book {

// The steps of an extraction, in the order they run.
enum class SplitStep {
  Background,
  NavButtons,
  NavBar,
  Preloader,
  Logo,
  SearchFile,
  Toc,
  BackgroundSound,
  Download,
  Languages,
  Page,
  Viewer,
};

// Which of a page's files a record is.
enum class PagePart { None, Search, Download, Element, Preview, Mobile };

enum class RecordForm {
  Plain,    // one record, one file
  Group,    // a resource group: info.ini and typed records into one folder
  Archive,  // a ZIP archive unpacked into a folder, then removed
};

// One reference of the two documents and the file (or folder) extraction makes of it. The
// one mapping that extraction, `info` and `pack` share, so the directions cannot drift apart.
struct BookFile {
  SplitStep step;
  RecordForm form = RecordForm::Plain;
  std::string owner;  // "project.background", "book.page[3].elem[1]", ...
  package::RecordRef ref;
  std::string name;  // the name the document gives, as written there
  // Relative to the working folder; a folder for groups and archives. Nothing when the name
  // is empty or would leave the working folder: such a record is never written.
  std::optional<std::filesystem::path> target;
  int page = -1;    // index among the book's pages (BookPages), for SplitStep::Page
  int element = 0;  // 1-based element number on its page; 0 for the page's own files
  PagePart part = PagePart::None;
  // A run writes it: the reference is present and the step's conditions hold.
  bool active = true;
  // Points the model at the written file (its full path); empty where nothing changes.
  std::function<void(const std::string& writtenPath)> rewrite;
};

// Every record the documents reference that a run would write, in the order it writes them;
// with `all`, every reference slot of the documents, the ones a run skips marked inactive.
// `complete` is a full run: it adds the viewer files and makes the book-wide download depend
// on the download button. The rewrite functions refer to project and book.
std::vector<BookFile> MapBookFiles(model::project::TPWProject& project, model::book::TMBook& book,
                                   bool complete, bool all = false);

// How a reference stands against the package: "ok", "absent", "unused" (present, but a run
// skips it), "unsafe name", "outside the file", "length mismatch", or "overlapping" another
// record or a document. One status per file, in order.
std::vector<std::string> AuditBookFiles(const package::PackageFile& package,
                                        const std::vector<BookFile>& files);

}  // namespace pagewend::book
