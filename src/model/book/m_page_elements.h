#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/book/m_basic_objects.h"

// The objects placed on a page: images, animated GIFs, text, video, sound and clickable areas,
// and the page's element list, which picks each item's class from the element name.
namespace pagewend::model::book {

class TMBasicPageElement : public TMBasicObject {
 public:
  explicit TMBasicPageElement(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

 protected:
  TMBasicPageElement(const TMClass& cls, TMBasicObjects* owner);
};

// Anything with a place on the page. Unknown element names load as this class.
class TBasicVisualPageElement : public TMBasicPageElement {
 public:
  explicit TBasicVisualPageElement(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

  std::int32_t left() const;
  std::int32_t top() const;
  std::int32_t width() const;
  std::int32_t height() const;

 protected:
  TBasicVisualPageElement(const TMClass& cls, TMBasicObjects* owner);
};

// An element shown from a file of the package.
class TBasicVisualPageFileElement : public TBasicVisualPageElement {
 public:
  explicit TBasicVisualPageFileElement(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

  const std::string& src() const;
  // Also makes the TagName "gif" for a ".gif" file (in any letter case) and "img" otherwise.
  void set_src(std::string value);
  std::uint32_t pos_() const;
  std::uint32_t size_() const;
  const std::string& thumb() const;
  void set_thumb(std::string value);
  std::uint32_t pos_thumb_() const;
  std::uint32_t size_thumb_() const;

 protected:
  TBasicVisualPageFileElement(const TMClass& cls, TMBasicObjects* owner);
};

// Saved under its TagName: an image of a ".gif" file is written as a "gif" element.
class TMImg final : public TBasicVisualPageFileElement {
 public:
  explicit TMImg(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();
};

class TMVid final : public TBasicVisualPageFileElement {
 public:
  explicit TMVid(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();

  const std::string& preview() const;
  void set_preview(std::string value);
  std::uint32_t pos_pre_() const;
  std::uint32_t size_pre_() const;
};

class TMSnd final : public TBasicVisualPageFileElement {
 public:
  explicit TMSnd(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();
};

class TMGif final : public TBasicVisualPageFileElement {
 public:
  explicit TMGif(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();
};

class TMTxt final : public TBasicVisualPageElement {
 public:
  explicit TMTxt(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();
};

class TMArea final : public TBasicVisualPageElement {
 public:
  explicit TMArea(TMBasicObjects* owner = nullptr);
  static const TMClass& ClassInfo();
};

// The page's "elem" list. Loading picks the class by the exact element name ("img", "gif",
// "txt", "vid", "snd", "area"); any other name gives a plain TBasicVisualPageElement.
class TBasicVisualPageElements final : public TMObjectList<TBasicVisualPageElement> {
 public:
  using TMObjectList::TMObjectList;

 protected:
  const TMClass& ClassForElement(std::string_view name) const override;
};

}  // namespace pagewend::model::book
