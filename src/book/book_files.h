#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "book/reference_slots.h"
#include "model/book/m_book.h"
#include "model/project/pw_project.h"
#include "package/package_format.h"

namespace pagewend::book {

// One reference of the two documents and the file (or folder) extraction makes of it. The
// one mapping that extraction, `info` and `pack` share, so the directions cannot drift apart.
struct BookFile {
  const ReferenceSlot* slot = nullptr;
  std::string owner;  // "project.background", "book.page[3].elem[1]", ...
  package::RecordRef ref;
  std::string name;  // the name the document gives, as written there
  // Relative to the working folder; a folder for groups and archives. Nothing when the name
  // is empty or would leave the working folder: such a record is never written.
  std::optional<std::filesystem::path> target;
  int page = -1;    // index among the book's pages (BookPages), for SplitStep::Page
  int element = 0;  // 1-based element number on its page; 0 for the page's own files
  // A run writes it: the reference is present and the step's conditions hold.
  bool active = true;
  // Points the model at the written file (its full path); empty where nothing changes.
  std::function<void(const std::string& writtenPath)> rewrite;

  SplitStep Step() const { return slot->step; }
  RecordForm Form() const { return slot->form; }
  PagePart Part() const { return slot->part; }
};

// Every record the documents reference that a run would write, in the order it writes them;
// with `all`, every reference slot of the documents, the ones a run skips marked inactive.
// `complete` is a full run: it adds the viewer files and makes the book-wide download depend
// on the download button. The rewrite functions refer to project and book.
std::vector<BookFile> MapBookFiles(model::project::TPWProject& project, model::book::TMBook& book,
                                   bool complete, bool all = false);

// The files a group record holds, by type, under the names that record's rule gives them: the
// buttons by the names its info.ini gives, the bar's two images by the project's names.
std::vector<std::pair<std::uint32_t, std::string>> GroupMembers(const BookFile& group,
                                                                const package::IniSection& info,
                                                                const model::project::TPWProject& project);

// How a reference stands against the package: "ok", "absent", "unused" (present, but a run
// skips it), "unsafe name", "outside the file", "length mismatch", or "overlapping" another
// record or a document. One status per file, in order.
std::vector<std::string> AuditBookFiles(const package::PackageFile& package,
                                        const std::vector<BookFile>& files);

}  // namespace pagewend::book
