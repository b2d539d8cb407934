#include "book/unpacked_book.h"

#include "model/book/m_book.h"
#include "model/project/pw_project.h"
#include "paths/file_names.h"
#include "paths/run_folder.h"

namespace pagewend::book {

UnpackedBook ReadUnpackedBook(const model::book::TMBook& document, const model::project::TPWProject& project,
                              const RunFolder& paths, std::string title) {
  UnpackedBook unpacked;
  unpacked.title = title;
  reading::Book& book = unpacked.book;
  book = reading::ReadBook(document, std::move(title));
  reading::FindFiles(book, paths / layout::kFiles);
  const std::string name = project.toc().filename();
  if (name.empty()) return unpacked;
  // Where the run wrote it: by its file name alone, in the run's folder for such files.
  const auto below = JoinInside(layout::kOther, WinFileName(name));
  if (!below) return unpacked;
  auto entries = reading::ReadContentsFile(paths / *below, static_cast<int>(book.pages.size()));
  if (!entries.empty()) book.contents = std::move(entries);
  return unpacked;
}

}  // namespace pagewend::book
