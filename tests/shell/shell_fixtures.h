#pragma once

#include <QColor>
#include <QString>
#include <filesystem>
#include <string>
#include <utility>
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
  // The movie's first frame is up.
  void Start() { emit MovieStarted(); }

 private:
  std::filesystem::path movie_;
  int sets_ = 0;
};

// A book package with tiny documents and a start movie (a blank one unless given), as the
// player reads it.
// projectExtra is put into the project document as it is.
void WriteBookPackage(const std::filesystem::path& out, const std::string& title = "Test book",
                      std::string movie = {}, const std::string& projectExtra = {});

// The colour of page i's image in WritePagedBook's books.
QColor PageColour(int page);
// A book of `pages` pages of 600 × 800, each a PNG of one colour (PageColour); the first page
// has a link to page 5 in its top left corner and one to https://example.org/ in its top right;
// a bookmark "Middle" names page 4; page 3 shows the text "BRÜCKE" at its foot, and page 7's
// search text is "Die Brücke am Fluß". When withMovie, a start movie: the one given, or a blank
// one.
void WritePagedBook(const std::filesystem::path& out, int pages, bool withMovie, std::string movie = {});

// A movie that calls ExternalInterface "fullscreen_error" and then a name nothing defines with
// a number, a Boolean and a string that needs escaping, then stops.
std::string CallingMovie();
// A movie that asks for links of its own on its first frame (https in its own window and in a
// new one), then calls "links_ready". Its left half is a button that asks for https in a new
// window, javascript: URLs for every kind of target (their script would open a link of its
// own), a file: URL and a second https link, then calls "links_done"; its right half one that
// asks for a mailto link with an attachment, then calls "mail_done".
std::string LinkingMovie();

// The ExternalInterface request for name with the given argument elements.
QString Request(const QString& name, const QString& arguments = {});

// A book package with the start movie and files beside it: each (name, bytes) is written to the
// files folder under its name ("/" separates folders; the book names it with "\", as books
// made on Windows do; the names go into the document as they are). The files are sound elements of the one
// page, which nothing decodes. bookXmlExtra goes into the book document's book element, before its chapters.
void WriteBookWithFiles(const std::filesystem::path& out, const std::string& startMovie,
                        const std::vector<std::pair<std::string, std::string>>& files,
                        const std::string& bookXmlExtra = {});

// An ActionScript 2 movie that loads its files by names relative to its folder, as old books'
// movies do: LoadVars.load("vars.txt") and loadVariables("vars.txt", clip) for
// "greeting=...&count=...", XML.load("data\list.xml") for a list whose first element has a
// name attribute (white space ignored), and loadMovie("pic.jpg", clip). Once all have arrived it
// calls ExternalInterface "pagewend_as2" with LoadVars' greeting, the clip's count, the first
// element's name and the picture's width in pixels; when LoadVars or XML reports a failure,
// "pagewend_as2" with "failed" and the file's name instead.
std::string LoadingMovie();

}  // namespace pagewend::shell::testing
