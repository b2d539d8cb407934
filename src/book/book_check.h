#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "book/book_error.h"
#include "package/package_file.h"
#include "package/package_format.h"

namespace pagewend::book {

// What a file is called that holds no book package at its end.
inline constexpr const char* kNotABook = "not a book (no package found at its end)";
// What follows it for a file that holds the start of a book but not its end.
inline constexpr const char* kCutShort = "; it looks cut short, as a download or a copy that did not finish";

// A document starts, after an optional UTF-8 byte-order mark and white space, with '<', or with
// a UTF-16 or UTF-32 byte-order mark.
bool LooksLikeXml(std::string_view head);
// The same test on the first bytes of a slice of a package.
bool LooksLikeXml(const package::PackageFile& file, package::Slice slice);

// Where the two documents lie at the end of a book package. A file whose trailing records are
// not two XML documents (an empty file, a program, a picture, a cut-off book) throws
// std::runtime_error(kNotABook), followed by kCutShort for a file that begins as a book does.
package::Documents LocateBook(const package::PackageFile& file);

// Why path cannot be opened as a book at all: missing, a folder, unreadable or not a book, with
// the reader's words as its detail ("does not exist", "is a folder, not a book", "cannot be read
// (...)", "is " and LocateBook's words). Nothing when a package is there, whatever state its contents are in.
std::optional<BookError> WhyNotABook(const std::filesystem::path& path);

// The error an unpack of book met with e: what the book's file is, when it is no book at all;
// else stopped, when the run was; else what e is (a full disk, the run's budget); else damage.
BookError ClassifyFailure(const std::filesystem::path& book, const std::exception& e, bool stopped);

}  // namespace pagewend::book
