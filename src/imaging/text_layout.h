#pragma once

#include <string>
#include <vector>

#include "reading/book_pages.h"

namespace pagewend::imaging {

// One line of a text part as the page view sets it, in page units: the text, where its
// baseline starts, and how wide it runs.
struct TextLine {
  std::string text;
  double x = 0;
  double baseline = 0;
  double width = 0;
};

struct TextSetting {
  // The family the style's font resolves to on this system, as the page view draws with it.
  std::string family;
  std::vector<TextLine> lines;
};

// A text part broken into lines and aligned in its box as the page view draws it, with the
// page view's font and wrapping (TextFont, TextOptions). Qt sets text only while a
// QGuiApplication exists: the player's own, or a TextDrawing's.
TextSetting SetText(const reading::PagePart& part);

}  // namespace pagewend::imaging
