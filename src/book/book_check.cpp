#include "book/book_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "support/file_copy.h"

namespace pagewend::book {

bool LooksLikeXml(std::string_view head) {
  using namespace std::string_view_literals;
  if (head.starts_with("\xFE\xFF"sv) || head.starts_with("\xFF\xFE"sv) ||
      head.starts_with("\x00\x00\xFE\xFF"sv))
    return true;
  if (head.starts_with("\xEF\xBB\xBF"sv)) head.remove_prefix(3);
  const std::size_t first = head.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && head[first] == '<';
}

bool LooksLikeXml(const package::PackageFile& file, package::Slice slice) {
  return LooksLikeXml(
      file.ReadText({slice.offset, std::min<std::int64_t>(slice.length, 64)}, "document start", 64));
}

package::Documents LocateBook(const package::PackageFile& file) {
  try {
    const package::Documents docs = package::LocateDocuments(file);
    if (LooksLikeXml(file, docs.project) && LooksLikeXml(file, docs.book)) return docs;
  } catch (const package::PackageError&) {
  }
  throw std::runtime_error(kNotABook);
}

std::optional<BookError> WhyNotABook(const std::filesystem::path& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return BookError{BookErrorKind::Missing, path, "does not exist"};
  if (std::filesystem::is_directory(status))
    return BookError{BookErrorKind::Folder, path, "is a folder, not a book"};
  if (::access(path.c_str(), R_OK) != 0)
    return BookError{BookErrorKind::Unreadable, path,
                     std::string("cannot be read (") + std::strerror(errno) + ")"};
  try {
    LocateBook(package::PackageFile(path));
  } catch (const std::exception&) {
    return BookError{BookErrorKind::NotABook, path, std::string("is ") + kNotABook};
  }
  return std::nullopt;
}

BookError ClassifyFailure(const std::filesystem::path& book, const std::exception& e, bool stopped) {
  if (auto why = WhyNotABook(book)) return *why;
  BookError error{BookErrorKind::Damaged, book, e.what()};
  if (stopped)
    error.kind = BookErrorKind::Stopped;
  else if (dynamic_cast<const OverBudgetError*>(&e))
    error.kind = BookErrorKind::OverBudget;
  else if (const auto* file = dynamic_cast<const FileError*>(&e);
           file && (file->Code() == ENOSPC || file->Code() == EDQUOT))
    error.kind = BookErrorKind::NoRoom;
  return error;
}

}  // namespace pagewend::book
