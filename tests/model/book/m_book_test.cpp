#include "model/book/m_book.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "model/book/book_test_support.h"

namespace pagewend::model::book {
namespace {

using testing::AttributeNames;
using testing::BookXml;
using testing::ChildNames;
using ::testing::ElementsAre;
using testing::FindElement;
using testing::Options;
using testing::Parse;

constexpr char kFreshBook[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<book version="" title="" uid="UID" asulextension="swf" bgcolor="13421772" foldfx="0.5" plugins="" guipath="res/other/" flagpath="res/flags/" ignoresyslang="false" lang="" handcursor="true" ltr="true" pagethickness="0.3" pagesounds="true" pagewidth="0" pageheight="0" reflection="false" reflectionalpha="0.25" reflectionfade="false" reflectionoffset="0" minimode="false" miniwidth="400" miniheight="300" marginleft="20" marginright="20" margintop="70" marginbottom="75" rotate="0" slidedelay="3" sliderepeat="false" slidestart="false" centercovers="true" cornerhint="false" pluginpath="plugins/" dragspeed="0.5" dragarea="top,middle,bottom" dragrange="auto" zoomminscale="0.1" zoommaxscale="5" zoomliquidscaling="true" zoomsteps="1" zoomsnap="1,2,3,5" zoomwheel="false" zoomdoubleclick="false" useminfixzoom="true" zoombar="true" spinecurvature="-0.5" maxloaded="30" bggradient="false" simplepage="false" searchindex="" searchclear="false" printmaxpages="100" printthumbsperpage="30" printselectcurrent="true" printstretch="true" keyfullscreen="0" keyprevpage="0" keynextpage="0" keyfirstpage="0" keylastpage="0" keyzoomin="0" keyzoomout="0" thumbloadtext="" thumbpath="res/thumbnails/thumb_{{num}}.png" thumbstatic="true" thumbauto="true" pagepreview="true" thumbscale="0.2" alwayshowthumb="false" autoMove="false" fullscreenopened="false" langpath="res/languages/" download="" pos_search_="0" size_search_="0" pos_download_="0" size_download_="0" pos_langs_="0" size_langs_="0" bookmarktype="box" errorlevel="NONE">
  <background>
    <box anchors="0, 0, pw, ph" pos="0" />
  </background>
  <bookmarks />
  <Chapters />
</book>
)";

TEST(Book, FreshBookSavesTheGoldenDocument) {
  const TMBook book;
  const std::string saved = book.SaveToString();
  const std::regex uid(
      R"re(uid="\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\}")re");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(saved, match, uid)) << saved;
  EXPECT_EQ(std::regex_replace(saved, uid, R"(uid="UID")"), kFreshBook);
  EXPECT_NE(TMBook().GetString("uid"), book.GetString("uid"));
}

TEST(Book, LoadSaveLoadGivesTheSameModel) {
  const std::string xml = BookXml(
      R"(title="Tour &amp; &quot;guide&quot;" uid="{C76D7EF6-C645-4B49-AFE1-A0F498636170}" zoominit="0.75" startpage="3" password="pw" gaaccount="UA-1" spinecolor="255" keyfullscreen="122" pos_langs_="1234" size_langs_="99")",
      R"x(<background><box anchors="0,0,pw,ph" background="image(res/other/background.swf)" width="10" backgroundrepeat="TRUE" alpha="0.5"/></background>)x"
      R"(<bookmarks><bookmark title="Start" page="2" color="123"/></bookmarks>)"
      R"(<Chapters><chapter bgsound="s.mp3" pos_="10" size_="20"><Pages>)"
      R"(<page pagethumb="t.png" pos_print_="7"><elem><img src="a.png" url="u" pos_="100" size_="50"/><txt content="Hi"/>)"
      R"(<vid gui="my/skin.swf" preview="p.jpg" pos_pre_="5"/><snd/><gif src="g.gif"/><area alpha="0.3"/></elem>)"
      R"(<links><link x="1" y="2"><urls><url src="http://a"/><url src="http://b"/></urls></link></links></page>)"
      R"(<spreadpage isSimplePage="true"/></Pages></chapter><chapter/></Chapters>)");
  TMBook first;
  first.LoadFromStream(xml, Options());
  const std::string saved = first.SaveToString();
  TMBook second;
  second.LoadFromStream(saved, Options(','));
  EXPECT_EQ(second.SaveToString(), saved);

  const TMPage& page = second.Chapters().Items(0).Pages().Items(0);
  EXPECT_EQ(page.elem().Count(), 6u);
  EXPECT_EQ(page.links().Items(0).urls().Items(1).GetString("src"), "http://b");
  EXPECT_EQ(second.Chapters().Items(0).pos_(), 10u);
  EXPECT_EQ(second.GetString("title"), "Tour & \"guide\"");
  const auto doc = Parse(saved);
  EXPECT_STREQ(doc.child("book").attribute("startpage").value(), "3");
  EXPECT_STREQ(doc.child("book").attribute("password").value(), "pw");
  EXPECT_STREQ(doc.child("book").attribute("spinecolor").value(), "255");
}

TEST(Book, RootNameIsNotChecked) {
  TMBook book;
  book.LoadFromStream(R"(<project title="Other root"><Chapters><chapter/></Chapters></project>)", Options());
  EXPECT_EQ(book.GetString("title"), "Other root");
  EXPECT_EQ(book.Chapters().Count(), 1u);
}

TEST(Book, SavedDocumentNamesListsAndItemsExactly) {
  TMBook book;
  book.bookmarks().AddNew();
  TMPage& page = book.Chapters().AddNew().Pages().AddNew();
  page.links().AddNew().urls().AddNew();
  const auto doc = Parse(book.SaveToString());
  EXPECT_THAT(ChildNames(doc.child("book")), ElementsAre("background", "bookmarks", "Chapters"));
  EXPECT_THAT(ChildNames(FindElement(doc, "bookmarks")), ElementsAre("bookmark"));
  EXPECT_THAT(ChildNames(FindElement(doc, "chapter")), ElementsAre("Pages"));
  EXPECT_THAT(ChildNames(FindElement(doc, "page")), ElementsAre("elem", "links"));
  EXPECT_THAT(ChildNames(FindElement(doc, "link")), ElementsAre("urls"));
  EXPECT_THAT(ChildNames(FindElement(doc, "urls")), ElementsAre("url"));
  EXPECT_STREQ(FindElement(doc, "page").attribute("turningenabled").value(), "true");
}

TEST(Page, SpreadPageNameFollowsIsSimplePageAlsoAfterReload) {
  TMBook book;
  TMPages& pages = book.Chapters().AddNew().Pages();
  pages.AddNew().set_isSimplePage(true);
  pages.AddNew();
  EXPECT_EQ(pages.Items(0).TagName(), "spreadpage");

  TMBook reloaded;
  reloaded.LoadFromStream(book.SaveToString(), Options());
  TMPages& again = reloaded.Chapters().Items(0).Pages();
  ASSERT_EQ(again.Count(), 2u);
  EXPECT_TRUE(again.Items(0).isSimplePage());
  EXPECT_EQ(again.Items(0).TagName(), "spreadpage");
  EXPECT_EQ(again.Items(1).TagName(), "page");

  again.Items(0).set_isSimplePage(false);
  EXPECT_THAT(ChildNames(FindElement(Parse(reloaded.SaveToString()), "Pages")), ElementsAre("page", "page"));
}

class MovePagesTest : public ::testing::Test {
 protected:
  MovePagesTest() {
    for (int i = 0; i < 5; ++i) pages().AddNew().set_pagethumb(std::to_string(i));
  }
  TMPages& pages() { return chapter_.Pages(); }
  std::string Order() {
    std::string s;
    for (std::size_t i = 0; i < pages().Count(); ++i) s += pages().Items(i).pagethumb();
    return s;
  }
  void Move(std::vector<std::string> indices, std::size_t target) { pages().MovePages(indices, target); }

  TMChapter chapter_;
};

TEST_F(MovePagesTest, MovedPagesStandInOldOrderAtTheTarget) {
  Move({"3", "1"}, 0);
  EXPECT_EQ(Order(), "13024");
}

TEST_F(MovePagesTest, TargetsAfterAndBetweenTheMovedPages) {
  Move({"0", "2"}, 5);
  EXPECT_EQ(Order(), "13402");
  Move({"3", "0"}, 2);  // pages "1" and "0" before the old index 2 ("4")
  EXPECT_EQ(Order(), "31042");
  Move({"4"}, 4);
  EXPECT_EQ(Order(), "31042");
}

TEST_F(MovePagesTest, IndicesSortNumerically) {
  for (int i = 5; i < 12; ++i) pages().AddNew().set_pagethumb(std::string(1, static_cast<char>('a' + i - 5)));
  Move({"10", "9"}, 0);  // as texts "10" would sort before "9"
  EXPECT_EQ(Order().substr(0, 2), "ef");
}

TEST_F(MovePagesTest, BadIndicesLeaveTheListAlone) {
  EXPECT_THROW(Move({"1", "1"}, 0), std::invalid_argument);
  EXPECT_THROW(Move({"5"}, 0), std::invalid_argument);
  EXPECT_THROW(Move({"-1"}, 0), std::invalid_argument);
  EXPECT_THROW(Move({"x"}, 0), std::invalid_argument);
  EXPECT_THROW(Move({"1"}, 6), std::invalid_argument);
  EXPECT_EQ(Order(), "01234");
}

TEST(Box, SavesOnlyValuesThatDifferFromTheViewersOwn) {
  TMBox box;
  pugi::xml_document doc;
  box.SaveToXML(doc.append_child("box"));
  EXPECT_THAT(AttributeNames(doc.child("box")), ElementsAre("anchors", "pos"));

  box.SetString("background", "image(res/other/background.swf)");
  box.SetInt32("width", 5);
  box.SetBool("backgroundrepeat", true);
  box.SetFloat("alpha", 0.5);
  box.SetString("scale9grid", "1,2,3,4");
  pugi::xml_document all;
  box.SaveToXML(all.append_child("box"));
  EXPECT_THAT(
      AttributeNames(all.child("box")),
      ElementsAre("anchors", "width", "background", "backgroundrepeat", "scale9grid", "alpha", "pos"));
  EXPECT_STREQ(all.child("box").attribute("alpha").value(), "0.5");
  EXPECT_STREQ(all.child("box").attribute("backgroundrepeat").value(), "true");
}

TEST(Bookmark, ColoursAreDrawnIndependentlyInRange) {
  std::set<std::uint32_t> colours;
  for (int i = 0; i < 20; ++i) {
    const std::uint32_t colour = TMBookmark().GetUInt32("color");
    EXPECT_LE(colour, 2147483646u);
    colours.insert(colour);
  }
  EXPECT_GT(colours.size(), 1u);
}

TEST(Assign, CopiesTheWholeTreeDeeplyKeepingEachItemsClass) {
  TMBook source;
  source.LoadFromStream(
      BookXml(
          R"(title="T" bgcolor="4294967295" zoominit="0.8")",
          R"(<background><box width="4"/></background><bookmarks><bookmark color="7"/></bookmarks>)"
          R"(<Chapters><chapter><Pages><spreadpage isSimplePage="true"><elem><vid preview="p"/><img src="x.gif"/>)"
          R"(<nav left="9"/></elem><links><link><urls><url src="u"/></urls></link></links></spreadpage>)"
          R"(</Pages></chapter></Chapters>)"),
      Options());
  TMBook copy;
  copy.Chapters().AddNew();
  copy.Chapters().AddNew();
  copy.Assign(source);
  EXPECT_EQ(copy.SaveToString(), source.SaveToString());
  EXPECT_EQ(copy.Chapters().Count(), 1u);

  const TMPage& page = copy.Chapters().Items(0).Pages().Items(0);
  EXPECT_EQ(&page.elem().Items(0).Class(), &TMVid::ClassInfo());
  EXPECT_EQ(page.elem().Items(1).TagName(), "gif");
  EXPECT_EQ(&page.elem().Items(2).Class(), &TBasicVisualPageElement::ClassInfo());
  EXPECT_EQ(page.TagName(), "spreadpage");

  // Nothing is shared: changing the source leaves the copy alone.
  source.Chapters().Items(0).Pages().Items(0).links().Items(0).urls().Items(0).SetString("src", "changed");
  source.background().box().SetInt32("width", 8);
  EXPECT_EQ(page.links().Items(0).urls().Items(0).GetString("src"), "u");
  EXPECT_EQ(copy.background().box().GetInt32("width"), 4);
}

TEST(Assign, RefusesASourceWithoutTheProperties) {
  TMImg image;
  image.SetInt32("left", 3);
  TMGif gif;
  EXPECT_THROW(image.Assign(gif), std::invalid_argument);
  EXPECT_EQ(image.left(), 3);
  TMPage page;
  page.elem().AddNew();
  EXPECT_THROW(page.links().AssignItems(page.elem()), std::invalid_argument);
}

}  // namespace
}  // namespace pagewend::model::book
