// The book document loader on arbitrary bytes, with either decimal separator, followed by a save
// and a reload of what was loaded: a loaded book must always save as a document that loads. (Not
// always as the same document: an image of a ".gif" file is saved as a "gif" element and comes
// back as one, with that class's properties.) Then the reader's view of it: every link it finds
// names a page of the book or an address, and every spread of it can be placed.
#include <cstdint>
#include <string_view>

#include "model/book/m_book.h"
#include "model/xml_source.h"
#include "reading/book_pages.h"
#include "reading/spreads.h"

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
    const pagewend::reading::Book pages = pagewend::reading::ReadBook(book, "");
    const int count = static_cast<int>(pages.pages.size());
    for (const auto& page : pages.pages)
      for (const auto& link : page.links)
        if (link.page >= count || (link.page < 0 && link.url.empty())) __builtin_trap();
    for (const auto mode : {pagewend::reading::SpreadMode::Single, pagewend::reading::SpreadMode::Double}) {
      const pagewend::reading::Spreads spreads(count, mode);
      for (int s = 0; s < spreads.Count() && s < 64; ++s) {
        const auto placed =
            pagewend::reading::Place(pages, spreads, s, {900, 600, 12}, pagewend::reading::Fit::Page, 1);
        (void)pagewend::reading::LinkAt(pages, placed, 450, 300);
      }
    }
    const std::string saved = book.SaveToString();
    TMBook again;
    again.LoadFromStream(saved, options);
  }
  return 0;
}
