#pragma once

#include <string>
#include <string_view>

#include "model/properties.h"

// The root of the book document's classes. Each class declares its table with
// PAGEWEND_PROPERTIES; loading, saving and Assign are driven by it alone.
namespace pagewend::model::book {

// Booleans written "true"/"false" and read in any case, as are property names; decimals always
// with "." (the user's separator is accepted too); an attribute that does not convert ends the
// load, logged as "Error on LoadXMLAttr:", while numbers in elements that do not convert read
// as 0; Cardinals unsigned; an element's value is its first text.
inline constexpr Convention kBookConvention{
    .trueText = "true",
    .falseText = "false",
    .namesAnyCase = true,
    .pointDecimals = true,
    .strictAttributes = true,
    .unsignedCardinals = true,
    .singleTextNode = false,
    // Loading descends only into children named after sub-objects and lists, so its recursion
    // ends with the model's own nesting whatever the document's.
    .depthCheck = XmlDepthCheck::kSkip,
    .badBoolean = "'{}' is not a valid Boolean value",
};

using TMClass = ObjectClass;
using TMBasicObjects = ObjectList;
template <class T>
using TMObjectList = ListOf<T>;
using TMLoadError = PropertyError;

// Whether saving leaves the property out, given the value as the book writes it.
bool IsSkippedValue(std::string_view name, std::string_view text);

// The base of every book object. Its TagName is the name an item of a class that is saved under
// its TagName (pages, images, areas) is written as; it starts as the class's element name.
class TMBasicObject : public Object {
 public:
  using Object::Object;
  static const ObjectClass& ClassInfo() {
    static const ObjectClass info("TMBasicObject", nullptr, nullptr, {}, &kBookConvention);
    return info;
  }
  const ObjectClass& Class() const override { return ClassInfo(); }

  std::string_view TagName() const { return tagName_.empty() ? Class().ElementName() : tagName_; }
  void SetTagName(std::string name) { tagName_ = std::move(name); }

 protected:
  bool LeftOut(std::string_view property, std::string_view text) const override {
    return IsSkippedValue(property, text);
  }

 private:
  std::string tagName_;
};

}  // namespace pagewend::model::book
