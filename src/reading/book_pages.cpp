#include "reading/book_pages.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>

#include "model/book/m_book.h"
#include "model/xml_source.h"
#include "paths/book_file_lookup.h"
#include "paths/file_names.h"
#include "support/text.h"

namespace pagewend::reading {

namespace {

using namespace model::book;

// A table of contents is a small file; a large one is not read at all.
constexpr std::uintmax_t kMaxContentsFileBytes = 4 << 20;
constexpr int kMaxContentsDepth = 16;

bool IsMovie(std::string_view file) {
  const std::string extension = Lower(WinExtension(file));
  return extension == ".swf" || extension == ".flv" || extension == ".mp4";
}

Box BoxOf(const TBasicVisualPageElement& element) {
  return {static_cast<double>(element.left()), static_cast<double>(element.top()),
          static_cast<double>(element.width()), static_cast<double>(element.height())};
}

std::uint32_t Rgb(std::int64_t colour) { return static_cast<std::uint32_t>(colour) & 0xFFFFFF; }

// An element's own link ("linktype" with its "page", "url" or "email"). An area without a type
// is a link to its url when it has one.
void AddElementLink(Page& page, Box area, std::string_view type, int target, std::string_view url,
                    std::string_view email, int pageCount) {
  const std::string kind = Lower(Trim(type));
  Link link{area, -1, {}};
  if (kind == "page") {
    if (target < 1 || target > pageCount) return;
    link.page = target - 1;
  } else if (kind == "email" || kind == "mail" || kind == "mailto") {
    const std::string address = Trim(email);
    if (address.empty()) return;
    link.url = address.starts_with("mailto:") ? address : "mailto:" + address;
  } else if (kind == "url" || kind == "link" || kind == "web" || (kind.empty() && !Trim(url).empty())) {
    link.url = Trim(url);
    if (link.url.empty()) return;
  } else {
    return;
  }
  if (!area.Empty()) page.links.push_back(std::move(link));
}

// A page's link rectangle: its first address, which may also name a page of the book ("page:N"
// or a bare number).
void AddPageLink(Page& page, const TMLink& source, int pageCount) {
  const Box area{static_cast<double>(source.x()), static_cast<double>(source.y()),
                 static_cast<double>(source.width()), static_cast<double>(source.height())};
  if (area.Empty() || source.urls().Count() == 0) return;
  std::string target = Trim(source.urls().Items(0).src());
  if (target.empty()) return;
  std::string_view number = target;
  if (Lower(number.substr(0, 5)) == "page:") number.remove_prefix(5);
  if (const auto n = model::ParseInteger<int>(number)) {
    if (*n >= 1 && *n <= pageCount) page.links.push_back({area, *n - 1, {}});
    return;
  }
  page.links.push_back({area, -1, std::move(target)});
}

Page ReadPage(const TMPage& source, int pageCount) {
  Page page;
  page.background = Rgb(source.bgcolor());
  page.thumbnail = source.pagethumb();
  page.mobileImage = source.mobilefile1();
  page.searchText = source.searchtxt();
  const auto& elements = source.elem();
  for (std::size_t i = 0; i < elements.Count(); ++i) {
    const TBasicVisualPageElement& element = elements.Items(i);
    const Box box = BoxOf(element);
    if (const auto* text = dynamic_cast<const TMTxt*>(&element)) {
      if (!text->content().empty())
        page.parts.push_back({PagePart::Kind::Text,
                              box,
                              {},
                              text->content(),
                              TextStyle{Rgb(text->color()), text->size(), text->bold(), text->italic(),
                                        text->underline(), text->font(), Lower(text->align())}});
      AddElementLink(page, box, text->linktype(), text->page(), text->url(), text->email(), pageCount);
    } else if (const auto* area = dynamic_cast<const TMArea*>(&element)) {
      AddElementLink(page, box, area->linktype(), area->page(), area->url(), area->email(), pageCount);
    } else if (const auto* file = dynamic_cast<const TBasicVisualPageFileElement*>(&element)) {
      const bool movie = dynamic_cast<const TMVid*>(file) != nullptr || IsMovie(file->src());
      if (movie && i == 0) {
        // The run drew the page's mobile image where the first element stands; so does the reader.
        if (!source.mobilefile2().empty())
          page.parts.push_back({PagePart::Kind::Image, box, source.mobilefile2(), {}, {}});
      } else if (!movie && dynamic_cast<const TMSnd*>(file) == nullptr && !file->src().empty()) {
        page.parts.push_back({PagePart::Kind::Image, box, file->src(), {}, {}});
      }
      if (const auto* image = dynamic_cast<const TMImg*>(file))
        AddElementLink(page, box, image->linktype(), image->page(), image->url(), image->email(), pageCount);
    }
  }
  const auto& links = source.links();
  for (std::size_t i = 0; i < links.Count(); ++i) AddPageLink(page, links.Items(i), pageCount);
  return page;
}

std::string EntryTitle(const pugi::xml_node& node) {
  for (const char* name : {"title", "label", "name", "caption", "text"})
    if (const auto attribute = node.attribute(name)) return Trim(attribute.value());
  return Trim(node.text().get());
}

void ReadEntries(const pugi::xml_node& parent, int level, int pageCount, std::vector<ContentsEntry>& out) {
  if (level >= kMaxContentsDepth) return;
  for (const pugi::xml_node& node : parent.children()) {
    if (node.type() != pugi::node_element) continue;
    int next = level;
    if (const auto page = model::ParseInteger<int>(Trim(node.attribute("page").value()))) {
      std::string title = EntryTitle(node);
      if (*page >= 1 && *page <= pageCount && !title.empty()) {
        out.push_back({std::move(title), *page - 1, level});
        next = level + 1;
      }
    }
    ReadEntries(node, next, pageCount, out);
  }
}

}  // namespace

Book ReadBook(const TMBook& source, std::string title) {
  Book book;
  book.title = std::move(title);
  if (book.title.empty()) book.title = source.title();
  book.language = Trim(source.lang());
  book.pageWidth = source.pagewidth();
  book.pageHeight = source.pageheight();
  book.rightToLeft = !source.ltr();
  book.centreCovers = source.centercovers();
  const auto& chapters = source.Chapters();
  int pageCount = 0;
  for (std::size_t c = 0; c < chapters.Count(); ++c)
    pageCount += static_cast<int>(chapters.Items(c).Pages().Count());
  for (std::size_t c = 0; c < chapters.Count(); ++c) {
    const auto& pages = chapters.Items(c).Pages();
    if (chapters.Count() > 1 && pages.Count() > 0)
      book.contents.push_back({"Chapter " + std::to_string(c + 1), static_cast<int>(book.pages.size()), 0});
    for (std::size_t p = 0; p < pages.Count(); ++p) book.pages.push_back(ReadPage(pages.Items(p), pageCount));
  }
  const auto& bookmarks = source.bookmarks();
  std::vector<ContentsEntry> marks;
  for (std::size_t i = 0; i < bookmarks.Count(); ++i) {
    const auto& mark = bookmarks.Items(i);
    if (mark.page() >= 1 && mark.page() <= pageCount && !Trim(mark.title()).empty())
      marks.push_back({Trim(mark.title()), mark.page() - 1, chapters.Count() > 1 ? 1 : 0});
  }
  std::stable_sort(marks.begin(), marks.end(), [](const auto& a, const auto& b) { return a.page < b.page; });
  for (auto& mark : marks) {
    // Each bookmark under the chapter it falls in.
    const auto after = std::find_if(book.contents.begin(), book.contents.end(), [&](const ContentsEntry& e) {
      return e.level == 0 && e.page > mark.page;
    });
    book.contents.insert(after, std::move(mark));
  }
  if ((book.pageWidth <= 0 || book.pageHeight <= 0) && !book.pages.empty() && !book.pages[0].parts.empty()) {
    book.pageWidth = book.pages[0].parts[0].box.width;
    book.pageHeight = book.pages[0].parts[0].box.height;
  }
  return book;
}

void FindFiles(Book& book, const std::filesystem::path& filesFolder) {
  const auto find = [&](std::filesystem::path& file) {
    if (file.empty()) return;
    const auto match = FindBookFile(filesFolder, file.string());
    file = match ? match->file : std::filesystem::path();
  };
  for (Page& page : book.pages) {
    for (PagePart& part : page.parts) find(part.file);
    std::erase_if(page.parts, [](const PagePart& part) {
      return part.kind == PagePart::Kind::Image && part.file.empty();
    });
    find(page.thumbnail);
    find(page.mobileImage);
    find(page.searchText);
  }
}

std::vector<ContentsEntry> ReadContentsFile(const std::filesystem::path& file, int pageCount) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec || size > kMaxContentsFileBytes) return {};
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<ContentsEntry> entries;
  try {
    const pugi::xml_document document = model::LoadXmlDocument(bytes);
    ReadEntries(document, 0, pageCount, entries);
  } catch (const std::exception&) {
    return {};
  }
  return entries;
}

}  // namespace pagewend::reading
