#pragma once

#include <QColor>
#include <QString>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/movie_host.h"

namespace pagewend::shell::testing {

// Stands in for the movie area: remembers the movie it was given and lets a test make calls.
class FakeMovieHost final : public MovieHost {
  Q_OBJECT

 public:
  void SetMovie(const std::filesystem::path& path) override {
    movie_ = path;
    ++sets_;
  }
  std::filesystem::path Movie() const override { return movie_; }
  int Sets() const { return sets_; }
  void Call(const QString& request) { emit FlashCall(request); }

 private:
  std::filesystem::path movie_;
  int sets_ = 0;
};

// A book package with tiny documents and a start movie (a blank one unless given), as the
// player reads it.
void WriteBookPackage(const std::filesystem::path& out, const std::string& title = "Test book",
                      std::string movie = {});

// The colour of page i's image in WritePagedBook's books.
QColor PageColour(int page);
// A book of `pages` pages of 600 × 800, each a PNG of one colour (PageColour); the first page
// has a link to page 5 in its top left corner and one to https://example.org/ in its top right;
// a bookmark "Middle" names page 4. A blank start movie when withMovie.
void WritePagedBook(const std::filesystem::path& out, int pages, bool withMovie);

// A movie that calls ExternalInterface "fullscreen_error" and then a name nothing defines with
// a number, a Boolean and a string that needs escaping, then stops.
std::string CallingMovie();
// A movie that asks for links on its first frame: https in a new window and in its own, a
// javascript: URL for every kind of target (its script would open a link of its own), and a
// file: URL; then calls "links_done".
std::string LinkingMovie();

// The ExternalInterface request for name with the given argument elements.
QString Request(const QString& name, const QString& arguments = {});

}  // namespace pagewend::shell::testing
