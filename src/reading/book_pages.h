#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pagewend::model::book {
class TMBook;
}

// A book as a reader sees it: its pages in order, what each page shows where, its links and its
// table of contents. Built from the book document after a run, when its file references name the
// written files; plain values, so that a view or an exporter holds them without the model.
namespace pagewend::reading {

// A rectangle in the book's page coordinates (its pagewidth × pageheight).
struct Box {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  bool Empty() const { return width <= 0 || height <= 0; }
  bool Contains(double px, double py) const {
    return px >= x && py >= y && px < x + width && py < y + height;
  }
  friend bool operator==(const Box&, const Box&) = default;
};

struct TextStyle {
  std::uint32_t color = 0;  // 0xRRGGBB
  int size = 12;            // in page units
  bool bold = false;
  bool italic = false;
  bool underline = false;
  std::string font = "Tahoma";
  std::string align = "left";  // "left", "center", "right"
};

// What a page draws, in the order it draws it.
struct PagePart {
  enum class Kind {
    Image,  // a raster file in its box
    Text,   // text in its box
  };
  Kind kind = Kind::Image;
  Box box;
  std::filesystem::path file;
  std::string text;
  TextStyle style;
};

// A clickable area: to a page of the book, or out to an address.
struct Link {
  Box area;
  int page = -1;    // the target's index in Book::pages, or -1 for an address
  std::string url;  // the address as the book gives it; whether it may open is the caller's rule
};

struct Page {
  std::uint32_t background = 0xCCCCCC;  // 0xRRGGBB
  std::vector<PagePart> parts;
  std::vector<Link> links;
  // The derived images the run made; they may be missing when the page's image was not made.
  std::filesystem::path thumbnail;
  std::filesystem::path mobileImage;
  // The page's text for searching, as a file of the run.
  std::filesystem::path searchText;
};

struct ContentsEntry {
  std::string title;
  int page = 0;  // index in Book::pages
  int level = 0;
};

struct Book {
  std::string title;
  // The book's language as its document names it ("lang"), trimmed; empty when it names none.
  std::string language;
  double pageWidth = 0;
  double pageHeight = 0;
  bool rightToLeft = false;
  bool centreCovers = true;
  std::vector<Page> pages;
  std::vector<ContentsEntry> contents;
};

// The reader's view of a book document after a run. Pages of every chapter, in order; an element
// that is a movie (or a video) shows, when it is the page's first, the page's mobile image in its
// place, as the run made the thumbnail from it; other movies, sounds and unknown elements show
// nothing. The contents: one entry per chapter when there are several, then the bookmarks, by page.
// A page size the document lacks is taken from the first page's first element.
Book ReadBook(const model::book::TMBook& book, std::string title);

// Points every file the book names at the file of filesFolder that the book's name rule finds
// for it (names may be relative to the folder, or full paths below it, in any case and with
// either separator). A part whose file is not there is dropped, and a page's other files are
// left empty: nothing outside filesFolder, and nothing the run did not write, is ever read.
void FindFiles(Book& book, const std::filesystem::path& filesFolder);

// The book's own table of contents file, when it is an XML file whose elements carry a page
// number ("page") and a title ("title", "label", "name", or their text): one entry per element,
// nested as the elements are. Pages count from 1 in the file; entries outside the book are left
// out. Nothing when the file is missing, too large or not such a file.
std::vector<ContentsEntry> ReadContentsFile(const std::filesystem::path& file, int pageCount);

}  // namespace pagewend::reading
