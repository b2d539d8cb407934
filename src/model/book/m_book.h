#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/book/m_basic_objects.h"
#include "model/book/m_page_elements.h"
#include "support/guid.h"

// The book document: the book with its viewer settings, its background, bookmarks and
// chapters; chapters hold pages, pages hold their elements and link rectangles. Package
// references are pos_ (past the record's length field) and size_ (payload + 4); 0 is absent.
namespace pagewend::model::book {

inline constexpr std::int64_t kGreyWithAlpha = 4291611852;  // 0xFFCCCCCC
// A new bookmark's colour is drawn at random, so new bookmarks tell apart.
std::uint32_t RandomBookmarkColor();

// clang-format off
#define PAGEWEND_TMURL_PROPERTIES(P, S, L) \
  P(src, Text, "")

#define PAGEWEND_TMLINK_PROPERTIES(P, S, L) \
  P(x, Integer, 0) \
  P(y, Integer, 0) \
  P(width, Integer, 0) \
  P(height, Integer, 0) \
  L(urls, TMURLs)

#define PAGEWEND_TMPAGE_PROPERTIES(P, S, L) \
  P(isSimplePage, Boolean, false) \
  P(bgcolor, Int64, kGreyWithAlpha) \
  P(foldfx, Double, 0.5) \
  P(shadows, Double, 0.5) \
  P(stiff, Boolean, false) \
  P(turningenabled, Boolean, true) \
  P(print, Text, "") \
  P(searchtxt, Text, "") \
  P(download, Text, "") \
  L(elem, TBasicVisualPageElements) \
  P(pos_print_, Cardinal, 0) \
  P(size_print_, Cardinal, 0) \
  P(pos_search_, Cardinal, 0) \
  P(size_search_, Cardinal, 0) \
  P(pos_download_, Cardinal, 0) \
  P(size_download_, Cardinal, 0) \
  P(mobilefile1, WideText, "") \
  P(mobilefile2, WideText, "") \
  P(pos_mobilefile2, Cardinal, 0) \
  P(size_mobilefile2, Cardinal, 0) \
  P(pagethumb, WideText, "") \
  P(photoviewthumb, WideText, "") \
  L(links, TMLinks)

#define PAGEWEND_TMCHAPTER_PROPERTIES(P, S, L) \
  L(Pages, TMPages) \
  P(bgsound, WideText, "") \
  P(fade, Integer, 1000) \
  P(bgcolor, Int64, kGreyWithAlpha) \
  P(pos_, Cardinal, 0) \
  P(size_, Cardinal, 0)

#define PAGEWEND_TMBOOKMARK_PROPERTIES(P, S, L) \
  P(title, WideText, "") \
  P(page, Integer, 1) \
  P(color, Cardinal, RandomBookmarkColor())

#define PAGEWEND_TMBOX_PROPERTIES(P, S, L) \
  P(anchors, Text, "0, 0, pw, ph") \
  P(width, Integer, 0) \
  P(height, Integer, 0) \
  P(background, Text, "") \
  P(backgroundrepeat, Boolean, false) \
  P(scale9grid, Text, "") \
  P(alpha, Double, 1) \
  P(pos, Integer, 0)

#define PAGEWEND_TMBACKGROUND_PROPERTIES(P, S, L) \
  S(box, TMBox)

#define PAGEWEND_TMBOOK_PROPERTIES(P, S, L) \
  P(version, Text, "") \
  P(title, Text, "") \
  P(uid, Text, ::pagewend::NewGuidText()) \
  P(asulextension, Text, "swf") \
  P(bgcolor, Int64, 13421772) \
  P(foldfx, Double, 0.5) \
  P(plugins, Text, "") \
  P(guipath, Text, "res/other/") \
  P(flagpath, Text, "res/flags/") \
  P(ignoresyslang, Boolean, false) \
  P(gaaccount, Text, "") \
  P(lang, Text, "") \
  P(handcursor, Boolean, true) \
  P(ltr, Boolean, true) \
  P(pagethickness, Double, 0.3) \
  P(pagesounds, Boolean, true) \
  P(pagewidth, Integer, 0) \
  P(pageheight, Integer, 0) \
  P(reflection, Boolean, false) \
  P(reflectionalpha, Double, 0.25) \
  P(reflectionfade, Boolean, false) \
  P(reflectionoffset, Integer, 0) \
  P(minimode, Boolean, false) \
  P(miniwidth, Integer, 400) \
  P(miniheight, Integer, 300) \
  P(marginleft, Integer, 20) \
  P(marginright, Integer, 20) \
  P(margintop, Integer, 70) \
  P(marginbottom, Integer, 75) \
  P(rotate, Integer, 0) \
  P(startpage, Integer, 1) \
  P(slidedelay, Double, 3) \
  P(sliderepeat, Boolean, false) \
  P(slidestart, Boolean, false) \
  P(centercovers, Boolean, true) \
  P(cornerhint, Boolean, false) \
  P(pluginpath, Text, "plugins/") \
  P(dragspeed, Double, 0.5) \
  P(dragarea, Text, "top,middle,bottom") \
  P(dragrange, Text, "auto") \
  P(zoominit, Double, 0.5) \
  P(zoomminscale, Double, 0.1) \
  P(zoommaxscale, Double, 5) \
  P(zoomliquidscaling, Boolean, true) \
  P(zoomsteps, Integer, 1) \
  P(zoomsnap, Text, "1,2,3,5") \
  P(zoomwheel, Boolean, false) \
  P(zoomdoubleclick, Boolean, false) \
  P(useminfixzoom, Boolean, true) \
  P(zoombar, Boolean, true) \
  P(spinecurvature, Double, -0.5) \
  P(spinecolor, Cardinal, 13421772) \
  P(maxloaded, Integer, 30) \
  P(bggradient, Boolean, false) \
  P(password, Text, "") \
  P(simplepage, Boolean, false) \
  P(searchindex, Text, "") \
  P(searchclear, Boolean, false) \
  P(printmaxpages, Integer, 100) \
  P(printthumbsperpage, Integer, 30) \
  P(printselectcurrent, Boolean, true) \
  P(printstretch, Boolean, true) \
  P(keyfullscreen, Integer, 0) \
  P(keyprevpage, Integer, 0) \
  P(keynextpage, Integer, 0) \
  P(keyfirstpage, Integer, 0) \
  P(keylastpage, Integer, 0) \
  P(keyzoomin, Integer, 0) \
  P(keyzoomout, Integer, 0) \
  P(thumbloadtext, Text, "") \
  P(thumbpath, WideText, "res/thumbnails/thumb_{{num}}.png") \
  P(thumbstatic, Boolean, true) \
  P(thumbauto, Boolean, true) \
  P(pagepreview, Boolean, true) \
  P(thumbscale, Double, 0.2) \
  P(alwayshowthumb, Boolean, false) \
  P(autoMove, Boolean, false) \
  P(fullscreenopened, Boolean, false) \
  P(langpath, Text, "res/languages/") \
  P(download, Text, "") \
  S(background, TMBackground) \
  L(bookmarks, TMBookmarks) \
  L(Chapters, TMChapters) \
  P(pos_search_, Cardinal, 0) \
  P(size_search_, Cardinal, 0) \
  P(pos_download_, Cardinal, 0) \
  P(size_download_, Cardinal, 0) \
  P(pos_langs_, Cardinal, 0) \
  P(size_langs_, Cardinal, 0) \
  P(bookmarktype, Text, "box") \
  P(errorlevel, Text, "NONE")
// clang-format on

class TMURL final : public TMBasicObject {
  PAGEWEND_PROPERTIES(TMURL, TMBasicObject, PAGEWEND_TMURL_PROPERTIES)
};
class TMURLs final : public ListOf<TMURL> {
 public:
  using ListOf::ListOf;
};

class TMLink final : public TMBasicObject {
  PAGEWEND_PROPERTIES(TMLink, TMBasicObject, PAGEWEND_TMLINK_PROPERTIES)
};
class TMLinks final : public ListOf<TMLink> {
 public:
  using ListOf::ListOf;
};

// Saved as "page", or as "spreadpage" while isSimplePage is true.
class TMPage final : public TMBasicObject {
  PAGEWEND_PROPERTIES(TMPage, TMBasicObject, PAGEWEND_TMPAGE_PROPERTIES)
  std::string_view ElementName() const override { return TagName(); }

 protected:
  void Changed(std::string_view property) override {
    if (property == "isSimplePage") SetTagName(isSimplePage() ? "spreadpage" : "page");
  }
};

class TMPages final : public ListOf<TMPage> {
 public:
  using ListOf::ListOf;

  // Moves the pages at the given indices (decimal texts) to stand, in ascending order of
  // their old positions, where `target` (an index of the list before the move, 0 to Count)
  // was. Indices that are no integers, out of range or repeated throw std::invalid_argument
  // and leave the list unchanged.
  void MovePages(std::span<const std::string> indices, std::size_t target);
};

class TMChapter final : public TMBasicObject {
  PAGEWEND_PROPERTIES(TMChapter, TMBasicObject, PAGEWEND_TMCHAPTER_PROPERTIES)
};
class TMChapters final : public ListOf<TMChapter> {
 public:
  using ListOf::ListOf;
};

class TMBookmark final : public TMBasicObject {
  PAGEWEND_PROPERTIES(TMBookmark, TMBasicObject, PAGEWEND_TMBOOKMARK_PROPERTIES)
};
class TMBookmarks final : public ListOf<TMBookmark> {
 public:
  using ListOf::ListOf;
};

// The background box. It has its own saving rule: the values that the viewer takes as given
// (width and height 0, no repeat, no scale-9 grid, alpha 1, no background) are left out.
class TMBox final : public TMBasicObject {
  PAGEWEND_PROPERTIES(TMBox, TMBasicObject, PAGEWEND_TMBOX_PROPERTIES)

 protected:
  bool LeftOut(std::string_view property, std::string_view text) const override;
};

class TMBackground final : public TMBasicObject {
  PAGEWEND_PROPERTIES(TMBackground, TMBasicObject, PAGEWEND_TMBACKGROUND_PROPERTIES)
};

class TMBook final : public TMBasicObject {
  PAGEWEND_PROPERTIES(TMBook, TMBasicObject, PAGEWEND_TMBOOK_PROPERTIES)

  // The document as saved: a UTF-8 "book" document with an XML declaration.
  std::string SaveToString() const;
};

// The book's pages in reading order: every chapter's, chapter after chapter. Unpacking, packing,
// info and reading all count and number a book's pages by this one rule.
std::vector<TMPage*> BookPages(TMBook& book);
std::vector<const TMPage*> BookPages(const TMBook& book);

}  // namespace pagewend::model::book
