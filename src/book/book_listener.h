#pragma once

#include <string>

namespace pagewend::book {

// What the reader tells its host while it unpacks a book, in this order: the title once, progress
// as it goes (done of total, total is 100), and loaded once at the very end of a run that was not
// stopped. Calls come from the reader's thread; a GUI host hands each one to its own thread and
// returns only when it has been handled, so the reader never runs ahead of the window.
class BookListener {
 public:
  virtual ~BookListener() = default;
  virtual void BookTitle(const std::string& title) = 0;
  virtual void BookProgress(int done, int total) = 0;
  virtual void BookLoaded() = 0;
};

}  // namespace pagewend::book
