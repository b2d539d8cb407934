#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "reading/book_pages.h"

namespace pagewend::reading {

// Per page, at most this much of its search text is read.
inline constexpr std::size_t kMaxPageSearchBytes = 64 << 10;

// A page's search text as UTF-8, in whichever form the book wrote it: UTF-8, UTF-16 with its
// byte-order mark, or Windows-1252 (what books made on Windows write) for text that is not UTF-8.
// cut: the bytes stop at a limit, perhaps inside a character. The one reading of search texts,
// for the page view's find and the exports alike.
std::string DecodeSearchText(std::string_view bytes, bool cut = false);

// Finding words in a book: each page's own search text (the file the book gives it) and the
// texts its text elements show, compared as a reader means them: in any case, with or without
// accents (a composed "é" and an "e" with a combining accent are one letter), and any run of
// white space as one space.
class BookSearch {
 public:
  // Reads the pages' search texts: UTF-8, UTF-16 with its byte-order mark, and Windows-1252
  // (what books made on Windows write) for text that is not UTF-8.
  explicit BookSearch(const Book& book);

  // No page has anything to search.
  bool Empty() const { return empty_; }
  // The pages (indexes into Book::pages, in order) whose text holds query; none for a query of
  // white space only.
  std::vector<int> PagesMatching(std::string_view query) const;

 private:
  // Each page's text as compared, UTF-8.
  std::vector<std::string> folded_;
  bool empty_ = true;
};

}  // namespace pagewend::reading
