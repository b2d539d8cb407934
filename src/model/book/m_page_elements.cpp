#include "model/book/m_page_elements.h"

#include <algorithm>

namespace pagewend::model::book {
namespace {

// The element name follows the file: GIF files are played by the viewer's GIF element.
void SrcChanged(TMBasicObject& self) {
  std::string path = self.GetString("src");
  std::replace(path.begin(), path.end(), '/', '\\');
  const std::size_t slash = path.rfind('\\');
  const std::string_view file = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t dot = file.rfind('.');
  std::string extension(dot == std::string_view::npos ? std::string_view() : file.substr(dot));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  self.SetTagName(extension == ".gif" ? "gif" : "img");
}

std::uint32_t UInt(std::int64_t value) { return static_cast<std::uint32_t>(value); }

}  // namespace

const TMClass& TMBasicPageElement::ClassInfo() {
  static const TMClass info("TMBasicPageElement", &TMBasicObject::ClassInfo(), MakeObject<TMBasicPageElement>,
                            {});
  return info;
}
TMBasicPageElement::TMBasicPageElement(TMBasicObjects* owner) : TMBasicObject(ClassInfo(), owner) {}
TMBasicPageElement::TMBasicPageElement(const TMClass& cls, TMBasicObjects* owner)
    : TMBasicObject(cls, owner) {}

const TMClass& TBasicVisualPageElement::ClassInfo() {
  static const TMClass info("TBasicVisualPageElement", &TMBasicPageElement::ClassInfo(),
                            MakeObject<TBasicVisualPageElement>,
                            {
                                prop::Int32("left"),
                                prop::Int32("top"),
                                prop::Int32("width"),
                                prop::Int32("height"),
                                prop::Int32("orgwd"),
                                prop::Int32("orght"),
                                prop::Int32("rotation"),
                                prop::Float("scaleX", 1),
                                prop::Float("scaleY", 1),
                                prop::Boolean("mouseenabled", true),
                                prop::Int32("priority", 10),
                            });
  return info;
}
TBasicVisualPageElement::TBasicVisualPageElement(TMBasicObjects* owner)
    : TMBasicPageElement(ClassInfo(), owner) {}
TBasicVisualPageElement::TBasicVisualPageElement(const TMClass& cls, TMBasicObjects* owner)
    : TMBasicPageElement(cls, owner) {}

std::int32_t TBasicVisualPageElement::left() const { return static_cast<std::int32_t>(IntAt(0)); }
std::int32_t TBasicVisualPageElement::top() const { return static_cast<std::int32_t>(IntAt(1)); }
std::int32_t TBasicVisualPageElement::width() const { return static_cast<std::int32_t>(IntAt(2)); }
std::int32_t TBasicVisualPageElement::height() const { return static_cast<std::int32_t>(IntAt(3)); }

const TMClass& TBasicVisualPageFileElement::ClassInfo() {
  static const TMClass info("TBasicVisualPageFileElement", &TBasicVisualPageElement::ClassInfo(),
                            MakeObject<TBasicVisualPageFileElement>,
                            {
                                prop::WideString("src").WithAfterSet(SrcChanged),
                                prop::UInt32("pos_"),
                                prop::UInt32("size_"),
                                prop::WideString("thumb"),
                                prop::UInt32("pos_thumb_"),
                                prop::UInt32("size_thumb_"),
                            });
  return info;
}
TBasicVisualPageFileElement::TBasicVisualPageFileElement(TMBasicObjects* owner)
    : TBasicVisualPageElement(ClassInfo(), owner) {}
TBasicVisualPageFileElement::TBasicVisualPageFileElement(const TMClass& cls, TMBasicObjects* owner)
    : TBasicVisualPageElement(cls, owner) {}

namespace {
std::size_t FileIndex(std::string_view name) {
  return TBasicVisualPageFileElement::ClassInfo().IndexOf(name);
}
}  // namespace

const std::string& TBasicVisualPageFileElement::src() const {
  static const std::size_t index = FileIndex("src");
  return StringAt(index);
}
void TBasicVisualPageFileElement::set_src(std::string value) {
  static const std::size_t index = FileIndex("src");
  SetStringAt(index, std::move(value));
}
std::uint32_t TBasicVisualPageFileElement::pos_() const {
  static const std::size_t index = FileIndex("pos_");
  return UInt(IntAt(index));
}
std::uint32_t TBasicVisualPageFileElement::size_() const {
  static const std::size_t index = FileIndex("size_");
  return UInt(IntAt(index));
}
const std::string& TBasicVisualPageFileElement::thumb() const {
  static const std::size_t index = FileIndex("thumb");
  return StringAt(index);
}
void TBasicVisualPageFileElement::set_thumb(std::string value) {
  static const std::size_t index = FileIndex("thumb");
  SetStringAt(index, std::move(value));
}
std::uint32_t TBasicVisualPageFileElement::pos_thumb_() const {
  static const std::size_t index = FileIndex("pos_thumb_");
  return UInt(IntAt(index));
}
std::uint32_t TBasicVisualPageFileElement::size_thumb_() const {
  static const std::size_t index = FileIndex("size_thumb_");
  return UInt(IntAt(index));
}

const TMClass& TMImg::ClassInfo() {
  static const TMClass info("TMImg", &TBasicVisualPageFileElement::ClassInfo(), MakeObject<TMImg>,
                            {
                                prop::Int32("priority", 10),
                                prop::Boolean("keepar", false),
                                prop::Boolean("yt", false),
                                prop::Boolean("aa", false),
                                prop::Boolean("rasterize", false),
                                prop::Boolean("onlywhenactive", false),
                                prop::Boolean("sameappdomain", false),
                                prop::Boolean("samesecdomain", false),
                                prop::String("url"),
                                prop::String("target", "_blank"),
                                prop::String("linktype", "none"),
                                prop::Int32("page", 1),
                                prop::String("email"),
                            },
                            /*savedUnderTagName=*/true);
  return info;
}
TMImg::TMImg(TMBasicObjects* owner) : TBasicVisualPageFileElement(ClassInfo(), owner) {}

const TMClass& TMVid::ClassInfo() {
  static const TMClass info("TMVid", &TBasicVisualPageFileElement::ClassInfo(), MakeObject<TMVid>,
                            {
                                prop::Int32("priority", 20),
                                prop::Boolean("autoplay", true),
                                prop::Int32("delay", 0),
                                prop::Int32("fade", 2000),
                                prop::String("gui", "res/other/videoskin.swf"),
                                prop::Int64("guicolor", 3425907507),  // 0xCC333333
                                prop::Boolean("loop", true),
                                prop::Boolean("nopause", false),
                                prop::Boolean("onlywhenactive", false),
                                prop::String("preview"),
                                prop::Boolean("restart", false),
                                prop::UInt32("pos_pre_"),
                                prop::UInt32("size_pre_"),
                            });
  return info;
}
TMVid::TMVid(TMBasicObjects* owner) : TBasicVisualPageFileElement(ClassInfo(), owner) {}

namespace {
std::size_t VidIndex(std::string_view name) { return TMVid::ClassInfo().IndexOf(name); }
}  // namespace

const std::string& TMVid::preview() const {
  static const std::size_t index = VidIndex("preview");
  return StringAt(index);
}
void TMVid::set_preview(std::string value) {
  static const std::size_t index = VidIndex("preview");
  SetStringAt(index, std::move(value));
}
std::uint32_t TMVid::pos_pre_() const {
  static const std::size_t index = VidIndex("pos_pre_");
  return UInt(IntAt(index));
}
std::uint32_t TMVid::size_pre_() const {
  static const std::size_t index = VidIndex("size_pre_");
  return UInt(IntAt(index));
}

const TMClass& TMSnd::ClassInfo() {
  static const TMClass info("TMSnd", &TBasicVisualPageFileElement::ClassInfo(), MakeObject<TMSnd>,
                            {
                                prop::Int32("priority", 15),
                                prop::Int32("delay", 0),
                                prop::Int32("fade", 2000),
                                prop::Boolean("loop", true),
                                prop::Boolean("onlywhenactive", true),
                                prop::Boolean("restart", false),
                            });
  return info;
}
TMSnd::TMSnd(TMBasicObjects* owner) : TBasicVisualPageFileElement(ClassInfo(), owner) {}

const TMClass& TMGif::ClassInfo() {
  static const TMClass info("TMGif", &TBasicVisualPageFileElement::ClassInfo(), MakeObject<TMGif>,
                            {
                                prop::Boolean("cache", true),
                            });
  return info;
}
TMGif::TMGif(TMBasicObjects* owner) : TBasicVisualPageFileElement(ClassInfo(), owner) {}

const TMClass& TMTxt::ClassInfo() {
  static const TMClass info("TMTxt", &TBasicVisualPageElement::ClassInfo(), MakeObject<TMTxt>,
                            {
                                prop::Int32("rotation"),
                                prop::Int32("priority", 5),
                                prop::String("align", "left"),
                                prop::UInt32("color"),
                                prop::String("content"),
                                prop::Boolean("rasterize", true),
                                prop::Boolean("selectable", false),
                                prop::Boolean("bold", false),
                                prop::Boolean("italic", false),
                                prop::Boolean("underline", false),
                                prop::Int32("size", 12),
                                prop::String("font", "Tahoma"),
                                prop::String("url"),
                                prop::String("target", "_blank"),
                                prop::String("linktype", "none"),
                                prop::Int32("page", 1),
                                prop::String("email"),
                            });
  return info;
}
TMTxt::TMTxt(TMBasicObjects* owner) : TBasicVisualPageElement(ClassInfo(), owner) {}

const TMClass& TMArea::ClassInfo() {
  static const TMClass info("TMArea", &TBasicVisualPageElement::ClassInfo(), MakeObject<TMArea>,
                            {
                                prop::Int32("priority", 5),
                                prop::String("url"),
                                prop::String("target", "_blank"),
                                prop::String("linktype"),
                                prop::Int32("page", 1),
                                prop::String("email"),
                                prop::UInt32("bgcolor", 0xFFFFFF),
                                prop::Float("alpha", 0.2),
                                prop::Float("orgWidth", 0),
                                prop::Float("orgHeight", 0),
                            },
                            /*savedUnderTagName=*/true);
  return info;
}
TMArea::TMArea(TMBasicObjects* owner) : TBasicVisualPageElement(ClassInfo(), owner) {}

const TMClass& TBasicVisualPageElements::ClassForElement(std::string_view name) const {
  if (name == "img") return TMImg::ClassInfo();
  if (name == "snd") return TMSnd::ClassInfo();
  if (name == "vid") return TMVid::ClassInfo();
  if (name == "gif") return TMGif::ClassInfo();
  if (name == "area") return TMArea::ClassInfo();
  if (name == "txt") return TMTxt::ClassInfo();
  return ItemClass();
}

}  // namespace pagewend::model::book
