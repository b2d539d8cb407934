#pragma once

#include "model/project/pw_basic_project.h"
#include "model/project/pw_sections.h"

namespace pagewend::model::project {

// Property order is the order in which the authoring tool writes the elements. Colours are
// 0xRRGGBB in decimal; videoskincolor carries an alpha byte on top and is never read from an
// element. Each pos_/size_ pair locates a packaged viewer module (0: none packaged).
// clang-format off
#define PAGEWEND_TPWPROJECT_PROPERTIES(P, S, L) \
  P(booksizetype, Integer, 1) \
  P(swfwd, Integer, 900) \
  P(swfht, Integer, 600) \
  P(templatename, WideText, "") \
  P(videoskin, WideText, "01") \
  P(videoskincolor, Int64, 3425907507) \
  P(pagewidth, Integer, 0) \
  P(pageheight, Integer, 0) \
  S(title, TPWText) \
  S(pagination, TPWPagination) \
  P(right2left, Boolean, false) \
  P(hardcover, Boolean, false) \
  P(hardpage, Boolean, false) \
  P(pagethickness, Double, 0.2) \
  P(spinecurvature, Double, -0.5) \
  P(spinecolor, Cardinal, 13421772) \
  P(gaaccount, Text, "") \
  P(landscape, Boolean, false) \
  P(canclose, Boolean, true) \
  P(centercovor, Boolean, true) \
  S(navbar, TPWNavBar) \
  S(navbtn, TPWButtons) \
  S(background, TPWBackground) \
  P(usepassword, Boolean, false) \
  P(password, Text, "") \
  P(dragspeed, Double, 0.5) \
  P(dragarea, Text, "top,middle,bottom") \
  P(dragrange, Text, "auto") \
  P(slidedelay, Double, 3.0) \
  P(sliderepeat, Boolean, false) \
  P(slidestart, Boolean, false) \
  P(handcursor, Boolean, false) \
  P(layoutfile, Text, "") \
  S(preloader, TPWPreloader) \
  S(logo, TPWLogo) \
  S(toc, TPWToc) \
  P(bgsound, Boolean, true) \
  P(pagesound, Boolean, true) \
  P(maxloaded, Integer, 30) \
  P(cornerhint, Boolean, true) \
  P(reflection, Boolean, false) \
  P(reflectionalpha, Double, 0.25) \
  P(reflectionfade, Boolean, false) \
  P(reflectionoffset, Integer, 0) \
  P(zoomsnap, Text, "1,3,5") \
  P(zoomminscale, Double, 0.1) \
  P(zoomdoubleclick, Boolean, false) \
  P(useminfixzoom, Boolean, true) \
  P(pos_bookinfo_, Cardinal, 0) \
  P(size_bookinfo_, Cardinal, 0) \
  P(pos_mag_, Cardinal, 0) \
  P(size_mag_, Cardinal, 0) \
  P(pos_toolbar_, Cardinal, 0) \
  P(size_toolbar_, Cardinal, 0) \
  P(pos_input_, Cardinal, 0) \
  P(size_input_, Cardinal, 0) \
  P(pos_vs_, Cardinal, 0) \
  P(size_vs_, Cardinal, 0) \
  P(pos_thumbswf_, Cardinal, 0) \
  P(size_thumbswf_, Cardinal, 0) \
  P(fullscreenopened, Boolean, false) \
  P(marginleft, Integer, 20) \
  P(marginright, Integer, 20) \
  P(margintop, Integer, 70) \
  P(marginbottom, Integer, 75) \
  P(minimode, Boolean, true) \
  P(miniwidth, Integer, 400) \
  P(miniheight, Integer, 300) \
  P(tag_title, WideText, "Pagewend") \
  P(tag_keywords, WideText, "") \
  P(tag_description, WideText, "") \
  P(tag_generator, WideText, "") \
  P(exetitle, WideText, "Flash Player") \
  S(settings, TPWSettings)
// clang-format on

// The settings of one book: the last document of its package, root element <project>. Load it
// with LoadFromStream; the package reader then takes the window caption, the packaged files'
// references and the background's file name from it.
class TPWProject : public TPWBasicProject {
  PAGEWEND_PROPERTIES(TPWProject, TPWBasicProject, PAGEWEND_TPWPROJECT_PROPERTIES)
};

}  // namespace pagewend::model::project
