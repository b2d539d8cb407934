#include "book/book_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

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

namespace {

std::uint64_t Little(const unsigned char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// Where a 64-bit ELF program's own image ends (its segments and section headers); nothing for a
// file that is no such program.
std::optional<std::int64_t> ProgramEnd(const package::PackageFile& file) {
  unsigned char header[64];
  if (file.Size() < 64) return std::nullopt;
  file.Read(0, {reinterpret_cast<char*>(header), sizeof header}, "program header");
  if (std::memcmp(header,
                  "\x7F"
                  "ELF",
                  4) != 0 ||
      header[4] != 2 || header[5] != 1)
    return std::nullopt;
  const std::uint64_t phoff = Little(header + 0x20, 8), shoff = Little(header + 0x28, 8);
  const std::uint64_t phentsize = Little(header + 0x36, 2), phnum = Little(header + 0x38, 2);
  const std::uint64_t shentsize = Little(header + 0x3A, 2), shnum = Little(header + 0x3C, 2);
  const auto size = static_cast<std::uint64_t>(file.Size());
  if (phoff > size || shoff > size || phentsize < 0x38 || phnum * phentsize > size - phoff ||
      shnum * shentsize > size - shoff)
    return std::nullopt;
  std::uint64_t end = std::max(phoff + phnum * phentsize, shoff + shnum * shentsize);
  for (std::uint64_t i = 0; i < phnum; ++i) {
    unsigned char segment[0x38];
    file.Read(static_cast<std::int64_t>(phoff + i * phentsize),
              {reinterpret_cast<char*>(segment), sizeof segment}, "program segment");
    const std::uint64_t offset = Little(segment + 0x08, 8), length = Little(segment + 0x20, 8);
    if (offset <= size && length <= size - offset) end = std::max(end, offset + length);
  }
  return static_cast<std::int64_t>(end);
}

// A book cut short on its way (a download or a copy that stopped) has lost the documents at its
// end but keeps what came first: a program with bytes after its own image, or a package's first
// record, whose length field follows its payload and so holds its own offset.
bool LooksCutShort(const package::PackageFile& file) {
  try {
    if (const auto end = ProgramEnd(file)) return file.Size() > *end;
    constexpr std::int64_t kScanned = std::int64_t{64} << 20;
    constexpr std::int64_t kChunk = std::int64_t{1} << 20;
    const std::int64_t last = std::min(file.Size(), kScanned) - 4;
    std::vector<char> chunk(kChunk + 3);
    for (std::int64_t from = 4; from <= last; from += kChunk) {
      const std::int64_t count = std::min(kChunk, last - from + 1);
      file.Read(from, {chunk.data(), static_cast<std::size_t>(count + 3)}, "first record");
      for (std::int64_t i = 0; i < count; ++i)
        if (Little(reinterpret_cast<const unsigned char*>(chunk.data() + i), 4) ==
            static_cast<std::uint64_t>(from + i))
          return true;
    }
  } catch (const package::PackageError&) {
  }
  return false;
}

}  // namespace

package::Documents LocateBook(const package::PackageFile& file) {
  try {
    const package::Documents docs = package::LocateDocuments(file);
    if (LooksLikeXml(file, docs.project) && LooksLikeXml(file, docs.book)) return docs;
  } catch (const package::PackageError&) {
  }
  if (LooksCutShort(file)) throw std::runtime_error(std::string(kNotABook) + kCutShort);
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
  } catch (const std::exception& e) {
    return BookError{BookErrorKind::NotABook, path, std::string("is ") + e.what()};
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
