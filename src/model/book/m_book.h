#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/book/m_basic_objects.h"
#include "model/book/m_page_elements.h"

// The book document: the book with its viewer settings, its background, bookmarks and
// chapters; chapters hold pages, pages hold their elements and link rectangles.
namespace pagewend::model::book {

class TMURL final : public TMBasicObject {
 public:
  explicit TMURL(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();
};

class TMURLs final : public TMObjectList<TMURL> {
 public:
  using TMObjectList::TMObjectList;
};

class TMLink final : public TMBasicObject {
 public:
  explicit TMLink(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

  TMURLs& urls() const;
};

class TMLinks final : public TMObjectList<TMLink> {
 public:
  using TMObjectList::TMObjectList;
};

// Saved as "page", or as "spreadpage" while isSimplePage is true.
class TMPage final : public TMBasicObject {
 public:
  explicit TMPage(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

  bool isSimplePage() const;
  void set_isSimplePage(bool value);
  TBasicVisualPageElements& elem() const;
  TMLinks& links() const;

  // File references that extraction rewrites.
  const std::string& print() const;
  void set_print(std::string value);
  const std::string& searchtxt() const;
  void set_searchtxt(std::string value);
  const std::string& mobilefile1() const;
  void set_mobilefile1(std::string value);
  const std::string& mobilefile2() const;
  void set_mobilefile2(std::string value);
  const std::string& pagethumb() const;
  void set_pagethumb(std::string value);
  const std::string& photoviewthumb() const;
  void set_photoviewthumb(std::string value);

  // Package references (pos_ past the record's length field, size_ = payload + 4; 0 absent).
  std::uint32_t pos_print_() const;
  std::uint32_t size_print_() const;
  std::uint32_t pos_search_() const;
  std::uint32_t size_search_() const;
  std::uint32_t pos_download_() const;
  std::uint32_t size_download_() const;
  std::uint32_t pos_mobilefile2() const;
  std::uint32_t size_mobilefile2() const;
};

class TMPages final : public TMObjectList<TMPage> {
 public:
  using TMObjectList::TMObjectList;

  // Moves the pages at the given indices (decimal texts) to stand, in ascending order of
  // their old positions, where `target` (an index of the list before the move, 0 to Count)
  // was. Indices that are no integers, out of range or repeated throw std::invalid_argument
  // and leave the list unchanged.
  void MovePages(std::span<const std::string> indices, std::size_t target);
};

class TMChapter final : public TMBasicObject {
 public:
  explicit TMChapter(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

  TMPages& Pages() const;
  const std::string& bgsound() const;
  void set_bgsound(std::string value);
  std::uint32_t pos_() const;
  std::uint32_t size_() const;
};

class TMChapters final : public TMObjectList<TMChapter> {
 public:
  using TMObjectList::TMObjectList;
};

// Its colour is drawn at random when it is made, so new bookmarks tell apart.
class TMBookmark final : public TMBasicObject {
 public:
  explicit TMBookmark(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();
};

class TMBookmarks final : public TMObjectList<TMBookmark> {
 public:
  using TMObjectList::TMObjectList;
};

// The background box. It has its own saving rule: the values that the viewer takes as given
// (width and height 0, no repeat, no scale-9 grid, alpha 1, no background) are left out.
class TMBox final : public TMBasicObject {
 public:
  explicit TMBox(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

  void SaveToXML(pugi::xml_node element) const override;
};

class TMBackground final : public TMBasicObject {
 public:
  explicit TMBackground(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

  TMBox& box() const;
};

class TMBook final : public TMBasicObject {
 public:
  explicit TMBook(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

  // Parses a whole document, with the encoding the document names, and loads the root
  // element whatever its name. Throws XmlError for a malformed document and TMLoadError for
  // a value that does not convert.
  void LoadFromStream(std::string_view bytes, const LoadOptions& options);
  // The document as saved: a UTF-8 "book" document with an XML declaration.
  std::string SaveToString() const;

  TMBackground& background() const;
  TMBookmarks& bookmarks() const;
  TMChapters& Chapters() const;
};

}  // namespace pagewend::model::book
