#pragma once

#include <string>
#include <vector>

#include "model/properties.h"

namespace pagewend::model::project {

// One value property below an object: its dotted path ("title.value", list items as
// "items[0].name") and its value.
struct ListedSetting {
  std::string path;
  PropertyKind kind;
  PropertyValue value;
};

// Every value property of object and its sub-objects in table order, sections in place.
std::vector<ListedSetting> ListSettings(const Object& object);

// A value as the listing shows it: numbers in decimal (fractions with the given separator, as
// the document writes them), Booleans as "True"/"False", texts in double quotes with '"', '\'
// and control characters escaped so that a document cannot send terminal commands.
std::string FormatSettingValue(const PropertyValue& value, char decimalSeparator);

}  // namespace pagewend::model::project
