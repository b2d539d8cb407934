#include "reading/spreads.h"

#include <algorithm>

namespace pagewend::reading {

SpreadMode ModeForView(double width, double height) {
  return width > height ? SpreadMode::Double : SpreadMode::Single;
}

Spreads::Spreads(int pageCount, SpreadMode mode) : pageCount_(std::max(0, pageCount)), mode_(mode) {}

int Spreads::Count() const {
  if (pageCount_ == 0) return 1;
  if (mode_ == SpreadMode::Single) return pageCount_;
  // The cover, then pairs; a last page without a partner is a spread of its own.
  return 1 + pageCount_ / 2;
}

Spread Spreads::At(int index) const {
  index = std::clamp(index, 0, Count() - 1);
  if (pageCount_ == 0) return {0, 0};
  if (mode_ == SpreadMode::Single || index == 0) return {index, 1};
  const int first = 2 * index - 1;
  return {first, std::min(2, pageCount_ - first)};
}

int Spreads::IndexOf(int page) const {
  if (pageCount_ == 0) return 0;
  page = std::clamp(page, 0, pageCount_ - 1);
  if (mode_ == SpreadMode::Single) return page;
  return (page + 1) / 2;
}

namespace {

// The spread's frame in page units: a lone page of a double view keeps two pages' room, unless
// the book centres its covers.
double FrameWidth(const Book& book, const Spreads& spreads, Spread spread) {
  if (spreads.Mode() == SpreadMode::Double && (spread.count == 2 || !book.centreCovers))
    return 2 * book.pageWidth;
  return book.pageWidth;
}

}  // namespace

double FitScale(const Book& book, const Spreads& spreads, View view, Fit fit) {
  if (book.pageWidth <= 0 || book.pageHeight <= 0) return 1;
  // Fitted to the widest spread, so that turning from the cover to a pair keeps the page's size.
  const double frame = FrameWidth(book, spreads, Spread{1, spreads.Mode() == SpreadMode::Double ? 2 : 1});
  const double width = std::max(1.0, view.width - 2 * view.margin);
  const double height = std::max(1.0, view.height - 2 * view.margin);
  const double byWidth = width / frame;
  if (fit == Fit::Width) return byWidth;
  return std::min(byWidth, height / book.pageHeight);
}

Placement Place(const Book& book, const Spreads& spreads, int index, View view, Fit fit, double zoom,
                double panX, double panY) {
  Placement placement;
  const Spread spread = spreads.At(index);
  placement.scale = FitScale(book, spreads, view, fit) * std::max(zoom, 0.01);
  const double scale = placement.scale;
  const double width = FrameWidth(book, spreads, spread) * scale;
  const double height = book.pageHeight * scale;
  // As far as the spread reaches past the view, and no further.
  const double reachX = std::max(0.0, (width - view.width) / 2 + view.margin);
  const double reachY = std::max(0.0, (height - view.height) / 2 + view.margin);
  const double x = (view.width - width) / 2 + std::clamp(panX, -reachX, reachX);
  const double y = (view.height - height) / 2 + std::clamp(panY, -reachY, reachY);
  placement.bounds = {x, y, width, height};
  const double pageWidth = book.pageWidth * scale;
  for (int i = 0; i < spread.count; ++i) {
    int slot = spread.count == 2 ? i : 0;
    if (spread.count == 1 && width > pageWidth * 1.5) {
      // A lone page in two pages' room: the cover on the right, a last page on the left.
      const bool cover = spread.first == 0;
      slot = cover ? 1 : 0;
    }
    if (book.rightToLeft && width > pageWidth * 1.5) slot = 1 - slot;
    placement.pages.push_back({spread.first + i, Box{x + slot * pageWidth, y, pageWidth, height}});
  }
  return placement;
}

std::optional<double> ScrollStep(const Placement& placement, View view, int direction) {
  const Box& bounds = placement.bounds;
  const double reach = std::max(0.0, (bounds.height - view.height) / 2 + view.margin);
  const double pan = bounds.y - (view.height - bounds.height) / 2;
  // Half a pixel short of an end counts as there: pans come back from whole-pixel drags.
  if (reach <= 0.5 || (direction > 0 ? pan <= -reach + 0.5 : pan >= reach - 0.5)) return std::nullopt;
  const double step = std::max(1.0, view.height * 0.9 - view.margin);
  return std::clamp(direction > 0 ? pan - step : pan + step, -reach, reach);
}

Box ToView(const PagePlacement& page, Box box, double scale) {
  return {page.rect.x + box.x * scale, page.rect.y + box.y * scale, box.width * scale, box.height * scale};
}

LinkHit LinkAt(const Book& book, const Placement& placement, double x, double y) {
  for (const PagePlacement& placed : placement.pages) {
    if (!placed.rect.Contains(x, y) || placed.page < 0 || placed.page >= static_cast<int>(book.pages.size()))
      continue;
    const auto& links = book.pages[static_cast<std::size_t>(placed.page)].links;
    for (auto link = links.rbegin(); link != links.rend(); ++link)
      if (ToView(placed, link->area, placement.scale).Contains(x, y)) return {placed.page, &*link};
  }
  return {};
}

}  // namespace pagewend::reading
