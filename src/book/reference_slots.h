#pragma once

#include <span>
#include <string>
#include <string_view>

namespace pagewend::book {

// The steps of an extraction, in the order they run.
enum class SplitStep {
  Background,
  NavButtons,
  NavBar,
  Preloader,
  Logo,
  SearchFile,
  Toc,
  BackgroundSound,
  Download,
  Languages,
  Page,
  Viewer,
};

// Which of a page's files a record is.
enum class PagePart { None, Search, Download, Element, Preview, Mobile };

enum class RecordForm {
  Plain,    // one record, one file
  Group,    // a resource group: info.ini and typed records into one folder
  Archive,  // a ZIP archive unpacked into a folder, then removed
};

// What holds a reference's pos_ and size_ numbers, and so how often it occurs.
enum class SlotHolder {
  ProjectSection,  // child elements of a section of the project document, once
  ProjectRoot,     // child elements of the project document's root, once
  BookRoot,        // attributes of the book element, once
  Chapter,         // attributes of each chapter
  Page,            // attributes of each page, every chapter's in order
  Element,         // attributes of each element of each page
};

// One kind of reference from the documents to a record of the package: where its numbers stand,
// what extraction makes of it and where a package lays it out. Unpacking, packing, the rewriting
// of the documents and `info` all read this one table.
struct ReferenceSlot {
  std::string_view name;  // "background", "bookinfo", "searchtxt"; "" for a page element itself
  SlotHolder holder;
  std::string_view section;  // the project section element (ProjectSection)
  std::string_view pos;      // the element or attribute holding the record's end offset
  std::string_view size;     // ... and its length
  SplitStep step;
  PagePart part = PagePart::None;
  RecordForm form = RecordForm::Plain;
  // Where a package lays the record out: by rank, then by page, then by the part's rank.
  int packRank = 0;
  int partRank = 0;
  // The file or folder (in the working folder's layout) for a slot whose target never depends
  // on the name the document gives.
  std::string_view fixedTarget = {};
};

// Every slot, in the order a run writes them.
std::span<const ReferenceSlot> ReferenceSlots();
// The slot called name under holder; throws std::logic_error for none (a fault of the caller).
const ReferenceSlot& Slot(SlotHolder holder, std::string_view name);

// The name a reference goes by in logs, `info` and the package checks: "project.logo",
// "book.chapter[1].bgsound", "book.page[3].elem[2].preview". Indices count from 0, elements
// from 1, as the log always has.
std::string OwnerName(const ReferenceSlot& slot, int chapter = 0, int page = 0, int element = 0);

// The log line that closes a step, or nothing for a step that logs none.
std::string_view StepFinishLine(SplitStep step);

}  // namespace pagewend::book
