#include "web/web_book.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "imaging/export_images.h"
#include "imaging/image_write.h"
#include "imaging/pixel_budget.h"
#include "reading/search.h"
#include "support/folder_root.h"
#include "support/links.h"
#include "support/ordered_pool.h"
#include "web/web_assets.h"
#include "web/web_text.h"

namespace pagewend::web {
namespace {

namespace fs = std::filesystem;

// The alt text of a page image: the start of its text, at a word's end.
constexpr std::size_t kAltBytes = 160;

// Whether a file a page names is one the run wrote: below its folder, without climbing.
bool Below(const fs::path& file, const fs::path& sources) {
  if (file.empty() || !file.is_absolute()) return false;
  const fs::path relative = file.lexically_normal().lexically_relative(sources.lexically_normal());
  return !relative.empty() && *relative.begin() != ".." && *relative.begin() != ".";
}

// At most limit bytes of a run's text file, read through the run's folder so that nothing named
// outside it is read; nothing when it is not there.
std::optional<std::string> ReadBounded(const FolderRoot& sources, const fs::path& file, std::size_t limit,
                                       bool& cut) {
  std::string bytes;
  try {
    bytes = sources.ReadAtMost(file, limit + 1);
  } catch (const FileError&) {
    return std::nullopt;
  }
  cut = bytes.size() > limit;
  bytes.resize(std::min(bytes.size(), limit));
  return bytes;
}

std::string Alt(const std::string& text, int number) {
  if (text.empty()) return fmt::format("Page {}", number);
  std::string alt = ValidUtf8(text, kAltBytes);
  if (alt.size() < text.size()) {
    if (const auto space = alt.rfind(' '); space != std::string::npos && space > kAltBytes / 2)
      alt.resize(space);
    alt += "\xE2\x80\xA6";
  }
  return fmt::format("Page {}: {}", number, alt);
}

// An address for an href: what MayOpenOutside lets out, with the bytes a browser would skip or
// read as the attribute's end percent-encoded; the result still goes through EscapeHtml.
std::optional<std::string> OutsideAddress(const std::string& url) {
  if (!MayOpenOutside(url)) return std::nullopt;
  std::string out;
  for (const char c : ValidUtf8(url)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' || c == '`' ||
        c == '\\')
      out += fmt::format("%{:02X}", byte);
    else
      out += c;
  }
  return out;
}

std::string Percent(double part, double whole) {
  return fmt::format("{:.4f}", whole > 0 ? part / whole * 100 : 0);
}

struct PageFiles {
  std::string screen;
  std::string zoom;
  std::string thumb;
  imaging::Size size;
};

std::string PageName(int number) { return fmt::format("page-{:04}", number); }

// The page's section: its image, its links over it, its text for finding and reading aloud.
std::string PageSection(const reading::Book& book, std::size_t index, const PageFiles& files,
                        const std::string& text) {
  const reading::Page& page = book.pages[index];
  const int number = static_cast<int>(index) + 1;
  std::string html = fmt::format(
      "<section class=\"page\" id=\"p{0}\" data-page=\"{0}\" data-bg=\"#{1:06x}\" aria-label=\"Page {0}\">\n"
      "<img src=\"{2}\" data-zoom=\"{3}\" width=\"{4}\" height=\"{5}\" alt=\"{6}\" loading=\"lazy\" "
      "decoding=\"async\">\n",
      number, page.background & 0xFFFFFF, files.screen, files.zoom, files.size.width, files.size.height,
      EscapeHtml(Alt(text, number)));
  for (const reading::Link& link : page.links) {
    const std::string box = fmt::format(
        "{} {} {} {}", Percent(link.area.x, book.pageWidth), Percent(link.area.y, book.pageHeight),
        Percent(link.area.width, book.pageWidth), Percent(link.area.height, book.pageHeight));
    if (link.page >= 0 && link.page < static_cast<int>(book.pages.size())) {
      html += fmt::format(
          "<a class=\"link\" href=\"#page={0}\" data-box=\"{1}\" aria-label=\"Go to page {0}\"></a>\n",
          link.page + 1, box);
    } else if (const auto address = OutsideAddress(link.url)) {
      html += fmt::format(
          "<a class=\"link\" href=\"{0}\" target=\"_blank\" rel=\"noopener noreferrer\" data-box=\"{1}\" "
          "aria-label=\"{0}\"></a>\n",
          EscapeHtml(*address), box);
    }
  }
  if (!text.empty()) html += fmt::format("<p class=\"page-text\">{}</p>\n", EscapeHtml(text));
  return html + "</section>\n";
}

std::string Contents(const reading::Book& book) {
  std::string html;
  for (const reading::ContentsEntry& entry : book.contents) {
    if (entry.page < 0 || entry.page >= static_cast<int>(book.pages.size())) continue;
    html += fmt::format("<li class=\"level-{}\"><a href=\"#page={}\">{}</a></li>\n",
                        std::clamp(entry.level, 0, 5), entry.page + 1, EscapeHtml(entry.title));
  }
  return html;
}

// The thumbnails name their files in data-src: the page-turner fetches those the strip scrolls near,
// which the browser's own lazy loading does not do in a scrolled strip.
std::string Strip(const std::vector<PageFiles>& files) {
  std::string html;
  for (std::size_t i = 0; i < files.size(); ++i)
    html += fmt::format(
        "<a href=\"#page={0}\" data-page=\"{0}\"><img data-src=\"{1}\" alt=\"Page {0}\" "
        "decoding=\"async\"></a>\n",
        i + 1, files[i].thumb);
  return html;
}

// The lang attribute for a book's language when it has the shape of a language tag ("en",
// "pt-BR", "en_GB" written with "-"); nothing otherwise, so that no empty or made-up tag is given.
std::string LangAttribute(std::string tag) {
  std::replace(tag.begin(), tag.end(), '_', '-');
  if (tag.empty() || tag.size() > 35) return {};
  const auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const auto alnum = [&alpha](char c) { return alpha(c) || (c >= '0' && c <= '9'); };
  bool first = true;
  for (std::size_t start = 0; start <= tag.size(); first = false) {
    const std::size_t end = std::min(tag.find('-', start), tag.size());
    const std::string_view subtag = std::string_view(tag).substr(start, end - start);
    const bool fits = first ? subtag.size() >= 2 && subtag.size() <= 3 && std::ranges::all_of(subtag, alpha)
                            : !subtag.empty() && subtag.size() <= 8 && std::ranges::all_of(subtag, alnum);
    if (!fits) return {};
    start = end + 1;
  }
  return fmt::format(" lang=\"{}\"", tag);
}

// Nothing from outside the folder: scripts, styles and images of its own files only, no
// connections, no frames, no forms, no base that would move relative names elsewhere.
constexpr const char* kPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; base-uri 'none'; "
    "form-action 'none'";

// The pages' texts for the page-turner's search, fetched when the search first opens. A script
// rather than a JSON file: a page read from disk may not fetch files, and the policy allows no
// connections; the texts stand in it as JSON strings, data only.
constexpr const char* kSearchIndex = "search.js";

std::string SearchIndex(const std::vector<std::string>& texts) {
  std::string js =
      "// The text of each page of the book, in page order, for the page-turner's search.\n"
      "window.pagewendSearch = [";
  for (std::size_t i = 0; i < texts.size(); ++i) js += (i == 0 ? "\n" : ",\n") + JsonString(texts[i]);
  return js + "\n];\n";
}

std::string IndexHtml(const reading::Book& book, const std::vector<PageFiles>& files,
                      const std::vector<std::string>& texts) {
  const std::string title = book.title.empty() ? "Untitled book" : book.title;
  const std::size_t count = book.pages.size();
  // The turner's script is read in the head, before the pages, so that the browser lays out (and
  // fetches) from the start only what the turner shows.
  std::string html = fmt::format(
      "<!DOCTYPE html>\n<html{8}>\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"{0}\">\n"
      "<meta name=\"referrer\" content=\"no-referrer\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>{1}</title>\n<meta name=\"description\" content=\"{1}: {2} page{3}\">\n"
      "<meta name=\"generator\" content=\"pagewend {4}\">\n"
      "<link rel=\"stylesheet\" href=\"assets/turner.css\">\n"
      "<script src=\"assets/turner.js\"></script>\n</head>\n<body>\n"
      "<header class=\"bar\">\n<button type=\"button\" id=\"contents-button\" aria-controls=\"contents\" "
      "aria-expanded=\"false\"{5}>Contents</button>\n<h1>{1}</h1>\n"
      "<button type=\"button\" id=\"previous\" aria-label=\"Previous page\">&#8249;</button>\n"
      "<span id=\"where\" aria-live=\"polite\"></span>\n"
      "<button type=\"button\" id=\"next\" aria-label=\"Next page\">&#8250;</button>\n"
      "<button type=\"button\" id=\"more\" aria-controls=\"tools\" aria-expanded=\"false\" "
      "aria-label=\"More\">&#8943;</button>\n<div id=\"tools\">\n"
      "<button type=\"button\" id=\"search-button\" aria-controls=\"search\" "
      "aria-expanded=\"false\">Search</button>\n"
      "<input id=\"go-to\" type=\"text\" inputmode=\"numeric\" size=\"4\" placeholder=\"Page\" "
      "aria-label=\"Go to page\">\n"
      "<button type=\"button\" id=\"zoom\" aria-pressed=\"false\">Zoom</button>\n"
      "<button type=\"button\" id=\"full-screen\">Full screen</button>\n"
      "<button type=\"button\" id=\"strip-button\" aria-controls=\"strip\" "
      "aria-expanded=\"true\">Pages</button>\n</div>\n"
      "</header>\n<nav id=\"contents\" aria-label=\"Contents\" hidden><ol>\n{6}</ol></nav>\n"
      "<div id=\"search\" role=\"search\" hidden>\n<input id=\"search-box\" type=\"search\" "
      "placeholder=\"Search the book\" aria-label=\"Search the book\">\n"
      "<p id=\"search-status\" aria-live=\"polite\"></p>\n<ol id=\"results\"></ol>\n</div>\n"
      "<main id=\"stage\"><div id=\"spread\"{7}>\n",
      kPolicy, EscapeHtml(title), count, count == 1 ? "" : "s", PAGEWEND_VERSION,
      book.contents.empty() ? " hidden" : "", Contents(book), book.rightToLeft ? " class=\"rtl\"" : "",
      LangAttribute(book.language));
  for (std::size_t i = 0; i < count; ++i) html += PageSection(book, i, files[i], texts[i]);
  html += "</div></main>\n<nav id=\"strip\" aria-label=\"Pages\">\n" + Strip(files) + "</nav>\n";
  html += fmt::format(
      "<script type=\"application/json\" id=\"book-data\">{{\"title\":{},\"pages\":{},\"width\":{},"
      "\"height\":{},\"rightToLeft\":{},\"centreCovers\":{},\"searchIndex\":{}}}</script>\n</body>\n"
      "</html>\n",
      JsonString(title), count, book.pageWidth, book.pageHeight, book.rightToLeft, book.centreCovers,
      JsonString(kSearchIndex));
  return html;
}

// What a page's images are made of: pages alike in all of it have the very same images. A file
// is known by its identity on disk, so that names linked to one record count as one.
std::string ImagesKey(const imaging::ExportImageJob& job) {
  std::string key = fmt::format("{:06x}", job.page.background);
  for (const reading::PagePart& part : job.page.parts) {
    struct stat st {};
    if (part.kind == reading::PagePart::Kind::Image && ::stat(part.file.c_str(), &st) == 0)
      key += fmt::format("|i{}:{}", st.st_dev, st.st_ino);
    else
      key += fmt::format("|t{}:{:06x}:{}:{}:{}:{}:{}:{}:{}", part.text.size(), part.style.color,
                         part.style.size, part.style.bold, part.style.italic, part.style.underline,
                         part.style.font, part.style.align, part.text);
    key += fmt::format("@{},{},{},{}", part.box.x, part.box.y, part.box.width, part.box.height);
  }
  return key;
}

}  // namespace

WebBookSummary WriteWebBook(const reading::Book& book, const fs::path& sources, const fs::path& folder,
                            const WebBookOptions& options) {
  const auto out = std::make_shared<const FolderRoot>(folder);
  const FolderRoot sourceRoot(sources);
  out->MakeFolders("assets");
  out->MakeFolders("pages");
  out->MakeFolders("thumbs");
  const int count = static_cast<int>(book.pages.size());
  const double pageWidth = book.pageWidth > 0 ? book.pageWidth : 595;
  const double pageHeight = book.pageHeight > 0 ? book.pageHeight : 842;
  WebBookSummary summary;
  summary.pages = count;
  std::vector<PageFiles> files(book.pages.size());
  std::vector<std::string> texts(book.pages.size());
  if (options.progress) options.progress(0, count);

  const imaging::TextDrawing drawing;
  imaging::PrepareQtImageFormats();  // before any worker can need them
  OrderedPool pool(options.jobs == 0 ? OrderedPool::DefaultWorkers() : options.jobs);
  // Decoded pixels of all the workers together stay within one budget.
  const auto pixels = std::make_shared<imaging::PixelBudget>(imaging::kRunPixelBytes);
  // The first page made of each content: a page alike shows its images, made once.
  std::map<std::string, int> firstAlike;
  for (int i = 0; i < count; ++i) {
    if (options.stopped && options.stopped()) {
      pool.Cancel();
      throw WebBookStopped();
    }
    const reading::Page& page = book.pages[static_cast<std::size_t>(i)];
    auto job = std::make_shared<imaging::ExportImageJob>();
    job->page.background = page.background;
    for (const reading::PagePart& part : page.parts)
      if (part.kind == reading::PagePart::Kind::Text || Below(part.file, sources))
        job->page.parts.push_back(part);
    job->pageWidth = pageWidth;
    job->pageHeight = pageHeight;
    job->screenSide = options.screenSide;
    const std::string name = PageName(i + 1);
    job->screen = fs::path("pages") / name;
    job->zoom = fs::path("pages") / (name + "-zoom");
    job->thumb = fs::path("thumbs") / name;
    job->outputs = out;
    job->pixels = pixels;
    if (const auto [first, fresh] = firstAlike.emplace(ImagesKey(*job), i); !fresh) {
      pool.Submit([] {},
                  [&, i, from = first->second] {
                    files[static_cast<std::size_t>(i)] = files[static_cast<std::size_t>(from)];
                    if (options.progress) options.progress(i + 1, count);
                  });
    } else {
      auto made = std::make_shared<imaging::ExportedImages>();
      pool.Submit([job, made] { *made = imaging::WriteExportImages(*job); },
                  [&, i, made, name] {
                    PageFiles& f = files[static_cast<std::size_t>(i)];
                    f.screen = "pages/" + name + made->extension;
                    f.zoom = made->separateZoom ? "pages/" + name + "-zoom" + made->extension : f.screen;
                    f.thumb = "thumbs/" + name + made->extension;
                    f.size = made->screen;
                    if (options.progress) options.progress(i + 1, count);
                  });
    }
    // The text is read while the workers draw: the page's search text, then its text elements.
    bool cut = false;
    std::string text;
    if (Below(page.searchText, sources)) {
      if (auto read = ReadBounded(sourceRoot, page.searchText, kMaxPageTextBytes, cut))
        text = reading::DecodeSearchText(*read, cut);
    }
    for (const reading::PagePart& part : page.parts)
      if (part.kind == reading::PagePart::Kind::Text && text.size() < kMaxPageTextBytes)
        text += "\n" + part.text;
    cut = cut || text.size() > kMaxPageTextBytes;
    summary.textsCut += cut ? 1 : 0;
    texts[static_cast<std::size_t>(i)] = ValidUtf8(Collapsed(text), kMaxPageTextBytes);
  }
  pool.Drain();

  out->WriteFile("assets/turner.js", TurnerScript());
  out->WriteFile("assets/turner.css", TurnerStyle());
  out->WriteFile(kSearchIndex, SearchIndex(texts));
  out->WriteFile("index.html", IndexHtml(book, files, texts));
  return summary;
}

}  // namespace pagewend::web
