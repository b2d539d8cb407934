#include "model/book/m_page_elements.h"

#include <algorithm>

namespace pagewend::model::book {

// The element name follows the file: GIF files are played by the viewer's GIF element.
void TBasicVisualPageFileElement::Changed(std::string_view property) {
  if (property != "src") return;
  const std::string_view path = src();
  const std::string_view file = path.substr(path.find_last_of("/\\") + 1);
  const std::size_t dot = file.rfind('.');
  const std::string_view extension = dot == std::string_view::npos ? std::string_view() : file.substr(dot);
  const bool gif =
      extension.size() == 4 && std::equal(extension.begin(), extension.end(), ".gif", [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
      });
  SetTagName(gif ? "gif" : "img");
}

const ObjectClass& TBasicVisualPageElements::ClassForElement(std::string_view name) const {
  if (name == "img") return TMImg::ClassInfo();
  if (name == "snd") return TMSnd::ClassInfo();
  if (name == "vid") return TMVid::ClassInfo();
  if (name == "gif") return TMGif::ClassInfo();
  if (name == "area") return TMArea::ClassInfo();
  if (name == "txt") return TMTxt::ClassInfo();
  return ItemClass();
}

}  // namespace pagewend::model::book
