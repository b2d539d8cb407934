#include "book/unpacked_book.h"

#include "book/book_opener.h"
#include "model/project/pw_project.h"
#include "paths/file_names.h"
#include "paths/path_getter.h"

namespace pagewend::book {

reading::Book ReadUnpackedBook(const BookOpener& opener, const PathGetter& paths, std::string title) {
  reading::Book book = reading::ReadBook(opener.Book(), std::move(title));
  reading::FindFiles(book, PathGetter::FilesFolder(paths.WorkingFolder(true)));
  const std::string name = opener.Project().toc().filename();
  if (name.empty()) return book;
  // Where the run wrote it: by its file name alone, in the run's folder for such files.
  const auto below = PathGetter::InFilesFolder(paths.OtherFolder(false).string() + WinFileName(name));
  if (!below) return book;
  auto entries =
      reading::ReadContentsFile(paths.WorkingFolder(true) / *below, static_cast<int>(book.pages.size()));
  if (!entries.empty()) book.contents = std::move(entries);
  return book;
}

}  // namespace pagewend::book
