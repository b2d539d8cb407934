#include <gtest/gtest.h>

#include <fstream>

#include "model/book/m_book.h"
#include "reading/book_pages.h"
#include "reading/reading_places.h"
#include "reading/search.h"
#include "reading/spreads.h"
#include "testing/temp_dir.h"

namespace pagewend::reading {
namespace {

using model::book::TMBook;

Book LoadBook(const std::string& xml) {
  TMBook document;
  document.LoadFromStream(xml, model::LoadOptions{});
  return ReadBook(document, "");
}

// Pages 1..n with no content, a book of 100 × 200 units.
Book Blank(int pages, bool centreCovers = true, bool rightToLeft = false) {
  Book book;
  book.pageWidth = 100;
  book.pageHeight = 200;
  book.centreCovers = centreCovers;
  book.rightToLeft = rightToLeft;
  book.pages.resize(static_cast<std::size_t>(pages));
  return book;
}

TEST(Spreads, EveryPageIsOnExactlyTheSpreadThatShowsIt) {
  for (const SpreadMode mode : {SpreadMode::Single, SpreadMode::Double}) {
    for (int pages = 1; pages <= 7; ++pages) {
      const Spreads spreads(pages, mode);
      int seen = 0;
      for (int s = 0; s < spreads.Count(); ++s) {
        const Spread spread = spreads.At(s);
        ASSERT_EQ(spread.first, seen) << pages << " pages, spread " << s;
        ASSERT_GE(spread.count, 1);
        for (int p = spread.first; p < spread.first + spread.count; ++p) EXPECT_EQ(spreads.IndexOf(p), s);
        seen += spread.count;
      }
      EXPECT_EQ(seen, pages);
    }
  }
  // The cover alone, then pairs from the second page; a last page without a partner alone.
  const Spreads book(6, SpreadMode::Double);
  EXPECT_EQ(book.At(0), (Spread{0, 1}));
  EXPECT_EQ(book.At(1), (Spread{1, 2}));
  EXPECT_EQ(book.At(3), (Spread{5, 1}));
  EXPECT_EQ(book.At(99), (Spread{5, 1}));
  EXPECT_EQ(book.IndexOf(-4), 0);
  EXPECT_EQ(ModeForView(900, 600), SpreadMode::Double);
  EXPECT_EQ(ModeForView(600, 900), SpreadMode::Single);
}

TEST(Spreads, PagesLandWhereABookHoldsThem) {
  const View view{420, 200, 10};
  // Fitted by height (180 units of room for 200): the pair is 2 × 90 wide, centred.
  Book book = Blank(5, /*centreCovers=*/false);
  const Spreads spreads(5, SpreadMode::Double);
  Placement pair = Place(book, spreads, 1, view, Fit::Page, 1);
  EXPECT_DOUBLE_EQ(pair.scale, 0.9);
  ASSERT_EQ(pair.pages.size(), 2u);
  EXPECT_EQ(pair.pages[0].rect, (Box{120, 10, 90, 180}));
  EXPECT_EQ(pair.pages[1].rect, (Box{210, 10, 90, 180}));
  // Without centred covers the cover stands on the right half of the pair's room, the back on the left.
  EXPECT_EQ(Place(book, spreads, 0, view, Fit::Page, 1).pages[0].rect.x, 210);
  book.centreCovers = true;
  EXPECT_EQ(Place(book, spreads, 0, view, Fit::Page, 1).pages[0].rect.x, 165);
  // Right to left: the first page of a pair on the right.
  book.rightToLeft = true;
  pair = Place(book, spreads, 1, view, Fit::Page, 1);
  EXPECT_EQ(pair.pages[0].page, 1);
  EXPECT_EQ(pair.pages[0].rect.x, 210);
  // Zoomed in, panning moves the spread only as far as it reaches past the view.
  const Placement zoomed = Place(book, spreads, 1, view, Fit::Page, 3, 1000, -1000);
  EXPECT_DOUBLE_EQ(zoomed.bounds.x, 10);
  EXPECT_DOUBLE_EQ(zoomed.bounds.y + zoomed.bounds.height, 190);
  const Placement small = Place(book, spreads, 1, view, Fit::Page, 0.5, 1000, 1000);
  EXPECT_DOUBLE_EQ(small.bounds.x, (420 - small.bounds.width) / 2);
  // Fit to width fills the room across.
  EXPECT_DOUBLE_EQ(Place(book, spreads, 1, view, Fit::Width, 1).bounds.width, 400);

  // A spread taller than the view is read down from its top a screenful at a time, the last
  // step landing on its foot; from there the next step turns (nothing), and up goes back.
  const View low{420, 100, 10};
  const auto at = [&](double pan) { return Place(book, spreads, 1, low, Fit::Width, 1, 0, pan); };
  const double top = 1e9;
  EXPECT_DOUBLE_EQ(at(top).bounds.y, 10);
  std::vector<double> pans{top};
  while (const auto next = ScrollStep(at(pans.back()), low, 1)) {
    ASSERT_LT(*next, pans.back());
    ASSERT_LE(pans.size(), 10u);
    pans.push_back(*next);
  }
  ASSERT_GE(pans.size(), 3u);  // 200 units × 2 high over 80 pixels of room: several screenfuls
  EXPECT_DOUBLE_EQ(at(pans.back()).bounds.y + at(pans.back()).bounds.height, 90);
  const auto up = ScrollStep(at(pans.back()), low, -1);
  ASSERT_TRUE(up);
  EXPECT_GT(*up, pans.back());
  EXPECT_FALSE(ScrollStep(at(top), low, -1));
  EXPECT_FALSE(ScrollStep(Place(book, spreads, 1, view, Fit::Page, 1), view, 1));  // it fits
}

TEST(Spreads, TheTopmostLinkUnderAPointAnswers) {
  Book book = Blank(3);
  book.pages[1].links = {{Box{0, 0, 100, 100}, 2, {}}, {Box{50, 50, 20, 20}, -1, "https://example.org/"}};
  const Spreads spreads(3, SpreadMode::Double);
  const Placement placed = Place(book, spreads, 1, View{200, 200, 0}, Fit::Page, 1);
  const LinkHit inner = LinkAt(book, placed, 60, 60);
  ASSERT_NE(inner.link, nullptr);
  EXPECT_EQ(inner.link->url, "https://example.org/");
  EXPECT_EQ(LinkAt(book, placed, 10, 10).link->page, 2);
  EXPECT_EQ(LinkAt(book, placed, 10, 150).link, nullptr);  // on the page, outside its links
  EXPECT_EQ(LinkAt(book, placed, 150, 10).link, nullptr);  // on the page beside it
  EXPECT_EQ(LinkAt(book, placed, -5, 10).link, nullptr);   // off the pages
}

TEST(ReadBook, PagesPartsLinksAndContentsComeFromTheDocument) {
  const Book book = LoadBook(R"xml(<?xml version="1.0" encoding="UTF-8"?>
<book title="Atlas" pagewidth="600" pageheight="800" ltr="false">
 <bookmarks><bookmark title="Rivers" page="3"/><bookmark title="Maps" page="2"/>
  <bookmark title="Nowhere" page="40"/></bookmarks>
 <Chapters>
  <chapter><Pages>
   <page mobilefile2="/run/m1.jpg"><elem>
     <img src="/run/cover.swf" left="0" top="0" width="600" height="800"/>
     <txt content="Hello" left="10" top="20" width="300" height="40" size="18" bold="true" align="center"
          linktype="url" url="https://example.org/"/>
     <area left="1" top="2" width="3" height="4" linktype="page" page="3"/>
     <area left="1" top="2" width="3" height="4" linktype="page" page="9"/>
     <img src="/run/logo.png" left="5" top="6" width="7" height="8" linktype="email" email="a@b.c"/>
     <snd src="/run/s.mp3"/>
   </elem>
   <links><link x="9" y="9" width="10" height="10"><urls><url src="2"/></urls></link>
          <link x="9" y="9" width="10" height="10"><urls><url src="javascript:alert(1)"/></urls></link></links>
   </page>
   <page><elem><img src="/run/p2.jpg" left="0" top="0" width="600" height="800"/></elem></page>
  </Pages></chapter>
  <chapter><Pages><page/></Pages></chapter>
 </Chapters>
</book>)xml");
  EXPECT_EQ(book.title, "Atlas");
  EXPECT_EQ(book.pageWidth, 600);
  EXPECT_TRUE(book.rightToLeft);
  ASSERT_EQ(book.pages.size(), 3u);

  // A movie first on the page shows as the page's mobile image; sounds show nothing.
  const auto& parts = book.pages[0].parts;
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].file, "/run/m1.jpg");
  EXPECT_EQ(parts[0].box, (Box{0, 0, 600, 800}));
  EXPECT_EQ(parts[1].kind, PagePart::Kind::Text);
  EXPECT_EQ(parts[1].text, "Hello");
  EXPECT_TRUE(parts[1].style.bold);
  EXPECT_EQ(parts[1].style.align, "center");
  EXPECT_EQ(parts[2].file, "/run/logo.png");

  // Links of every kind, pages counted from 1 in the document and from 0 here; a page outside
  // the book is no link. What an address may do is the opener's rule, not the reader's.
  const auto& links = book.pages[0].links;
  ASSERT_EQ(links.size(), 5u);
  EXPECT_EQ(links[0].url, "https://example.org/");
  EXPECT_EQ(links[1].page, 2);
  EXPECT_EQ(links[2].url, "mailto:a@b.c");
  EXPECT_EQ(links[3].page, 1);
  EXPECT_EQ(links[4].url, "javascript:alert(1)");

  // A chapter entry each, the bookmarks in page order under theirs; a bookmark past the end is dropped.
  ASSERT_EQ(book.contents.size(), 4u);
  EXPECT_EQ(book.contents[0].title, "Chapter 1");
  EXPECT_EQ(book.contents[1].title, "Maps");
  EXPECT_EQ(book.contents[1].page, 1);
  EXPECT_EQ(book.contents[1].level, 1);
  EXPECT_EQ(book.contents[2].title, "Chapter 2");
  EXPECT_EQ(book.contents[2].page, 2);
  EXPECT_EQ(book.contents[3].title, "Rivers");
}

TEST(ReadBook, AContentsFileNestsItsEntriesAndIgnoresWhatItCannotPlace) {
  testing::TempDir dir;
  const auto file = dir.Path() / "toc.xml";
  std::ofstream(file) << R"(<toc><item title="One" page="1"><item label="Two" page="2"/>
    <item page="99" title="Far"/><item page="x" title="Bad"/></item><entry page="3">Three</entry></toc>)";
  const auto entries = ReadContentsFile(file, 3);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].title, "Two");
  EXPECT_EQ(entries[1].level, 1);
  EXPECT_EQ(entries[2].title, "Three");
  EXPECT_EQ(entries[2].page, 2);
  std::ofstream(file) << "<toc><item page=\"1\"";
  EXPECT_TRUE(ReadContentsFile(file, 3).empty());
  EXPECT_TRUE(ReadContentsFile(dir.Path() / "missing.xml", 3).empty());
}

// The reader reads only files of the run's folder, found as the book names them; a page's image
// named outside the folder (or not written) is no part of the page.
TEST(ReadBook, FilesAreFoundInTheRunsFolderOnly) {
  testing::TempDir dir;
  const auto files = dir / "files";
  std::filesystem::create_directories(files / "res" / "pages");
  testing::WriteFile(files / "res" / "pages" / "P1.jpg", "jpg");
  testing::WriteFile(dir / "outside.jpg", "jpg");
  Book book =
      LoadBook(R"xml(<book><Chapters><chapter><Pages><page pagethumb="res\thumbs\t1.png">
   <elem><img src="RES\Pages\p1.JPG" width="9" height="9"/><img src=")xml" +
               (dir / "outside.jpg").string() +
               R"xml(" width="9" height="9"/><img src="res/pages/../../../outside.jpg" width="9" height="9"/>
   <txt content="Hi" width="9" height="9"/></elem></page></Pages></chapter></Chapters></book>)xml");
  FindFiles(book, files);
  const auto& parts = book.pages[0].parts;
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].file, files / "res" / "pages" / "P1.jpg");
  EXPECT_EQ(parts[1].text, "Hi");
  EXPECT_TRUE(book.pages[0].thumbnail.empty());
}

// Which pages hold a text, from the pages' search text files and their text elements, in any
// case and with or without the accents the book writes, whatever encoding its files have.
TEST(BookSearch, FindsThePagesThatHoldAText) {
  testing::TempDir dir;
  Book book = Blank(6);
  const auto searchText = [&](int page, std::string_view bytes) {
    const auto file = dir / ("s" + std::to_string(page) + ".txt");
    testing::WriteFile(file, bytes);
    book.pages[static_cast<std::size_t>(page)].searchText = file;
  };
  const auto text = [&](int page, std::string words) {
    PagePart part;
    part.kind = PagePart::Kind::Text;
    part.text = std::move(words);
    book.pages[static_cast<std::size_t>(page)].parts.push_back(std::move(part));
  };
  searchText(0,
             "\xEF\xBB\xBF"
             "Die Br\xC3\xBC"
             "cke  am\n\tFlu\xC3\x9F bei Z\xC3\xBCrich");
  text(1, "CAF\xC3\x89 de Flore");  // composed É
  searchText(2,
             "Cr\xE8me br\xFBl\xE9"
             "e \x96 caf\xE9");        // Windows-1252
  text(3, "Le cafe\xCC\x81 du coin");  // e and a combining accent
  text(3, "Ende");
  searchText(4, std::string("\xFF\xFE"
                            "B\0R\0\xDC\0"
                            "C\0K\0E\0",
                            14));  // UTF-16, "BRÜCKE"
  const BookSearch search(book);
  EXPECT_FALSE(search.Empty());
  EXPECT_EQ(search.PagesMatching("café"), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(search.PagesMatching("CAFE"), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(search.PagesMatching("brücke"), (std::vector<int>{0, 4}));
  EXPECT_EQ(search.PagesMatching("Brucke"), (std::vector<int>{0, 4}));
  EXPECT_EQ(search.PagesMatching("creme brulee"), (std::vector<int>{2}));
  EXPECT_EQ(search.PagesMatching("am flu\xC3\x9F"), (std::vector<int>{0}));  // white space as one space
  EXPECT_EQ(search.PagesMatching("crème brûlée – café"), (std::vector<int>{2}));
  EXPECT_EQ(search.PagesMatching("coin ende"), (std::vector<int>{3}));  // two texts of a page, apart
  EXPECT_TRUE(search.PagesMatching("coinende").empty());
  EXPECT_TRUE(search.PagesMatching(" \t").empty());
  EXPECT_TRUE(search.PagesMatching("zürich flore").empty());
  EXPECT_TRUE(BookSearch(Blank(3)).Empty());
}

// Where the reader left each book survives a new run; a damaged file loses the places, never
// the run; the file is replaced whole.
TEST(ReadingPlaces, RememberedAcrossRunsAndForgivingOfDamage) {
  testing::TempDir dir;
  const auto folder = dir / "state";
  testing::WriteFile(dir / "a.book", std::string(100000, 'a') + "one");
  testing::WriteFile(dir / "b.book", std::string(100000, 'a') + "two");
  testing::WriteFile(dir / "a-copy.book", std::string(100000, 'a') + "one");
  const std::string a = BookIdentity(dir / "a.book");
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, BookIdentity(dir / "b.book"));
  EXPECT_EQ(a, BookIdentity(dir / "a-copy.book"));  // the same book, wherever it lies
  EXPECT_EQ(BookIdentity(dir / "missing.book"), "");

  ReadingPlaces places = ReadingPlaces::Load(folder);  // nothing yet
  EXPECT_FALSE(places.Find(a));
  const ReadingPlace left{"/books/a.book", "A", 11, true, true, false, 1000, 700};
  places.Remember(a, left);
  places.Remember(BookIdentity(dir / "b.book"), {"/books/b.book", "B", 3});
  places.Remember(a, left);
  ASSERT_TRUE(places.Save(folder));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()),
            1);
  // The reader's own: nobody else learns which books were read.
  EXPECT_EQ(std::filesystem::status(folder / kReadingPlacesFile).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const ReadingPlaces again = ReadingPlaces::Load(folder);
  EXPECT_EQ(again.Find(a), left);
  EXPECT_EQ(again.RecentFiles(10), (std::vector<std::string>{"/books/a.book", "/books/b.book"}));
  EXPECT_EQ(again.RecentFiles(1).size(), 1u);

  const auto file = folder / kReadingPlacesFile;
  for (const std::string& damaged :
       {std::string("{\"books\": [{\"identity\": \""), std::string("\0\xFF garbage", 10),
        std::string("[1, 2]"), std::string("{\"books\": {}}")}) {
    testing::WriteFile(file, damaged);
    EXPECT_FALSE(ReadingPlaces::Load(folder).Find(a)) << damaged;
  }
  // Entries of the wrong shape are passed over, the sound ones kept; values out of range are not taken.
  testing::WriteFile(file, R"({"books": [7, {"identity": 3}, {"identity": ")" + a +
                               R"(", "page": -4, "view": "pages", "width": "wide"}]})");
  const auto sound = ReadingPlaces::Load(folder).Find(a);
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->page, 0);
  EXPECT_TRUE(sound->pageView);
  EXPECT_EQ(sound->width, 0);
}

}  // namespace
}  // namespace pagewend::reading
