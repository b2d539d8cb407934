#include "pdf/pdf_book.h"

#include <fmt/format.h>
#include <podofo.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <tuple>
#include <vector>

#include "imaging/export_images.h"
#include "imaging/page_images.h"
#include "imaging/raster_planes.h"
#include "imaging/text_layout.h"
#include "reading/search.h"
#include "support/folder_root.h"
#include "support/links.h"
#include "support/text.h"

namespace pagewend::pdf {
namespace {

namespace fs = std::filesystem;
namespace pd = PoDoFo;

// A JPEG larger than this is no page image; it is left out rather than read.
constexpr std::size_t kMaxJpegBytes = std::size_t{256} << 20;
// The page sizes PDF readers take, in points.
constexpr double kMinPageSide = 3;
constexpr double kMaxPageSide = 14400;
// The invisible layer is only found, never seen: the one font it needs is named, not embedded.
constexpr const char* kLayerFont = "DejaVu Sans";

pd::PdfString Utf8(std::string_view text) {
  const std::string valid = ValidUtf8(text);
  return pd::PdfString(reinterpret_cast<const pd::pdf_utf8*>(valid.c_str()),
                       static_cast<pd::pdf_long>(valid.size()));
}

// An address for a URI action: what MayOpenOutside lets out, with bytes outside printable ASCII
// percent-encoded, as a URI must be.
std::optional<std::string> OutsideAddress(const std::string& url) {
  if (!MayOpenOutside(url)) return std::nullopt;
  std::string out;
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F)
      out += fmt::format("%{:02X}", byte);
    else
      out += c;
  }
  return out;
}

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  const std::string collapsed = Collapsed(text);
  for (std::size_t at = 0; at < collapsed.size();) {
    const std::size_t end = std::min(collapsed.find(' ', at), collapsed.size());
    words.emplace_back(collapsed.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

std::size_t Characters(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void SetColour(pd::PdfPainter& painter, std::uint32_t rgb) {
  painter.SetColor(((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

// What one part of a page draws, made before the page's contents are opened.
struct Placed {
  const reading::PagePart* part = nullptr;
  pd::PdfImage* image = nullptr;
  pd::PdfFont* font = nullptr;
  imaging::TextSetting text;
};

class PdfWriter {
 public:
  PdfWriter(const reading::Book& book, const fs::path& sources, const fs::path& file, Notifier& notifier)
      : book_(book),
        sources_(sources),
        notifier_(notifier),
        width_(std::clamp(book.pageWidth > 0 ? book.pageWidth : 595, kMinPageSide, kMaxPageSide)),
        height_(std::clamp(book.pageHeight > 0 ? book.pageHeight : 842, kMinPageSide, kMaxPageSide)),
        encoding_(std::make_unique<pd::PdfIdentityEncoding>(0, 0xFFFF, false)),
        document_(file.c_str(), pd::ePdfVersion_1_7, nullptr, pd::ePdfWriteMode_Compact) {}

  void Page(std::size_t index) {
    const reading::Page& page = book_.pages[index];
    // PoDoFo writes a stream to the file as it is made, but holds one made while a page's
    // contents are open in memory to the end: every image and font the page needs is made first.
    std::vector<Placed> placed;
    std::string shownText;
    for (const reading::PagePart& part : page.parts) {
      if (part.box.Empty()) continue;
      Placed p;
      p.part = &part;
      if (part.kind == reading::PagePart::Kind::Image) {
        p.image = Image(part.file, static_cast<int>(index) + 1);
      } else {
        p.text = imaging::SetText(part);
        p.font = Font(p.text.family, part.style.bold, part.style.italic, true);
        if (p.font == nullptr) p.font = Font(kLayerFont, part.style.bold, part.style.italic, true);
        shownText += part.text + "\n";
      }
      if (p.image != nullptr || p.font != nullptr) placed.push_back(std::move(p));
    }
    const std::vector<std::string> hidden = HiddenWords(page, shownText);
    pd::PdfFont* layerFont = hidden.empty() ? nullptr : Font(kLayerFont, false, false, false);

    pd::PdfPage* made = document_.CreatePage(pd::PdfRect(0, 0, width_, height_));
    pages_.push_back(made->GetObject()->Reference());
    pd::PdfPainter painter;
    painter.SetPage(made);
    SetColour(painter, page.background);
    painter.Rectangle(0, 0, width_, height_);
    painter.Fill();
    for (const Placed& p : placed) {
      const reading::Box& box = p.part->box;
      if (p.image != nullptr)
        painter.DrawImage(box.x, height_ - box.y - box.height, p.image, box.width / p.image->GetWidth(),
                          box.height / p.image->GetHeight());
      else
        Text(painter, *p.part, p.text, p.font);
    }
    if (layerFont != nullptr) SearchLayer(painter, hidden, layerFont);
    painter.FinishPage();
  }

  // Links and outline name pages by their objects, which exist only once every page is made.
  void Finish() {
    for (std::size_t i = 0; i < book_.pages.size(); ++i) Links(i);
    Outline();
    pd::PdfInfo* info = document_.GetInfo();
    if (!book_.title.empty()) info->SetTitle(Utf8(book_.title));
    info->SetProducer(pd::PdfString("pagewend " PAGEWEND_VERSION));
    info->SetCreator(pd::PdfString("pagewend " PAGEWEND_VERSION));
    // The page view shows a portrait book in spreads, the cover alone: so does a reader.
    if (width_ < height_ && book_.pages.size() > 1) document_.SetPageLayout(pd::ePdfPageLayoutTwoPageRight);
    if (book_.rightToLeft) {
      pd::PdfName direction("R2L");
      document_.SetBindingDirection(direction);
    }
    document_.Close();
  }

  int Images() const { return images_; }
  int ImagesLeftOut() const { return leftOut_; }

 private:
  // The page image for file, stored once however many pages show it; nothing when it cannot be
  // read, which is told once.
  pd::PdfImage* Image(const fs::path& file, int number) {
    const auto found = images_by_file_.find(file);
    if (found != images_by_file_.end()) return found->second.get();
    std::unique_ptr<pd::PdfImage>& stored = images_by_file_[file];
    try {
      // Nothing named outside the run's folder is read; Below refuses it.
      sources_.Below(file);
      if (sources_.ReadAtMost(file, 3) == "\xFF\xD8\xFF") {
        imaging::CheckedJpegSize(file);
        const std::string bytes = sources_.ReadAtMost(file, kMaxJpegBytes + 1);
        if (bytes.size() > kMaxJpegBytes)
          throw imaging::PageImageError(fmt::format("{}: the image is too large", file.string()));
        if (!imaging::JpegComplete(bytes))
          throw imaging::PageImageError(fmt::format("{}: the image is cut short", file.string()));
        auto image = std::make_unique<pd::PdfImage>(&document_);
        image->LoadFromJpegData(reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<pd::pdf_long>(bytes.size()));
        stored = std::move(image);
      } else {
        stored = Lossless(imaging::DecodePlanes(file));
      }
      ++images_;
    } catch (const imaging::PageImageError& e) {
      LeftOut(number, file, e.what());
    } catch (const FileError& e) {
      LeftOut(number, file, e.what());
    } catch (const pd::PdfError& e) {
      LeftOut(number, file, fmt::format("{}: {}", file.string(), pd::PdfError::ErrorMessage(e.GetError())));
    }
    return stored.get();
  }

  // Pixels as Flate streams, the alpha as the image's soft mask.
  std::unique_ptr<pd::PdfImage> Lossless(const imaging::RasterPlanes& planes) {
    const auto width = static_cast<unsigned>(planes.size.width);
    const auto height = static_cast<unsigned>(planes.size.height);
    auto image = std::make_unique<pd::PdfImage>(&document_);
    image->SetImageColorSpace(pd::ePdfColorSpace_DeviceRGB);
    if (!planes.alpha.empty()) {
      pd::PdfImage mask(&document_);
      mask.SetImageColorSpace(pd::ePdfColorSpace_DeviceGray);
      pd::PdfMemoryInputStream alpha(reinterpret_cast<const char*>(planes.alpha.data()),
                                     static_cast<pd::pdf_long>(planes.alpha.size()));
      mask.SetImageData(width, height, 8, &alpha);
      image->SetImageSoftmask(&mask);
    }
    pd::PdfMemoryInputStream rgb(reinterpret_cast<const char*>(planes.rgb.data()),
                                 static_cast<pd::pdf_long>(planes.rgb.size()));
    image->SetImageData(width, height, 8, &rgb);
    return image;
  }

  // The sources are an unpacked copy that is gone once the PDF is written: the reader is told the
  // image's name within the book.
  void LeftOut(int number, const fs::path& file, std::string why) {
    ++leftOut_;
    const std::string named = file.lexically_relative(sources_.Path()).string();
    if (!named.empty() && !named.starts_with("..")) why = ReplaceAll(std::move(why), file.string(), named);
    notifier_.Notify(
        fmt::format("Page {}: an image that cannot be read is left out of the PDF: {}", number, why));
  }

  pd::PdfFont* Font(const std::string& family, bool bold, bool italic, bool embed) {
    const auto key = std::make_tuple(family, bold, italic, embed);
    const auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second;
    pd::PdfFont* font = nullptr;
    try {
      font = document_.CreateFont(family.c_str(), bold, italic, false, encoding_.get(),
                                  pd::PdfFontCache::eFontCreationFlags_None, embed);
    } catch (const pd::PdfError&) {
      // Without a font file for the family, the text is left out like a font the system lacks.
    }
    if (font == nullptr || font->GetEncoding() != encoding_.get()) font = nullptr;
    fonts_[key] = font;
    return font;
  }

  void Text(pd::PdfPainter& painter, const reading::PagePart& part, const imaging::TextSetting& setting,
            pd::PdfFont* font) {
    font->SetFontSize(static_cast<float>(part.style.size));
    font->SetUnderlined(part.style.underline);
    painter.SetFont(font);
    SetColour(painter, part.style.color);
    for (const imaging::TextLine& line : setting.lines)
      painter.DrawText(line.x, height_ - line.baseline, Utf8(line.text));
  }

  // The words of a page's search text when the page's texts do not show them all; nothing when
  // they do, or when it has none.
  std::vector<std::string> HiddenWords(const reading::Page& page, const std::string& shownText) const {
    if (page.searchText.empty()) return {};
    std::string text;
    try {
      text = sources_.ReadAtMost(page.searchText, kMaxSearchTextBytes + 1);
    } catch (const FileError&) {
      return {};
    }
    const bool cut = text.size() > kMaxSearchTextBytes;
    if (cut) text.resize(kMaxSearchTextBytes);
    std::vector<std::string> words = Words(reading::DecodeSearchText(text, cut));
    const std::vector<std::string> shownWords = Words(shownText);
    const std::set<std::string_view> shown(shownWords.begin(), shownWords.end());
    if (std::all_of(words.begin(), words.end(), [&](const std::string& w) { return shown.contains(w); }))
      return {};
    return words;
  }

  // A search text whose words the page's texts do not all show goes in as invisible text over
  // the page, set small enough to fit on it, so that a reader's find lands on the page.
  void SearchLayer(pd::PdfPainter& painter, const std::vector<std::string>& words, pd::PdfFont* font) {
    // An average character is about half as wide as the font is large, and a line 1.2 sizes
    // high: the size that fills the page with the text, within reason.
    std::size_t characters = words.size();
    for (const std::string& word : words) characters += Characters(word);
    const double margin = std::min(width_, height_) * 0.05;
    const double inner = width_ - 2 * margin;
    const double size =
        std::clamp(std::sqrt(inner * (height_ - 2 * margin) / (static_cast<double>(characters) * 0.55 * 1.2)),
                   1.0, 12.0);
    const auto perLine = std::max<std::size_t>(1, static_cast<std::size_t>(inner / (size * 0.55)));
    font->SetFontSize(static_cast<float>(size));
    font->SetUnderlined(false);
    painter.SetFont(font);
    painter.SetTextRenderingMode(pd::ePdfTextRenderingMode_Invisible);
    double baseline = height_ - margin - size;
    std::string line;
    std::size_t lineCharacters = 0;
    const auto flush = [&] {
      if (line.empty()) return;
      painter.DrawText(margin, std::max(0.0, baseline), Utf8(line));
      baseline -= size * 1.2;
      line.clear();
      lineCharacters = 0;
    };
    for (const std::string& word : words) {
      const std::size_t count = Characters(word);
      if (!line.empty() && lineCharacters + 1 + count > perLine) flush();
      if (!line.empty()) {
        line += ' ';
        ++lineCharacters;
      }
      line += word;
      lineCharacters += count;
    }
    flush();
    painter.SetTextRenderingMode(pd::ePdfTextRenderingMode_Fill);
  }

  void Links(std::size_t index) {
    const reading::Page& page = book_.pages[index];
    if (page.links.empty()) return;
    pd::PdfPage pdfPage(document_.GetObjects()->GetObject(pages_[index]), std::deque<pd::PdfObject*>());
    for (const reading::Link& link : page.links) {
      if (link.area.Empty()) continue;
      const pd::PdfRect rect(link.area.x, height_ - link.area.y - link.area.height, link.area.width,
                             link.area.height);
      if (link.page >= 0 && link.page < static_cast<int>(pages_.size())) {
        pd::PdfAnnotation* annotation = pdfPage.CreateAnnotation(pd::ePdfAnnotation_Link, rect);
        annotation->SetBorderStyle(0, 0, 0);
        annotation->SetDestination(Destination(link.page));
      } else if (const auto address = OutsideAddress(link.url)) {
        pd::PdfAnnotation* annotation = pdfPage.CreateAnnotation(pd::ePdfAnnotation_Link, rect);
        annotation->SetBorderStyle(0, 0, 0);
        pd::PdfAction action(pd::ePdfAction_URI, &document_);
        action.SetURI(pd::PdfString(*address));
        annotation->SetAction(action);
      }
    }
  }

  pd::PdfDestination Destination(int page) {
    const pd::PdfPage target(document_.GetObjects()->GetObject(pages_[static_cast<std::size_t>(page)]),
                             std::deque<pd::PdfObject*>());
    return pd::PdfDestination(&target, pd::ePdfDestinationFit_Fit);
  }

  // Chapters, then bookmarks, nested by level; an entry deeper than one below the one before it
  // goes one below it.
  void Outline() {
    std::vector<pd::PdfOutlineItem*> path;
    for (const reading::ContentsEntry& entry : book_.contents) {
      if (entry.page < 0 || entry.page >= static_cast<int>(pages_.size())) continue;
      const std::size_t depth = std::min(static_cast<std::size_t>(std::max(0, entry.level)), path.size());
      const pd::PdfString title =
          Utf8(entry.title.empty() ? fmt::format("Page {}", entry.page + 1) : entry.title);
      const pd::PdfDestination destination = Destination(entry.page);
      pd::PdfOutlineItem* item = nullptr;
      if (depth < path.size())
        item = path[depth]->CreateNext(title, destination);
      else if (depth == 0)
        item = document_.GetOutlines()->CreateChild(title, destination);
      else
        item = path[depth - 1]->CreateChild(title, destination);
      path.resize(depth);
      path.push_back(item);
    }
    if (!path.empty()) document_.SetPageMode(pd::ePdfPageModeUseBookmarks);
  }

  const reading::Book& book_;
  const FolderRoot sources_;
  Notifier& notifier_;
  const double width_;
  const double height_;
  // The fonts use the encoding and do not own it: it outlives the document.
  std::unique_ptr<pd::PdfIdentityEncoding> encoding_;
  pd::PdfStreamedDocument document_;
  std::vector<pd::PdfReference> pages_;
  std::map<fs::path, std::unique_ptr<pd::PdfImage>> images_by_file_;
  std::map<std::tuple<std::string, bool, bool, bool>, pd::PdfFont*> fonts_;
  int images_ = 0;
  int leftOut_ = 0;
};

}  // namespace

PdfBookSummary WritePdfBook(const reading::Book& book, const fs::path& sources, const fs::path& file,
                            Notifier& notifier, const PdfBookOptions& options) {
  // PoDoFo's own messages go to stderr; what matters reaches the caller as an exception.
  pd::PdfError::EnableLogging(false);
  pd::PdfError::EnableDebug(false);
  const imaging::TextDrawing drawing;
  const int count = static_cast<int>(book.pages.size());
  if (options.progress) options.progress(0, count);
  try {
    PdfWriter writer(book, sources, file, notifier);
    for (int i = 0; i < count; ++i) {
      if (options.stopped && options.stopped()) throw PdfBookStopped();
      writer.Page(static_cast<std::size_t>(i));
      if (options.progress) options.progress(i + 1, count);
    }
    writer.Finish();
    return {.pages = count, .images = writer.Images(), .imagesLeftOut = writer.ImagesLeftOut()};
  } catch (const pd::PdfError& e) {
    throw PdfBookError(fmt::format("{}: {}", file.string(), pd::PdfError::ErrorMessage(e.GetError())));
  }
}

}  // namespace pagewend::pdf
