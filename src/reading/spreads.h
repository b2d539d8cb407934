#pragma once

#include <optional>
#include <vector>

#include "reading/book_pages.h"

// Which pages a view shows together and where they land: the arithmetic of reading a book,
// without a window, so that every view (and its tests) shares it.
namespace pagewend::reading {

enum class SpreadMode { Single, Double };

// Two pages side by side in a view wider than it is high, one page otherwise.
SpreadMode ModeForView(double width, double height);

// The pages shown together: `count` pages from `first`.
struct Spread {
  int first = 0;
  int count = 1;
  bool Shows(int page) const { return page >= first && page < first + count; }
  friend bool operator==(const Spread&, const Spread&) = default;
};

// A book's spreads in one mode. Double: the cover alone, then pages in pairs (2–3, 4–5, ...),
// a last page without a partner alone. Single: one page each.
class Spreads {
 public:
  Spreads(int pageCount, SpreadMode mode);
  int Count() const;
  // index is clamped to the spreads there are.
  Spread At(int index) const;
  // The spread that shows page (clamped to the book).
  int IndexOf(int page) const;
  SpreadMode Mode() const { return mode_; }
  int PageCount() const { return pageCount_; }

 private:
  int pageCount_;
  SpreadMode mode_;
};

enum class Fit { Page, Width };

struct PagePlacement {
  int page = 0;
  Box rect;  // in view pixels
};

// Where a spread lands in a view: its pages' rectangles, the scale from page units to view
// pixels, and the rectangle of the whole spread (a lone page of a double view keeps the room of
// two unless the book centres its covers).
struct Placement {
  double scale = 1;
  Box bounds;
  std::vector<PagePlacement> pages;
};

struct View {
  double width = 0;
  double height = 0;
  // Room left free around a fitted spread, on each side.
  double margin = 0;
};

// The scale at which the spread fits the view (its page, or its width), before any zoom.
double FitScale(const Book& book, const Spreads& spreads, View view, Fit fit);

// The spread placed in the view at FitScale × zoom, centred, then moved by (panX, panY) as far as
// the spread reaches past the view's edges: a spread smaller than the view stays centred.
Placement Place(const Book& book, const Spreads& spreads, int spread, View view, Fit fit, double zoom,
                double panX = 0, double panY = 0);

// Reading down a spread taller than the view a screenful at a time, a little of the last one
// kept in view: the vertical pan (as Place takes it) that shows the next screenful in direction
// (1 down the pages, -1 up them), or nothing when that end of the spread is in view already and
// the next step turns the page. The top of a spread is at pan +infinity, its foot at -infinity.
std::optional<double> ScrollStep(const Placement& placement, View view, int direction);

// A box of a page (page units) in view pixels, for a page placed at placement's scale.
Box ToView(const PagePlacement& page, Box box, double scale);

// The link under a view point, the topmost (last listed) one where links overlap; nothing on a
// page's empty places and outside the pages.
struct LinkHit {
  int page = -1;
  const Link* link = nullptr;
};
LinkHit LinkAt(const Book& book, const Placement& placement, double x, double y);

}  // namespace pagewend::reading
