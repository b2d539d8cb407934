#include "model/book/m_page_elements.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/book/book_test_support.h"
#include "model/book/m_book.h"

namespace pagewend::model::book {
namespace {

using testing::AttributeNames;
using testing::ChildNames;
using ::testing::ElementsAre;
using testing::FindElement;
using testing::Options;
using testing::Parse;

TBasicVisualPageElements& LoadElements(TMPage& page, const std::string& inner) {
  const auto doc = Parse("<elem>" + inner + "</elem>");
  page.elem().LoadFromXML(doc.child("elem"), Options());
  return page.elem();
}

TEST(ElementList, ChoosesTheClassByTheExactElementName) {
  TMPage page;
  auto& elements = LoadElements(
      page, R"(<img/><snd/><vid/><gif/><area/><txt/><Img left="4" keepar="true"/><nav/><TXT content="c"/>)");
  ASSERT_EQ(elements.Count(), 9u);
  const TMClass* expected[] = {&TMImg::ClassInfo(), &TMSnd::ClassInfo(),  &TMVid::ClassInfo(),
                               &TMGif::ClassInfo(), &TMArea::ClassInfo(), &TMTxt::ClassInfo()};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(&elements.Items(i).Class(), expected[i]) << i;
  for (std::size_t i = 6; i < 9; ++i)
    EXPECT_EQ(&elements.Items(i).Class(), &TBasicVisualPageElement::ClassInfo()) << i;
  // A plain element keeps the base properties and drops the rest.
  EXPECT_EQ(elements.Items(6).left(), 4);
  EXPECT_FALSE(elements.Items(6).Class().Find("keepar"));

  LoadElements(page, "<snd/>");
  ASSERT_EQ(page.elem().Count(), 1u);
  EXPECT_EQ(&page.elem().Items(0).Class(), &TMSnd::ClassInfo());
}

TEST(ElementList, EachClassHasItsOwnPriority) {
  TMPage page;
  auto& elements = LoadElements(page, "<img/><snd/><vid/><gif/><area/><txt/><nav/>");
  std::vector<int> priorities;
  for (std::size_t i = 0; i < elements.Count(); ++i)
    priorities.push_back(elements.Items(i).GetInt32("priority"));
  EXPECT_THAT(priorities, ElementsAre(10, 15, 20, 10, 5, 5, 10));
}

TEST(ElementList, SavedAttributesStartWithTheInheritedOnes) {
  TMPage page;
  LoadElements(page, R"(<txt rotation="90" color="255"/><img/><area/>)");
  const auto doc = Parse([&] {
    pugi::xml_document out;
    page.elem().SaveToXML(out.append_child("elem"));
    std::ostringstream s;
    out.save(s);
    return s.str();
  }());
  const auto txt = AttributeNames(FindElement(doc, "txt"));
  ASSERT_GE(txt.size(), 14u);
  EXPECT_THAT(std::vector<std::string>(txt.begin(), txt.begin() + 14),
              ElementsAre("left", "top", "width", "height", "orgwd", "orght", "rotation", "scaleX", "scaleY",
                          "mouseenabled", "priority", "align", "color", "content"));
  EXPECT_STREQ(FindElement(doc, "txt").attribute("rotation").value(), "90");
  const auto img = AttributeNames(FindElement(doc, "img"));
  EXPECT_THAT(
      std::vector<std::string>(img.begin(), img.begin() + 17),
      ElementsAre("left", "top", "width", "height", "orgwd", "orght", "rotation", "scaleX", "scaleY",
                  "mouseenabled", "priority", "src", "pos_", "size_", "thumb", "pos_thumb_", "size_thumb_"));
  EXPECT_STREQ(FindElement(doc, "area").attribute("alpha").value(), "0.2");
  EXPECT_STREQ(FindElement(doc, "area").attribute("bgcolor").value(), "16777215");
}

TEST(ImageSource, GifFilesNameTheImageGifAndReloadAsGif) {
  TMImg image;
  EXPECT_EQ(image.TagName(), "img");
  image.set_src("res/pages/ANIM.GIF");
  EXPECT_EQ(image.TagName(), "gif");
  image.set_src("res\\pages\\photo.png");
  EXPECT_EQ(image.TagName(), "img");
  image.set_src("res/x.gif/photo");  // the extension is the last part's
  EXPECT_EQ(image.TagName(), "img");
  image.set_src("gif");
  EXPECT_EQ(image.TagName(), "img");

  TMBook book;
  TMPage& page = book.Chapters().AddNew().Pages().AddNew();
  LoadElements(page, R"(<img src="a.png"/><img src="b.Gif" left="7"/><gif src="c.png"/><vid src="d.gif"/>)");
  EXPECT_EQ(page.elem().Items(1).TagName(), "gif");
  EXPECT_THAT(ChildNames(FindElement(Parse(book.SaveToString()), "elem")),
              ElementsAre("img", "gif", "gif", "vid"));

  TMBook reloaded;
  reloaded.LoadFromStream(book.SaveToString(), Options());
  const auto& elements = reloaded.Chapters().Items(0).Pages().Items(0).elem();
  EXPECT_EQ(&elements.Items(1).Class(), &TMGif::ClassInfo());
  EXPECT_EQ(elements.Items(1).left(), 7);
  EXPECT_EQ(static_cast<const TMGif&>(elements.Items(1)).src(), "b.Gif");
}

TEST(Video, EmptyGuiIsLeftOutAndTheDefaultWritten) {
  TMVid video;
  pugi::xml_document doc;
  video.SaveToXML(doc.append_child("vid"));
  EXPECT_STREQ(doc.child("vid").attribute("gui").value(), "res/other/videoskin.swf");
  EXPECT_STREQ(doc.child("vid").attribute("guicolor").value(), "3425907507");
  video.SetString("gui", "");
  pugi::xml_document empty;
  video.SaveToXML(empty.append_child("vid"));
  EXPECT_FALSE(empty.child("vid").attribute("gui"));
}

TEST(FileElements, PackageReferencesAndRewrittenFiles) {
  TMPage page;
  LoadElements(page,
               R"(<vid src="v.flv" pos_="4000000000" size_="12" thumb="t.jpg" pos_thumb_="8" size_thumb_="9")"
               R"( preview="p.jpg" pos_pre_="20" size_pre_="30"/>)");
  auto& video = static_cast<TMVid&>(page.elem().Items(0));
  EXPECT_EQ(video.pos_(), 4000000000u);
  EXPECT_EQ(video.size_(), 12u);
  EXPECT_EQ(video.pos_thumb_(), 8u);
  EXPECT_EQ(video.size_thumb_(), 9u);
  EXPECT_EQ(video.pos_pre_(), 20u);
  EXPECT_EQ(video.size_pre_(), 30u);
  video.set_src("files/res/v.flv");
  video.set_preview("files/res/p.jpg");
  EXPECT_EQ(video.src(), "files/res/v.flv");
  EXPECT_EQ(video.GetString("preview"), "files/res/p.jpg");
}

}  // namespace
}  // namespace pagewend::model::book
