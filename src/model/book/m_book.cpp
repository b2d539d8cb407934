#include "model/book/m_book.h"

#include "support/guid.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "model/xml_source.h"

namespace pagewend::model::book {
namespace {

std::mt19937& Random() {
  thread_local std::mt19937 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return std::mt19937(seed);
  }();
  return engine;
}

TMValue NewGuidValue() { return pagewend::NewGuidText(); }

TMValue RandomBookmarkColor() {
  std::uniform_int_distribution<std::int64_t> color(0, 2147483646);
  return color(Random());
}

void IsSimplePageChanged(TMBasicObject& self) {
  self.SetTagName(self.GetBool("isSimplePage") ? "spreadpage" : "page");
}

std::uint32_t UInt(std::int64_t value) { return static_cast<std::uint32_t>(value); }

constexpr std::int64_t kGreyWithAlpha = 4291611852;  // 0xFFCCCCCC

}  // namespace

// ---------------------------------------------------------------------------------------------

const TMClass& TMURL::ClassInfo() {
  static const TMClass info("TMURL", &TMBasicObject::ClassInfo(), MakeObject<TMURL>, {prop::String("src")});
  return info;
}
TMURL::TMURL(TMBasicObjects* owner) : TMBasicObject(ClassInfo(), owner) {}

const TMClass& TMLink::ClassInfo() {
  static const TMClass info("TMLink", &TMBasicObject::ClassInfo(), MakeObject<TMLink>,
                            {
                                prop::Int32("x"),
                                prop::Int32("y"),
                                prop::Int32("width"),
                                prop::Int32("height"),
                                prop::List<TMURLs>("urls"),
                            });
  return info;
}
TMLink::TMLink(TMBasicObjects* owner) : TMBasicObject(ClassInfo(), owner) {}
TMURLs& TMLink::urls() const {
  static const std::size_t index = ClassInfo().IndexOf("urls");
  return static_cast<TMURLs&>(ListAt(index));
}

// ---------------------------------------------------------------------------------------------

const TMClass& TMPage::ClassInfo() {
  static const TMClass info("TMPage", &TMBasicObject::ClassInfo(), MakeObject<TMPage>,
                            {
                                prop::Boolean("isSimplePage", false).WithAfterSet(IsSimplePageChanged),
                                prop::Int64("bgcolor", kGreyWithAlpha),
                                prop::Float("foldfx", 0.5),
                                prop::Float("shadows", 0.5),
                                prop::Boolean("stiff", false),
                                prop::Boolean("turningenabled", true),
                                prop::String("print"),
                                prop::String("searchtxt"),
                                prop::String("download"),
                                prop::List<TBasicVisualPageElements>("elem"),
                                prop::UInt32("pos_print_"),
                                prop::UInt32("size_print_"),
                                prop::UInt32("pos_search_"),
                                prop::UInt32("size_search_"),
                                prop::UInt32("pos_download_"),
                                prop::UInt32("size_download_"),
                                prop::WideString("mobilefile1"),
                                prop::WideString("mobilefile2"),
                                prop::UInt32("pos_mobilefile2"),
                                prop::UInt32("size_mobilefile2"),
                                prop::WideString("pagethumb"),
                                prop::WideString("photoviewthumb"),
                                prop::List<TMLinks>("links"),
                            },
                            /*savedUnderTagName=*/true);
  return info;
}
TMPage::TMPage(TMBasicObjects* owner) : TMBasicObject(ClassInfo(), owner) {}

namespace {
std::size_t PageIndex(std::string_view name) { return TMPage::ClassInfo().IndexOf(name); }
}  // namespace

bool TMPage::isSimplePage() const {
  static const std::size_t index = PageIndex("isSimplePage");
  return IntAt(index) != 0;
}
void TMPage::set_isSimplePage(bool value) {
  static const std::size_t index = PageIndex("isSimplePage");
  SetIntAt(index, value ? 1 : 0);
}
TBasicVisualPageElements& TMPage::elem() const {
  static const std::size_t index = PageIndex("elem");
  return static_cast<TBasicVisualPageElements&>(ListAt(index));
}
TMLinks& TMPage::links() const {
  static const std::size_t index = PageIndex("links");
  return static_cast<TMLinks&>(ListAt(index));
}

#define PAGE_STRING(NAME)                              \
  const std::string& TMPage::NAME() const {            \
    static const std::size_t index = PageIndex(#NAME); \
    return StringAt(index);                            \
  }                                                    \
  void TMPage::set_##NAME(std::string value) {         \
    static const std::size_t index = PageIndex(#NAME); \
    SetStringAt(index, std::move(value));              \
  }
PAGE_STRING(print)
PAGE_STRING(searchtxt)
PAGE_STRING(mobilefile1)
PAGE_STRING(mobilefile2)
PAGE_STRING(pagethumb)
PAGE_STRING(photoviewthumb)
#undef PAGE_STRING

#define PAGE_UINT(NAME)                                \
  std::uint32_t TMPage::NAME() const {                 \
    static const std::size_t index = PageIndex(#NAME); \
    return UInt(IntAt(index));                         \
  }
PAGE_UINT(pos_print_)
PAGE_UINT(size_print_)
PAGE_UINT(pos_search_)
PAGE_UINT(size_search_)
PAGE_UINT(pos_download_)
PAGE_UINT(size_download_)
PAGE_UINT(pos_mobilefile2)
PAGE_UINT(size_mobilefile2)
#undef PAGE_UINT

void TMPages::MovePages(std::span<const std::string> indices, std::size_t target) {
  const std::size_t count = Count();
  if (target > count)
    throw std::invalid_argument(fmt::format("Cannot move pages to index {} of {} pages", target, count));
  std::vector<std::size_t> moved;
  moved.reserve(indices.size());
  for (const std::string& text : indices) {
    const auto index = ParseInt32(text);
    if (!index || *index < 0 || static_cast<std::size_t>(*index) >= count)
      throw std::invalid_argument(fmt::format("'{}' is not the index of one of {} pages", text, count));
    moved.push_back(static_cast<std::size_t>(*index));
  }
  std::sort(moved.begin(), moved.end());
  // A page named twice would be copied twice and a bystander deleted in its place.
  if (std::adjacent_find(moved.begin(), moved.end()) != moved.end())
    throw std::invalid_argument("A page to move is named more than once");

  // The moved pages keep their identity: taking them out and putting them back in order gives
  // the same list as inserting copies and deleting the originals.
  auto& items = Storage();
  std::vector<std::unique_ptr<TMBasicObject>> taken;
  std::vector<std::unique_ptr<TMBasicObject>> kept;
  taken.reserve(moved.size());
  kept.reserve(count - moved.size());
  std::size_t next = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (next < moved.size() && moved[next] == i) {
      taken.push_back(std::move(items[i]));
      ++next;
    } else {
      kept.push_back(std::move(items[i]));
    }
  }
  const auto before = static_cast<std::size_t>(
      std::count_if(moved.begin(), moved.end(), [&](std::size_t i) { return i < target; }));
  const auto at = kept.begin() + static_cast<std::ptrdiff_t>(target - before);
  kept.insert(at, std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end()));
  items = std::move(kept);
}

// ---------------------------------------------------------------------------------------------

const TMClass& TMChapter::ClassInfo() {
  static const TMClass info("TMChapter", &TMBasicObject::ClassInfo(), MakeObject<TMChapter>,
                            {
                                prop::List<TMPages>("Pages"),
                                prop::WideString("bgsound"),
                                prop::Int32("fade", 1000),
                                prop::Int64("bgcolor", kGreyWithAlpha),
                                prop::UInt32("pos_"),
                                prop::UInt32("size_"),
                            });
  return info;
}
TMChapter::TMChapter(TMBasicObjects* owner) : TMBasicObject(ClassInfo(), owner) {}

namespace {
std::size_t ChapterIndex(std::string_view name) { return TMChapter::ClassInfo().IndexOf(name); }
}  // namespace

TMPages& TMChapter::Pages() const {
  static const std::size_t index = ChapterIndex("Pages");
  return static_cast<TMPages&>(ListAt(index));
}
const std::string& TMChapter::bgsound() const {
  static const std::size_t index = ChapterIndex("bgsound");
  return StringAt(index);
}
void TMChapter::set_bgsound(std::string value) {
  static const std::size_t index = ChapterIndex("bgsound");
  SetStringAt(index, std::move(value));
}
std::uint32_t TMChapter::pos_() const {
  static const std::size_t index = ChapterIndex("pos_");
  return UInt(IntAt(index));
}
std::uint32_t TMChapter::size_() const {
  static const std::size_t index = ChapterIndex("size_");
  return UInt(IntAt(index));
}

// ---------------------------------------------------------------------------------------------

const TMClass& TMBookmark::ClassInfo() {
  static const TMClass info("TMBookmark", &TMBasicObject::ClassInfo(), MakeObject<TMBookmark>,
                            {
                                prop::WideString("title"),
                                prop::Int32("page", 1),
                                prop::UInt32("color").Generated(RandomBookmarkColor),
                            });
  return info;
}
TMBookmark::TMBookmark(TMBasicObjects* owner) : TMBasicObject(ClassInfo(), owner) {}

const TMClass& TMBox::ClassInfo() {
  static const TMClass info("TMBox", &TMBasicObject::ClassInfo(), MakeObject<TMBox>,
                            {
                                prop::String("anchors", "0, 0, pw, ph"),
                                prop::Int32("width"),
                                prop::Int32("height"),
                                prop::String("background"),
                                prop::Boolean("backgroundrepeat", false),
                                prop::String("scale9grid"),
                                prop::Float("alpha", 1),
                                prop::Int32("pos"),
                            });
  return info;
}
TMBox::TMBox(TMBasicObjects* owner) : TMBasicObject(ClassInfo(), owner) {}

void TMBox::SaveToXML(pugi::xml_node element) const {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kLeftOut = {{
      {"width", "0"},
      {"height", "0"},
      {"background", ""},
      {"backgroundrepeat", "false"},
      {"scale9grid", ""},
      {"alpha", "1"},
  }};
  const auto properties = Class().Properties();
  for (std::size_t i = 0; i < properties.size(); ++i) {
    if (!properties[i].IsScalar()) continue;
    const std::string text = ValueText(i);
    const bool leftOut = std::any_of(kLeftOut.begin(), kLeftOut.end(), [&](const auto& rule) {
      return rule.first == properties[i].name && rule.second == text;
    });
    if (leftOut) continue;
    element.append_attribute(std::string(properties[i].name).c_str()).set_value(text.c_str());
  }
}

const TMClass& TMBackground::ClassInfo() {
  static const TMClass info("TMBackground", &TMBasicObject::ClassInfo(), MakeObject<TMBackground>,
                            {prop::Object<TMBox>("box")});
  return info;
}
TMBackground::TMBackground(TMBasicObjects* owner) : TMBasicObject(ClassInfo(), owner) {}
TMBox& TMBackground::box() const { return static_cast<TMBox&>(ObjectAt(0)); }

// ---------------------------------------------------------------------------------------------

const TMClass& TMBook::ClassInfo() {
  static const TMClass info("TMBook", &TMBasicObject::ClassInfo(), MakeObject<TMBook>,
                            {
                                prop::String("version"),
                                prop::String("title"),
                                prop::String("uid").Generated(NewGuidValue),
                                prop::String("asulextension", "swf"),
                                prop::Int64("bgcolor", 13421772),
                                prop::Float("foldfx", 0.5),
                                prop::String("plugins"),
                                prop::String("guipath", "res/other/"),
                                prop::String("flagpath", "res/flags/"),
                                prop::Boolean("ignoresyslang", false),
                                prop::String("gaaccount"),
                                prop::String("lang"),
                                prop::Boolean("handcursor", true),
                                prop::Boolean("ltr", true),
                                prop::Float("pagethickness", 0.3),
                                prop::Boolean("pagesounds", true),
                                prop::Int32("pagewidth"),
                                prop::Int32("pageheight"),
                                prop::Boolean("reflection", false),
                                prop::Float("reflectionalpha", 0.25),
                                prop::Boolean("reflectionfade", false),
                                prop::Int32("reflectionoffset"),
                                prop::Boolean("minimode", false),
                                prop::Int32("miniwidth", 400),
                                prop::Int32("miniheight", 300),
                                prop::Int32("marginleft", 20),
                                prop::Int32("marginright", 20),
                                prop::Int32("margintop", 70),
                                prop::Int32("marginbottom", 75),
                                prop::Int32("rotate"),
                                prop::Int32("startpage", 1),
                                prop::Float("slidedelay", 3),
                                prop::Boolean("sliderepeat", false),
                                prop::Boolean("slidestart", false),
                                prop::Boolean("centercovers", true),
                                prop::Boolean("cornerhint", false),
                                prop::String("pluginpath", "plugins/"),
                                prop::Float("dragspeed", 0.5),
                                prop::String("dragarea", "top,middle,bottom"),
                                prop::String("dragrange", "auto"),
                                prop::Float("zoominit", 0.5),
                                prop::Float("zoomminscale", 0.1),
                                prop::Float("zoommaxscale", 5),
                                prop::Boolean("zoomliquidscaling", true),
                                prop::Int32("zoomsteps", 1),
                                prop::String("zoomsnap", "1,2,3,5"),
                                prop::Boolean("zoomwheel", false),
                                prop::Boolean("zoomdoubleclick", false),
                                prop::Boolean("useminfixzoom", true),
                                prop::Boolean("zoombar", true),
                                prop::Float("spinecurvature", -0.5),
                                prop::UInt32("spinecolor", 13421772),
                                prop::Int32("maxloaded", 30),
                                prop::Boolean("bggradient", false),
                                prop::String("password"),
                                prop::Boolean("simplepage", false),
                                prop::String("searchindex"),
                                prop::Boolean("searchclear", false),
                                prop::Int32("printmaxpages", 100),
                                prop::Int32("printthumbsperpage", 30),
                                prop::Boolean("printselectcurrent", true),
                                prop::Boolean("printstretch", true),
                                prop::Int32("keyfullscreen"),
                                prop::Int32("keyprevpage"),
                                prop::Int32("keynextpage"),
                                prop::Int32("keyfirstpage"),
                                prop::Int32("keylastpage"),
                                prop::Int32("keyzoomin"),
                                prop::Int32("keyzoomout"),
                                prop::String("thumbloadtext"),
                                prop::WideString("thumbpath", "res/thumbnails/thumb_{{num}}.png"),
                                prop::Boolean("thumbstatic", true),
                                prop::Boolean("thumbauto", true),
                                prop::Boolean("pagepreview", true),
                                prop::Float("thumbscale", 0.2),
                                prop::Boolean("alwayshowthumb", false),
                                prop::Boolean("autoMove", false),
                                prop::Boolean("fullscreenopened", false),
                                prop::String("langpath", "res/languages/"),
                                prop::String("download"),
                                prop::Object<TMBackground>("background"),
                                prop::List<TMBookmarks>("bookmarks"),
                                prop::List<TMChapters>("Chapters"),
                                prop::UInt32("pos_search_"),
                                prop::UInt32("size_search_"),
                                prop::UInt32("pos_download_"),
                                prop::UInt32("size_download_"),
                                prop::UInt32("pos_langs_"),
                                prop::UInt32("size_langs_"),
                                prop::String("bookmarktype", "box"),
                                prop::String("errorlevel", "NONE"),
                            });
  return info;
}
TMBook::TMBook(TMBasicObjects* owner) : TMBasicObject(ClassInfo(), owner) {}

namespace {
std::size_t BookIndex(std::string_view name) { return TMBook::ClassInfo().IndexOf(name); }
}  // namespace

TMBackground& TMBook::background() const {
  static const std::size_t index = BookIndex("background");
  return static_cast<TMBackground&>(ObjectAt(index));
}
TMBookmarks& TMBook::bookmarks() const {
  static const std::size_t index = BookIndex("bookmarks");
  return static_cast<TMBookmarks&>(ListAt(index));
}
TMChapters& TMBook::Chapters() const {
  static const std::size_t index = BookIndex("Chapters");
  return static_cast<TMChapters&>(ListAt(index));
}

void TMBook::LoadFromStream(std::string_view bytes, const LoadOptions& options) {
  // Loading descends only into children named after object and list properties, so its
  // recursion ends with the model's own nesting whatever the document's.
  const pugi::xml_document document = LoadXmlDocument(bytes, XmlDepthCheck::kSkip);
  const pugi::xml_node root = document.document_element();
  if (!root) throw XmlError("The document has no root element");
  LoadFromXML(root, options);
}

std::string TMBook::SaveToString() const {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version").set_value("1.0");
  declaration.append_attribute("encoding").set_value("UTF-8");
  SaveToXML(document.append_child("book"));

  struct StringWriter final : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override {
      text.append(static_cast<const char*>(data), size);
    }
  } writer;
  document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
  return std::move(writer.text);
}

}  // namespace pagewend::model::book
