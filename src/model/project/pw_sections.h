#pragma once

#include "model/project/pw_basic_project.h"

// The nested elements of the <project> document. Each is read from the element named like its
// property in TPWProject; none has loading code of its own.

namespace pagewend::model::project {

// The publisher's host name and address, shown by the viewer's title until a book names its own.
inline constexpr std::string_view kPublisherHost = "www.pagewend.example";
inline constexpr std::string_view kPublisherUrl = "http://www.pagewend.example/";

// clang-format off
#define PAGEWEND_TPWTEXT_PROPERTIES(P, S, L) \
  P(value, WideText, ::pagewend::model::project::kPublisherHost) \
  P(color, Cardinal, 16777215) \
  P(size, Integer, 12) \
  P(font, WideText, "Tahoma") \
  P(bold, Boolean, false) \
  P(italic, Boolean, false) \
  P(underline, Boolean, false) \
  P(url, Text, ::pagewend::model::project::kPublisherUrl)

#define PAGEWEND_TPWPAGINATION_PROPERTIES(P, S, L) \
  P(usepagination, Boolean, true) \
  P(color, Cardinal, 16777215) \
  P(size, Integer, 12) \
  P(font, Text, "Tahoma") \
  P(bold, Boolean, false) \
  P(italic, Boolean, false) \
  P(underline, Boolean, false)

#define PAGEWEND_TPWNAVBAR_PROPERTIES(P, S, L) \
  P(usetop, Boolean, true) \
  P(usebottom, Boolean, true) \
  P(usefile, Boolean, true) \
  P(color, Cardinal, 3355443) \
  P(name, WideText, "") \
  P(topfile, WideText, "") \
  P(bottomfile, WideText, "") \
  P(height, Integer, 45) \
  P(scale9grid, Text, "15,1,85,34") \
  P(backgroundrepeat, Boolean, false) \
  P(alpha, Integer, 100) \
  P(anchors_top, Text, "0,0,pw") \
  P(anchors_bottom, Text, "0,ph-h,pw") \
  P(left, Integer, 0) \
  P(right, Integer, 0) \
  P(pos_, Integer, 0) \
  P(size_, Cardinal, 0)

#define PAGEWEND_TPWBASICBG_PROPERTIES(P, S, L) \
  P(usefile, Boolean, false) \
  P(usegradient, Boolean, false) \
  P(gradienttype, Text, "radial") \
  P(color, Cardinal, 0) \
  P(color2, Cardinal, 10066329) \
  P(filename, WideText, "") \
  P(filenamesrc, WideText, "") \
  P(backgroundrepeat, Boolean, false) \
  P(scale9grid, Text, "") \
  P(filltype, Text, "") \
  P(width, Integer, 0) \
  P(height, Integer, 0) \
  P(alpha, Double, 1.0) \
  P(anchors, Text, "") \
  P(pos_, Integer, 0) \
  P(size_, Cardinal, 0)

// Key codes are Windows virtual-key numbers.
#define PAGEWEND_TPWBUTTONS_PROPERTIES(P, S, L) \
  P(name, WideText, "") \
  P(margin_lt_x, Integer, 5) \
  P(margin_lt_y, Integer, 8) \
  P(margin_lb_x, Integer, 5) \
  P(margin_lb_y, Integer, 8) \
  P(margin_rt_x, Integer, 5) \
  P(margin_rb_x, Integer, 5) \
  P(firstpage, Boolean, true) \
  P(previous, Boolean, true) \
  P(play, Boolean, true) \
  P(thumbnail, Boolean, true) \
  P(fullscreen, Boolean, true) \
  P(music, Boolean, true) \
  P(print, Boolean, true) \
  P(toc, Boolean, true) \
  P(zoomin, Boolean, true) \
  P(zoombar, Boolean, true) \
  P(share, Boolean, true) \
  P(download, Boolean, false) \
  P(bookmarks, Boolean, true) \
  P(email, Boolean, true) \
  P(search, Boolean, false) \
  P(searchbox, Boolean, true) \
  P(usekey, Boolean, true) \
  P(keyfullscreen, Integer, 122) \
  P(keyprevpage, Integer, 37) \
  P(keynextpage, Integer, 39) \
  P(keyfirstpage, Integer, 36) \
  P(keylastpage, Integer, 35) \
  P(keyzoomin, Integer, 38) \
  P(keyzoomout, Integer, 40) \
  P(pos_, Cardinal, 0) \
  P(size_, Cardinal, 0)

#define PAGEWEND_TPWLOGO_PROPERTIES(P, S, L) \
  P(usefile, Boolean, false) \
  P(filename, WideText, "") \
  P(position, Text, "logo_left_bottom") \
  P(width, Integer, 0) \
  P(height, Integer, 0) \
  P(url, Text, "") \
  P(pos_, Cardinal, 0) \
  P(size_, Cardinal, 0)

// A packaged file and where it lies; the table of contents and the preloader animation.
#define PAGEWEND_PACKAGED_FILE_PROPERTIES(P, S, L) \
  P(filename, WideText, "") \
  P(pos_, Cardinal, 0) \
  P(size_, Cardinal, 0)

#define PAGEWEND_TPWSETTINGS_PROPERTIES(P, S, L) \
  P(genmobile, Boolean, true) \
  P(genthumbnail, Boolean, true) \
  P(extractpdflink, Boolean, true) \
  P(extracttoc, Boolean, true)
// clang-format on

// Title text (element `title`).
class TPWText : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWText, TPWBasicProject, PAGEWEND_TPWTEXT_PROPERTIES)
};

// Page-number text (element `pagination`); its font is 8-bit text, unlike the title's.
class TPWPagination : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWPagination, TPWBasicProject, PAGEWEND_TPWPAGINATION_PROPERTIES)
};

// Navigation bar (element `navbar`). The player joins topfile and bottomfile to the folder it
// extracts the bar images into.
class TPWNavBar : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWNavBar, TPWBasicProject, PAGEWEND_TPWNAVBAR_PROPERTIES)
};

// A background; the player replaces filename with the path of the extracted file.
class TPWBasicBg : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWBasicBg, TPWBasicProject, PAGEWEND_TPWBASICBG_PROPERTIES)
};

// The book's background (element `background`).
class TPWBackground : public TPWBasicBg {
  PAGEWEND_CLASS(TPWBackground, TPWBasicBg)
};

// Navigation buttons and their keys (element `navbtn`).
class TPWButtons : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWButtons, TPWBasicProject, PAGEWEND_TPWBUTTONS_PROPERTIES)
};

// Logo (element `logo`).
class TPWLogo : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWLogo, TPWBasicProject, PAGEWEND_TPWLOGO_PROPERTIES)
};

// Table-of-contents file (element `toc`).
class TPWToc : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWToc, TPWBasicProject, PAGEWEND_PACKAGED_FILE_PROPERTIES)
};

// Preloader animation file (element `preloader`).
class TPWPreloader : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWPreloader, TPWBasicProject, PAGEWEND_PACKAGED_FILE_PROPERTIES)
};

// Authoring options, carried unchanged (element `settings`).
class TPWSettings : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWSettings, TPWBasicProject, PAGEWEND_TPWSETTINGS_PROPERTIES)
};

}  // namespace pagewend::model::project
