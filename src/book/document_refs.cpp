#include "book/document_refs.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "book/reference_slots.h"
#include "model/xml_source.h"

namespace pagewend::book {
using namespace package;

namespace {

using Span = DocumentRefs::Span;
using Spot = DocumentRefs::Spot;

pugi::xml_document Parse(const std::string& text, std::string_view what) {
  const std::string encoding = model::DeclaredEncoding(text);
  if (!encoding.empty() && encoding != "utf-8" && encoding != "utf8")
    throw PackageError(fmt::format("{}: declared as {}; only UTF-8 documents can be packed", what, encoding));
  pugi::xml_document doc;
  const auto result = doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_declaration,
                                      pugi::encoding_utf8);
  if (!result)
    throw PackageError(
        fmt::format("{}: XML error at offset {}: {}", what, result.offset, result.description()));
  return doc;
}

// The value span of attribute `name` in the start tag of element, found in the raw text.
std::optional<Span> AttributeSpan(const std::string& text, const pugi::xml_node& element,
                                  std::string_view name) {
  std::size_t i = static_cast<std::size_t>(element.offset_debug());
  const auto isName = [](char c) {
    return !std::isspace(static_cast<unsigned char>(c)) && c != '=' && c != '>' && c != '/';
  };
  while (i < text.size() && isName(text[i])) ++i;  // the element's name
  for (;;) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || text[i] == '>' || text[i] == '/') return std::nullopt;
    const std::size_t nameStart = i;
    while (i < text.size() && isName(text[i])) ++i;
    const std::string_view attribute(text.data() + nameStart, i - nameStart);
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || text[i] != '=') return std::nullopt;
    ++i;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return std::nullopt;
    const char quote = text[i++];
    const std::size_t close = text.find(quote, i);
    if (close == std::string::npos) return std::nullopt;
    if (attribute == name) return Span{i, close - i};
    i = close + 1;
  }
}

// The span of the number inside the text of the last child element called name.
std::optional<Span> ElementSpan(const std::string& text, const pugi::xml_node& parent, const char* name) {
  pugi::xml_node last;
  for (pugi::xml_node child = parent.child(name); child; child = child.next_sibling(name)) last = child;
  const pugi::xml_node data = last.first_child();
  if (!data || (data.type() != pugi::node_pcdata && data.type() != pugi::node_cdata)) return std::nullopt;
  std::size_t start = static_cast<std::size_t>(data.offset_debug());
  std::size_t end = start + std::strlen(data.value());
  while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return Span{start, end - start};
}

pugi::xml_node LastChild(const pugi::xml_node& parent, const char* name) {
  pugi::xml_node last;
  for (pugi::xml_node child = parent.child(name); child; child = child.next_sibling(name)) last = child;
  return last;
}

std::vector<pugi::xml_node> ElementChildren(const pugi::xml_node& parent) {
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node child : parent.children())
    if (child.type() == pugi::node_element) out.push_back(child);
  return out;
}

}  // namespace

DocumentRefs::DocumentRefs(std::string bookXml, std::string projectXml)
    : book_(std::move(bookXml)), project_(std::move(projectXml)) {
  const auto add = [this](const std::string& owner, bool inBook, std::optional<Span> pos,
                          std::optional<Span> size) {
    if (pos && size) spots_[owner] = Spot{inBook, *pos, *size, {}, false};
  };

  const pugi::xml_document project = Parse(project_, "project document");
  const pugi::xml_node p = project.document_element();
  const pugi::xml_document bookDoc = Parse(book_, "book document");
  const pugi::xml_node b = bookDoc.document_element();
  // The book's pages as the model numbers them (BookPages): every chapter's, in order.
  const auto chapters = ElementChildren(LastChild(b, "Chapters"));
  std::vector<pugi::xml_node> pages;
  for (const pugi::xml_node& chapter : chapters)
    for (const pugi::xml_node& page : ElementChildren(LastChild(chapter, "Pages"))) pages.push_back(page);

  const auto attrs = [&](const std::string& owner, const pugi::xml_node& node, const ReferenceSlot& slot) {
    add(owner, true, AttributeSpan(book_, node, slot.pos), AttributeSpan(book_, node, slot.size));
  };
  for (const ReferenceSlot& slot : ReferenceSlots()) {
    switch (slot.holder) {
      case SlotHolder::ProjectSection:
        if (const pugi::xml_node node = LastChild(p, std::string(slot.section).c_str()))
          add(OwnerName(slot), false, ElementSpan(project_, node, std::string(slot.pos).c_str()),
              ElementSpan(project_, node, std::string(slot.size).c_str()));
        break;
      case SlotHolder::ProjectRoot:
        add(OwnerName(slot), false, ElementSpan(project_, p, std::string(slot.pos).c_str()),
            ElementSpan(project_, p, std::string(slot.size).c_str()));
        break;
      case SlotHolder::BookRoot:
        attrs(OwnerName(slot), b, slot);
        break;
      case SlotHolder::Chapter:
        for (std::size_t c = 0; c < chapters.size(); ++c)
          attrs(OwnerName(slot, static_cast<int>(c)), chapters[c], slot);
        break;
      case SlotHolder::Page:
        for (std::size_t i = 0; i < pages.size(); ++i)
          attrs(OwnerName(slot, 0, static_cast<int>(i)), pages[i], slot);
        break;
      case SlotHolder::Element:
        for (std::size_t i = 0; i < pages.size(); ++i) {
          const auto elements = ElementChildren(LastChild(pages[i], "elem"));
          for (std::size_t k = 0; k < elements.size(); ++k)
            attrs(OwnerName(slot, 0, static_cast<int>(i), static_cast<int>(k + 1)), elements[k], slot);
        }
        break;
    }
  }
}

void DocumentRefs::Set(const std::string& owner, const RecordRef& ref) {
  const auto it = spots_.find(owner);
  if (it == spots_.end())
    throw PackageError(fmt::format("{}: the documents hold no pos_ and size_ for this reference", owner));
  it->second.value = ref;
  it->second.changed = true;
}

std::vector<std::string> DocumentRefs::NotCarried() const {
  const auto zero = [](std::string_view text) {
    return text.find_first_not_of(" \t0") == std::string_view::npos;
  };
  std::vector<std::string> owners;
  for (const auto& [owner, spot] : spots_) {
    const std::string_view text = spot.inBook ? book_ : project_;
    if (!spot.changed && !(zero(text.substr(spot.pos.offset, spot.pos.length)) ||
                           zero(text.substr(spot.size.offset, spot.size.length))))
      owners.push_back(owner);
  }
  return owners;
}

std::string DocumentRefs::Apply(const std::string& text, bool book) const {
  std::vector<std::pair<Span, std::string>> edits;
  for (const auto& [owner, spot] : spots_)
    if (spot.inBook == book && spot.changed) {
      edits.emplace_back(spot.pos, std::to_string(spot.value.pos));
      edits.emplace_back(spot.size, std::to_string(spot.value.size));
    }
  std::sort(edits.begin(), edits.end(),
            [](const auto& a, const auto& b) { return a.first.offset < b.first.offset; });
  std::string out;
  out.reserve(text.size() + edits.size() * 4);
  std::size_t at = 0;
  for (const auto& [span, value] : edits) {
    out.append(text, at, span.offset - at);
    out += value;
    at = span.offset + span.length;
  }
  out.append(text, at, std::string::npos);
  return out;
}

}  // namespace pagewend::book
