#include "model/book/m_page_elements.h"

#include "paths/file_names.h"
#include "support/text.h"

namespace pagewend::model::book {

// The element name follows the file: GIF files are played by the viewer's GIF element.
void TBasicVisualPageFileElement::Changed(std::string_view property) {
  if (property == "src") SetTagName(Lower(WinExtension(src())) == ".gif" ? "gif" : "img");
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
