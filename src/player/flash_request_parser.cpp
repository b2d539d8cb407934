#include "player/flash_request_parser.h"

#include <pugixml.hpp>

namespace pagewend::player {

namespace {

// All text below a node, as the DOM's text property gives it, in document order. Walked without
// recursion: the request comes from the movie, and nesting deeper than the stack must not end
// the player.
void AppendText(const pugi::xml_node root, std::string& out) {
  pugi::xml_node node = root.first_child();
  while (node) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
      out += node.value();
    } else if (node.type() == pugi::node_element && node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != root && !node.next_sibling()) node = node.parent();
    if (node == root) break;
    node = node.next_sibling();
  }
}

}  // namespace

FlashRequestParser::FlashRequestParser(std::string_view request) {
  // The declaration makes the request UTF-8 whatever it claims, as the movie's container does.
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> ";
  text += request;
  pugi::xml_document document;
  if (!document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8)) return;
  const pugi::xml_node invoke = document.child("invoke");
  if (!invoke) return;
  name_ = invoke.attribute("name").value();
  for (const pugi::xml_node argument : invoke.child("arguments").children()) {
    if (argument.type() != pugi::node_element) continue;
    AppendText(argument, arguments_.emplace_back());
  }
}

}  // namespace pagewend::player
