#pragma once

#include <cstddef>
#include <string>

#include "reading/book_pages.h"

namespace pagewend {
class RunFolder;
}
namespace pagewend::model::book {
class TMBook;
}
namespace pagewend::model::project {
class TPWProject;
}

namespace pagewend::book {

// A book after its run, handed over once it is loaded: what a frontend needs of it, as a value.
struct UnpackedBook {
  std::string title;
  // Its pages with the files the run wrote, and its own table of contents file when the package
  // carries one that names pages, else the contents made of its chapters and bookmarks.
  reading::Book book;
  // Pages that lack some of their images (the log names each and why).
  std::size_t pagesWithoutImages = 0;
};

// The unpacked book read from a run's documents, whose file references point at the written files.
UnpackedBook ReadUnpackedBook(const model::book::TMBook& book, const model::project::TPWProject& project,
                              const RunFolder& paths, std::string title);

}  // namespace pagewend::book
