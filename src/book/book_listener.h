#pragma once

#include <memory>
#include <string>

#include "book/files_in_making.h"
#include "book/unpacked_book.h"

namespace pagewend::book {

// What the reader tells its host while it unpacks a book, in this order: the title once, progress
// as it goes (done of total, total is 100), written once every file of the book is in place but
// for the page images still being made, and loaded once at the very end of a run that was not
// stopped. Calls come from the reader's thread; a GUI host hands each one to its own thread and
// returns only when it has been handled, so the reader never runs ahead of the window.
class BookListener {
 public:
  virtual ~BookListener() = default;
  virtual void BookTitle(const std::string& title) = 0;
  virtual void BookProgress(int done, int total) = 0;
  // imagesInMaking names the page images still to come, until loaded.
  virtual void BookWritten(const std::shared_ptr<const FilesInMaking>& imagesInMaking) {
    (void)imagesInMaking;
  }
  virtual void BookLoaded(const UnpackedBook& book) = 0;
};

}  // namespace pagewend::book
