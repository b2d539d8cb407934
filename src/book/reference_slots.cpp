#include "book/reference_slots.h"

#include <fmt/format.h>

#include <stdexcept>

#include "paths/run_folder.h"

namespace pagewend::book {
namespace {

using H = SlotHolder;
using S = SplitStep;
using P = PagePart;
using F = RecordForm;

// The order here is the order a run writes them; packRank is the order books lay them out.
constexpr ReferenceSlot kSlots[] = {
    {"background", H::ProjectSection, "background", "pos_", "size_", S::Background, P::None, F::Plain, 0},
    {"navbtn", H::ProjectSection, "navbtn", "pos_", "size_", S::NavButtons, P::None, F::Group, 1, 0,
     layout::kNavbtn},
    {"navbar", H::ProjectSection, "navbar", "pos_", "size_", S::NavBar, P::None, F::Group, 2, 0,
     layout::kNavbar},
    {"preloader", H::ProjectSection, "preloader", "pos_", "size_", S::Preloader, P::None, F::Plain, 3, 0,
     layout::kStartMovie},
    {"logo", H::ProjectSection, "logo", "pos_", "size_", S::Logo, P::None, F::Plain, 4},
    {"searchindex", H::BookRoot, "", "pos_search_", "size_search_", S::SearchFile, P::None, F::Plain, 5},
    {"toc", H::ProjectSection, "toc", "pos_", "size_", S::Toc, P::None, F::Plain, 6},
    {"bgsound", H::Chapter, "", "pos_", "size_", S::BackgroundSound, P::None, F::Plain, 10},
    {"download", H::BookRoot, "", "pos_download_", "size_download_", S::Download, P::None, F::Plain, 9},
    {"langs", H::BookRoot, "", "pos_langs_", "size_langs_", S::Languages, P::None, F::Archive, 7, 0,
     layout::kLanguages},
    // A page's own files, then its elements' (each with its video's preview), then its mobile
    // image, which its images are made from.
    {"searchtxt", H::Page, "", "pos_search_", "size_search_", S::Page, P::Search, F::Plain, 8, 2},
    {"download", H::Page, "", "pos_download_", "size_download_", S::Page, P::Download, F::Plain, 8, 3},
    {"", H::Element, "", "pos_", "size_", S::Page, P::Element, F::Plain, 8, 0},
    {"preview", H::Element, "", "pos_pre_", "size_pre_", S::Page, P::Preview, F::Plain, 8, 1},
    {"mobilefile2", H::Page, "", "pos_mobilefile2", "size_mobilefile2", S::Page, P::Mobile, F::Plain, 8, 4},
    {"bookinfo", H::ProjectRoot, "", "pos_bookinfo_", "size_bookinfo_", S::Viewer, P::None, F::Plain, 11, 0,
     layout::kFramework},
    {"mag", H::ProjectRoot, "", "pos_mag_", "size_mag_", S::Viewer, P::None, F::Plain, 11, 0,
     layout::kMagnifier},
    {"toolbar", H::ProjectRoot, "", "pos_toolbar_", "size_toolbar_", S::Viewer, P::None, F::Plain, 11, 0,
     layout::kToolbar},
    {"input", H::ProjectRoot, "", "pos_input_", "size_input_", S::Viewer, P::None, F::Plain, 11, 0,
     layout::kInputBox},
    {"vs", H::ProjectRoot, "", "pos_vs_", "size_vs_", S::Viewer, P::None, F::Plain, 11, 0,
     layout::kVideoSkin},
    {"thumbswf", H::ProjectRoot, "", "pos_thumbswf_", "size_thumbswf_", S::Viewer, P::None, F::Plain, 11, 0,
     layout::kThumbnailMovie},
};

}  // namespace

std::span<const ReferenceSlot> ReferenceSlots() { return kSlots; }

const ReferenceSlot& Slot(SlotHolder holder, std::string_view name) {
  for (const ReferenceSlot& slot : kSlots)
    if (slot.holder == holder && slot.name == name) return slot;
  throw std::logic_error(fmt::format("no reference slot \"{}\"", name));
}

std::string OwnerName(const ReferenceSlot& slot, int chapter, int page, int element) {
  switch (slot.holder) {
    case SlotHolder::ProjectSection:
    case SlotHolder::ProjectRoot:
      return fmt::format("project.{}", slot.name);
    case SlotHolder::BookRoot:
      return fmt::format("book.{}", slot.name);
    case SlotHolder::Chapter:
      return fmt::format("book.chapter[{}].{}", chapter, slot.name);
    case SlotHolder::Page:
      return fmt::format("book.page[{}].{}", page, slot.name);
    case SlotHolder::Element:
      return slot.name.empty() ? fmt::format("book.page[{}].elem[{}]", page, element)
                               : fmt::format("book.page[{}].elem[{}].{}", page, element, slot.name);
  }
  return {};
}

std::string_view StepFinishLine(SplitStep step) {
  switch (step) {
    case SplitStep::Background:
      return "Finish SplitProjBg";
    case SplitStep::NavButtons:
      return "Finish SplitProjNavBtn";
    case SplitStep::NavBar:
      return "Finish SplitProjNavBarBg";
    case SplitStep::Preloader:
      return "Finish SplitPreloader";
    case SplitStep::Logo:
      return "Finish SplitLogo";
    case SplitStep::SearchFile:
      return "Finish SplitSearchFile";
    case SplitStep::Toc:
      return "Finish SplitToc";
    case SplitStep::Download:
      return "Finish SplitDownloadFiles";
    case SplitStep::Languages:
      return "Finish SplitLanguageXMLs";
    case SplitStep::Page:
      return "Finish SplitPages";
    case SplitStep::BackgroundSound:
    case SplitStep::Viewer:
      return {};
  }
  return {};
}

}  // namespace pagewend::book
