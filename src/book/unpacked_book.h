#pragma once

#include <string>

#include "reading/book_pages.h"

namespace pagewend {
class PathGetter;
}

namespace pagewend::book {

class BookOpener;

// A book after its run, as a reader sees it: its pages with their written files, and its own
// table of contents file when the package carries one that names pages, else the contents made of
// its chapters and bookmarks. The opener's documents must not change meanwhile.
reading::Book ReadUnpackedBook(const BookOpener& opener, const PathGetter& paths, std::string title);

}  // namespace pagewend::book
