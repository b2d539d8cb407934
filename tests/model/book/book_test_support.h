#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "model/book/m_book.h"

namespace pagewend::model::book::testing {

inline LoadOptions Options(char separator = '.') {
  LoadOptions options;
  options.settings.decimalSeparator = separator;
  return options;
}

// The first element of the given name anywhere in the document.
inline pugi::xml_node FindElement(const pugi::xml_document& doc, std::string_view name) {
  return doc.find_node([&](pugi::xml_node n) { return n.type() == pugi::node_element && name == n.name(); });
}

inline std::vector<std::string> AttributeNames(pugi::xml_node element) {
  std::vector<std::string> names;
  for (pugi::xml_attribute a : element.attributes()) names.emplace_back(a.name());
  return names;
}

inline std::vector<std::string> ChildNames(pugi::xml_node element) {
  std::vector<std::string> names;
  for (pugi::xml_node c : element.children())
    if (c.type() == pugi::node_element) names.emplace_back(c.name());
  return names;
}

inline pugi::xml_document Parse(const std::string& text) {
  pugi::xml_document doc;
  doc.load_string(text.c_str());
  return doc;
}

// A book loaded from a document whose root holds the given inner XML.
inline std::string BookXml(std::string_view attributes, std::string_view inner) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><book " + std::string(attributes) + ">" +
         std::string(inner) + "</book>";
}

}  // namespace pagewend::model::book::testing
