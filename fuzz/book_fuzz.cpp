// The book document loader on arbitrary bytes, with either decimal separator, followed by a save
// and a reload of what was loaded: a loaded book must always save as a document that loads. (Not
// always as the same document: an image of a ".gif" file is saved as a "gif" element and comes
// back as one, with that class's properties.)
#include <cstdint>
#include <string_view>

#include "model/book/m_book.h"
#include "model/xml_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pagewend::model;
  using namespace pagewend::model::book;
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  for (const char separator : {'.', ','}) {
    LoadOptions options;
    options.settings.decimalSeparator = separator;
    options.settings.codePage = separator == '.' ? "UTF-8" : "WINDOWS-1252";
    TMBook book;
    try {
      book.LoadFromStream(document, options);
    } catch (const XmlError&) {
      continue;
    } catch (const TMLoadError&) {
      continue;
    }
    const std::string saved = book.SaveToString();
    TMBook again;
    again.LoadFromStream(saved, options);
  }
  return 0;
}
