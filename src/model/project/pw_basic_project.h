#pragma once

#include "model/properties.h"

// The root of the settings document's classes. Each class declares its table with
// PAGEWEND_PROPERTIES; the table alone decides what the object creates, loads, copies and lists.
namespace pagewend::model::project {

// Booleans "True"/"False" (read in any case, as the book's are); decimals with the user's
// separator; names compared exactly;
// numbers that do not convert read as 0 wherever they stand; Cardinals read as signed 32-bit
// values, as the documents' writer wrote them; an element holding a value holds one text node.
inline constexpr Convention kSettingsConvention{
    .trueText = "True",
    .falseText = "False",
    .namesAnyCase = false,
    .pointDecimals = false,
    .strictAttributes = false,
    .unsignedCardinals = false,
    .singleTextNode = true,
    .depthCheck = XmlDepthCheck::kCheck,
    .badBoolean = "Invalid property element: {}",
};

using TPWOwner = ObjectOwner;
using TPWBasicProjects = ObjectList;

// Base of every settings object; it has no properties of its own.
class TPWBasicProject : public Object {
 public:
  using Object::Object;
  static const ObjectClass& ClassInfo() {
    static const ObjectClass info("TPWBasicProject", nullptr, nullptr, {}, &kSettingsConvention);
    return info;
  }
  const ObjectClass& Class() const override { return ClassInfo(); }
};

}  // namespace pagewend::model::project
