#include "book/book_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

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

std::optional<std::string> WhyNotABook(const std::filesystem::path& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return "does not exist";
  if (std::filesystem::is_directory(status)) return "is a folder, not a book";
  if (::access(path.c_str(), R_OK) != 0) return std::string("cannot be read (") + std::strerror(errno) + ")";
  try {
    LocateBook(package::PackageFile(path));
  } catch (const std::exception&) {
    return std::string("is ") + kNotABook;
  }
  return std::nullopt;
}

}  // namespace pagewend::book
