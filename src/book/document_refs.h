#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "package/package_format.h"

namespace pagewend::book {

// Where the pos_/size_ numbers of each reference stand in the text of the two documents, keyed
// by the same owner names as the book file mapping ("project.logo", "book.page[2].elem[1]").
// A packer changes those numbers and keeps every other byte of the documents. The documents
// must be UTF-8 (what the authoring side writes); offsets refer to their bytes.
class DocumentRefs {
 public:
  // Throws PackageError for a document that does not parse or is not UTF-8.
  DocumentRefs(std::string bookXml, std::string projectXml);

  bool Has(const std::string& owner) const { return spots_.count(owner) != 0; }
  // Gives the reference new numbers. Throws PackageError when the documents hold no such reference.
  void Set(const std::string& owner, const package::RecordRef& ref);

  // The references that hold a record in the documents as they came and were not Set: a packer
  // that leaves one behind would keep numbers that point into another package.
  std::vector<std::string> NotCarried() const;

  std::string BookText() const { return Apply(book_, true); }
  std::string ProjectText() const { return Apply(project_, false); }

  struct Span {
    std::size_t offset = 0;
    std::size_t length = 0;
  };
  struct Spot {
    bool inBook = true;
    Span pos;
    Span size;
    package::RecordRef value;
    bool changed = false;
  };

 private:
  std::string Apply(const std::string& text, bool book) const;

  std::string book_;
  std::string project_;
  std::map<std::string, Spot> spots_;
};

}  // namespace pagewend::book
