#pragma once

#include <string_view>

#include "model/book/m_basic_objects.h"

// The objects placed on a page: images, animated GIFs, text, video, sound and clickable areas,
// and the page's element list, which picks each item's class from the element name.
namespace pagewend::model::book {

// A class that gives an inherited property its own default lists it with D: the property keeps
// its inherited place in the table.
// clang-format off
#define PAGEWEND_TBASICVISUALPAGEELEMENT_PROPERTIES(P, S, L) \
  P(left, Integer, 0) \
  P(top, Integer, 0) \
  P(width, Integer, 0) \
  P(height, Integer, 0) \
  P(orgwd, Integer, 0) \
  P(orght, Integer, 0) \
  P(rotation, Integer, 0) \
  P(scaleX, Double, 1) \
  P(scaleY, Double, 1) \
  P(mouseenabled, Boolean, true) \
  P(priority, Integer, 10)
#define PAGEWEND_TBASICVISUALPAGEFILEELEMENT_PROPERTIES(P, S, L) \
  P(src, WideText, "") \
  P(pos_, Cardinal, 0) \
  P(size_, Cardinal, 0) \
  P(thumb, WideText, "") \
  P(pos_thumb_, Cardinal, 0) \
  P(size_thumb_, Cardinal, 0)
#define PAGEWEND_TMIMG_PROPERTIES(P, S, L) \
  P(keepar, Boolean, false) \
  P(yt, Boolean, false) \
  P(aa, Boolean, false) \
  P(rasterize, Boolean, false) \
  P(onlywhenactive, Boolean, false) \
  P(sameappdomain, Boolean, false) \
  P(samesecdomain, Boolean, false) \
  P(url, Text, "") \
  P(target, Text, "_blank") \
  P(linktype, Text, "none") \
  P(page, Integer, 1) \
  P(email, Text, "")
#define PAGEWEND_TMVID_PROPERTIES(P, S, L) \
  P(autoplay, Boolean, true) \
  P(delay, Integer, 0) \
  P(fade, Integer, 2000) \
  P(gui, Text, "res/other/videoskin.swf") \
  P(guicolor, Int64, 3425907507) \
  P(loop, Boolean, true) \
  P(nopause, Boolean, false) \
  P(onlywhenactive, Boolean, false) \
  P(preview, Text, "") \
  P(restart, Boolean, false) \
  P(pos_pre_, Cardinal, 0) \
  P(size_pre_, Cardinal, 0)
#define PAGEWEND_TMVID_DEFAULTS(D) D(priority, 20)
#define PAGEWEND_TMSND_PROPERTIES(P, S, L) \
  P(delay, Integer, 0) \
  P(fade, Integer, 2000) \
  P(loop, Boolean, true) \
  P(onlywhenactive, Boolean, true) \
  P(restart, Boolean, false)
#define PAGEWEND_TMSND_DEFAULTS(D) D(priority, 15)
#define PAGEWEND_TMGIF_PROPERTIES(P, S, L) \
  P(cache, Boolean, true)
#define PAGEWEND_TMTXT_PROPERTIES(P, S, L) \
  P(align, Text, "left") \
  P(color, Cardinal, 0) \
  P(content, Text, "") \
  P(rasterize, Boolean, true) \
  P(selectable, Boolean, false) \
  P(bold, Boolean, false) \
  P(italic, Boolean, false) \
  P(underline, Boolean, false) \
  P(size, Integer, 12) \
  P(font, Text, "Tahoma") \
  P(url, Text, "") \
  P(target, Text, "_blank") \
  P(linktype, Text, "none") \
  P(page, Integer, 1) \
  P(email, Text, "")
#define PAGEWEND_TMTXT_DEFAULTS(D) D(priority, 5)
#define PAGEWEND_TMAREA_PROPERTIES(P, S, L) \
  P(url, Text, "") \
  P(target, Text, "_blank") \
  P(linktype, Text, "") \
  P(page, Integer, 1) \
  P(email, Text, "") \
  P(bgcolor, Cardinal, 0xFFFFFF) \
  P(alpha, Double, 0.2) \
  P(orgWidth, Double, 0) \
  P(orgHeight, Double, 0)
#define PAGEWEND_TMAREA_DEFAULTS(D) D(priority, 5)
// clang-format on

class TMBasicPageElement : public TMBasicObject {
  PAGEWEND_CLASS(TMBasicPageElement, TMBasicObject)
};

// Anything with a place on the page. Unknown element names load as this class.
class TBasicVisualPageElement : public TMBasicPageElement {
  PAGEWEND_PROPERTIES(TBasicVisualPageElement, TMBasicPageElement,
                      PAGEWEND_TBASICVISUALPAGEELEMENT_PROPERTIES)
};

// An element shown from a file of the package. Setting src also makes the TagName "gif" for a
// ".gif" file (in any letter case) and "img" otherwise.
class TBasicVisualPageFileElement : public TBasicVisualPageElement {
  PAGEWEND_PROPERTIES(TBasicVisualPageFileElement, TBasicVisualPageElement,
                      PAGEWEND_TBASICVISUALPAGEFILEELEMENT_PROPERTIES)

 protected:
  void Changed(std::string_view property) override;
};

// Saved under its TagName: an image of a ".gif" file is written as a "gif" element.
class TMImg final : public TBasicVisualPageFileElement {
  PAGEWEND_PROPERTIES(TMImg, TBasicVisualPageFileElement, PAGEWEND_TMIMG_PROPERTIES)
  std::string_view ElementName() const override { return TagName(); }
};

class TMVid final : public TBasicVisualPageFileElement {
  PAGEWEND_PROPERTIES_AND_DEFAULTS(TMVid, TBasicVisualPageFileElement, PAGEWEND_TMVID_PROPERTIES,
                                   PAGEWEND_TMVID_DEFAULTS)
};

class TMSnd final : public TBasicVisualPageFileElement {
  PAGEWEND_PROPERTIES_AND_DEFAULTS(TMSnd, TBasicVisualPageFileElement, PAGEWEND_TMSND_PROPERTIES,
                                   PAGEWEND_TMSND_DEFAULTS)
};

class TMGif final : public TBasicVisualPageFileElement {
  PAGEWEND_PROPERTIES(TMGif, TBasicVisualPageFileElement, PAGEWEND_TMGIF_PROPERTIES)
};

class TMTxt final : public TBasicVisualPageElement {
  PAGEWEND_PROPERTIES_AND_DEFAULTS(TMTxt, TBasicVisualPageElement, PAGEWEND_TMTXT_PROPERTIES,
                                   PAGEWEND_TMTXT_DEFAULTS)
};

// Saved under its TagName, which stays "area".
class TMArea final : public TBasicVisualPageElement {
  PAGEWEND_PROPERTIES_AND_DEFAULTS(TMArea, TBasicVisualPageElement, PAGEWEND_TMAREA_PROPERTIES,
                                   PAGEWEND_TMAREA_DEFAULTS)
  std::string_view ElementName() const override { return TagName(); }
};

// The page's "elem" list. Loading picks the class by the exact element name ("img", "gif",
// "txt", "vid", "snd", "area"); any other name gives a plain TBasicVisualPageElement.
class TBasicVisualPageElements final : public ListOf<TBasicVisualPageElement> {
 public:
  using ListOf::ListOf;

 protected:
  const ObjectClass& ClassForElement(std::string_view name) const override;
};

}  // namespace pagewend::model::book
