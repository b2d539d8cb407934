#include "model/book/m_basic_objects.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "log/run_log.h"
#include "model/book/book_test_support.h"
#include "model/book/m_book.h"
#include "model/xml_source.h"
#include "testing/temp_dir.h"

namespace pagewend::model::book {
namespace {

using testing::BookXml;
using ::testing::ElementsAre;
using testing::FindElement;
using ::testing::HasSubstr;
using testing::Options;
using testing::Parse;

class SeparatorTest : public ::testing::TestWithParam<char> {};

TEST_P(SeparatorTest, FloatsReadAndWriteWithPointWhateverTheUserSeparator) {
  TMBook book;
  book.LoadFromStream(BookXml(R"(foldfx="0.25" zoominit="0.75" spinecurvature="-1.5e-1")", ""),
                      Options(GetParam()));
  EXPECT_DOUBLE_EQ(book.GetFloat("foldfx"), 0.25);
  EXPECT_DOUBLE_EQ(book.GetFloat("zoominit"), 0.75);
  EXPECT_DOUBLE_EQ(book.GetFloat("spinecurvature"), -0.15);

  const auto doc = Parse(book.SaveToString());
  const auto root = doc.document_element();
  EXPECT_STREQ(root.attribute("foldfx").value(), "0.25");
  EXPECT_STREQ(root.attribute("zoominit").value(), "0.75");
  EXPECT_STREQ(root.attribute("spinecurvature").value(), "-0.15");

  // A child element's float is the book's too, whatever the user's separator.
  book.LoadFromStream(BookXml("", "<foldfx>0.5</foldfx><dragspeed>nonsense</dragspeed>"),
                      Options(GetParam()));
  EXPECT_DOUBLE_EQ(book.GetFloat("foldfx"), 0.5);
  EXPECT_DOUBLE_EQ(book.GetFloat("dragspeed"), 0.0);
}

TEST_P(SeparatorTest, DefaultZoomInitIsLeftOutInEitherLocale) {
  TMBook book;
  book.LoadFromStream(BookXml(R"(zoominit="0.50")", ""), Options(GetParam()));
  EXPECT_FALSE(Parse(book.SaveToString()).document_element().attribute("zoominit"));
}

INSTANTIATE_TEST_SUITE_P(BothSeparators, SeparatorTest, ::testing::Values('.', ','));

TEST(BasicObjectLoad, CommaSeparatorAlsoAcceptsTheUsersOwnFormButPointLocaleRejectsIt) {
  TMBook book;
  book.LoadFromStream(BookXml(R"(foldfx="0,5")", ""), Options(','));
  EXPECT_DOUBLE_EQ(book.GetFloat("foldfx"), 0.5);
  EXPECT_THROW(book.LoadFromStream(BookXml(R"(foldfx="0,5")", ""), Options('.')), TMLoadError);
}

TEST(BasicObjectLoad, BooleansReadInAnyCaseAndWriteLowerCase) {
  TMBook book;
  book.LoadFromStream(BookXml(R"(handcursor="FALSE" reflection="True" minimode="tRuE")", ""), Options());
  EXPECT_FALSE(book.GetBool("handcursor"));
  EXPECT_TRUE(book.GetBool("reflection"));
  EXPECT_TRUE(book.GetBool("minimode"));
  const auto saved = Parse(book.SaveToString());
  const auto root = saved.document_element();
  EXPECT_STREQ(root.attribute("handcursor").value(), "false");
  EXPECT_STREQ(root.attribute("reflection").value(), "true");

  // Only Booleans are lower-cased; a text that happens to read "True" stays as written.
  book.SetString("title", "True");
  EXPECT_STREQ(Parse(book.SaveToString()).document_element().attribute("title").value(), "True");
}

TEST(BasicObjectLoad, AttributeNamesMatchIgnoringCaseAndUnknownOnesAreIgnored) {
  TMBook book;
  book.LoadFromStream(BookXml(R"(PAGEWIDTH="800" PageHeight="600" nosuch="x" chapters="y")", ""), Options());
  EXPECT_EQ(book.GetInt32("pagewidth"), 800);
  EXPECT_EQ(book.GetInt32("pageheight"), 600);
  EXPECT_EQ(book.Chapters().Count(), 0u);
}

TEST(BasicObjectLoad, IntegerKindsKeepTheirRanges) {
  TMBook book;
  book.LoadFromStream(BookXml(R"(bgcolor="4291611852" spinecolor="4294967295" pos_langs_="3000000000")", ""),
                      Options());
  EXPECT_EQ(book.GetInt64("bgcolor"), 4291611852);
  EXPECT_EQ(book.GetUInt32("spinecolor"), 4294967295u);
  EXPECT_EQ(book.GetUInt32("pos_langs_"), 3000000000u);
  const auto saved = Parse(book.SaveToString());
  const auto root = saved.document_element();
  EXPECT_STREQ(root.attribute("spinecolor").value(), "4294967295");
  EXPECT_STREQ(root.attribute("pos_langs_").value(), "3000000000");

  EXPECT_THROW(book.LoadFromStream(BookXml(R"(pagewidth="2147483648")", ""), Options()), TMLoadError);
  EXPECT_THROW(book.LoadFromStream(BookXml(R"(pos_langs_="-1")", ""), Options()), TMLoadError);
  EXPECT_THROW(book.LoadFromStream(BookXml(R"(pos_langs_="4294967296")", ""), Options()), TMLoadError);
}

TEST(BasicObjectLoad, ChildElementsLoadScalarsExceptInt64AndNumbersThatDoNotParseReadZero) {
  TMBook book;
  book.LoadFromStream(BookXml(R"(pagewidth="5")",
                              "<PageWidth>640</PageWidth><title>From child</title><bgcolor>1</bgcolor>"
                              "<maxloaded>many</maxloaded><ltr>FALSE</ltr>"),
                      Options());
  EXPECT_EQ(book.GetInt32("pagewidth"), 640);
  EXPECT_EQ(book.GetString("title"), "From child");
  EXPECT_EQ(book.GetInt64("bgcolor"), 13421772);
  EXPECT_EQ(book.GetInt32("maxloaded"), 0);
  EXPECT_FALSE(book.GetBool("ltr"));

  EXPECT_THROW(book.LoadFromStream(BookXml("", "<ltr>maybe</ltr>"), Options()), TMLoadError);
}

TEST(BasicObjectLoad, AttributeErrorIsLoggedAndRaisedWithTheConversionMessageOnly) {
  pagewend::testing::TempDir dir;
  const RunLog log(dir / "run.log");
  LoadOptions options = Options();
  options.log = &log;

  TMBook book;
  try {
    book.LoadFromStream(BookXml(R"(title="ok" pagewidth="wide")", ""), options);
    FAIL() << "the load should fail";
  } catch (const TMLoadError& e) {
    EXPECT_THAT(e.what(), HasSubstr("'wide'"));
    EXPECT_THAT(e.what(), ::testing::Not(HasSubstr("PropName")));
    const std::string line = pagewend::testing::ReadFile(dir / "run.log");
    EXPECT_THAT(line, HasSubstr(std::string("    Error on LoadXMLAttr:") + e.what() +
                                "  PropName:pagewidth  PropValue:wide\n"));
  }
  EXPECT_EQ(book.GetString("title"), "ok");  // what came before the error stays loaded

  EXPECT_THROW(book.LoadFromStream(BookXml(R"(ltr="yes")", ""), options), TMLoadError);
  EXPECT_THROW(book.LoadFromStream(BookXml(R"(foldfx="")", ""), options), TMLoadError);
  // Without a log the error is raised all the same.
  EXPECT_THROW(book.LoadFromStream(BookXml(R"(rotate="1.5")", ""), Options()), TMLoadError);
}

TEST(BasicObjectLoad, MalformedDocumentsRaiseXmlError) {
  TMBook book;
  EXPECT_THROW(book.LoadFromStream("<book title=\"x\"><Chapters></book>", Options()), XmlError);
  EXPECT_THROW(book.LoadFromStream("", Options()), XmlError);
}

TEST(BasicObjectLoad, NestingBeyondTheModelIsNotFollowed) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<Chapters>";
  for (int i = 0; i < 100000; ++i) deep += "</Chapters>";
  TMBook book;
  book.LoadFromStream(BookXml("", "<Chapters><chapter><Pages><page><elem><img>" + deep +
                                      "</img></elem></page>"
                                      "</Pages></chapter></Chapters>"),
                      Options());
  EXPECT_EQ(book.Chapters().Items(0).Pages().Items(0).elem().Count(), 1u);
}

TEST(BasicObjectLoad, EightBitStringsGoThroughTheUsersCodePageAndWideStringsDoNot) {
  LoadOptions options = Options();
  options.settings.codePage = "WINDOWS-1252";
  TMBook book;
  book.LoadFromStream(BookXml(R"(title="Ωmega é" thumbpath="Ω/é")", ""), options);
  EXPECT_EQ(book.GetString("title"), "?mega é");
  EXPECT_EQ(book.GetString("thumbpath"), "Ω/é");
}

TEST(BasicObjectLoad, EncodingComesFromTheDocument) {
  const std::string utf8 = "<?xml version=\"1.0\"?><book title=\"é\"/>";
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<book title=\"")) utf16 += {c, '\0'};
  utf16 += {'\xE9', '\0'};
  for (char c : std::string("\"/>")) utf16 += {c, '\0'};
  const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><book title=\"\xE9\"/>";
  for (const std::string& bytes : {utf8, utf16, latin1}) {
    TMBook book;
    book.LoadFromStream(bytes, Options());
    EXPECT_EQ(book.GetString("title"), "é");
  }
}

TEST(BasicObjectList, LoadReplacesItemsAndTakesAnyChildName) {
  TMBook book;
  const std::string xml =
      BookXml("", "<Chapters><chapter fade=\"1\"/><anything fade=\"2\"/><!-- note -->text<x/></Chapters>");
  book.LoadFromStream(xml, Options());
  book.LoadFromStream(xml, Options());
  ASSERT_EQ(book.Chapters().Count(), 3u);
  EXPECT_EQ(book.Chapters().Items(0).GetInt32("fade"), 1);
  EXPECT_EQ(book.Chapters().Items(1).GetInt32("fade"), 2);
  EXPECT_EQ(book.Chapters().Items(2).GetInt32("fade"), 1000);
  EXPECT_EQ(&std::get<const TMBasicObjects*>(book.Chapters().Items(1).Owner())->Owner(), &book);

  book.LoadFromStream(BookXml("", "<chapters/>"), Options());
  EXPECT_EQ(book.Chapters().Count(), 0u);
}

TEST(BasicObjectList, EditsKeepItemsAndCheckIndices) {
  TMChapter chapter;
  TMPages& pages = chapter.Pages();
  for (int i = 0; i < 4; ++i) pages.AddNew().set_pagethumb(std::to_string(i));
  auto order = [&] {
    std::string s;
    for (std::size_t i = 0; i < pages.Count(); ++i) s += pages.Items(i).pagethumb();
    return s;
  };

  pages.ExchangeItems(0, 3);
  EXPECT_EQ(order(), "3120");
  pages.MoveItem(0, 2);
  EXPECT_EQ(order(), "1230");
  pages.MoveItem(3, 0);
  EXPECT_EQ(order(), "0123");
  pages.DeleteItem(1);
  EXPECT_EQ(order(), "023");
  EXPECT_EQ(pages.Add(std::make_unique<TMPage>()), 3u);
  EXPECT_EQ(std::get<const TMBasicObjects*>(pages.Items(3).Owner()), &pages);

  EXPECT_THROW(pages.Items(4), std::out_of_range);
  EXPECT_THROW(pages.DeleteItem(4), std::out_of_range);
  EXPECT_THROW(pages.ExchangeItems(0, 9), std::out_of_range);
  EXPECT_THROW(pages.MoveItem(9, 0), std::out_of_range);
  EXPECT_THROW(pages.Add(std::make_unique<TMChapter>()), std::invalid_argument);
  EXPECT_EQ(pages.Count(), 4u);

  pages.ClearItems();
  EXPECT_EQ(pages.Count(), 0u);
}

TEST(BasicObjectAccess, WrongNamesAndKindsAreRefused) {
  TMBook book;
  EXPECT_THROW(book.GetInt32("nosuch"), std::logic_error);
  EXPECT_THROW(book.GetInt32("PageWidth"), std::logic_error);  // code uses the exact names
  EXPECT_THROW(book.GetBool("pagewidth"), std::logic_error);
  EXPECT_THROW(book.GetList("background"), std::logic_error);
  EXPECT_NO_THROW(book.GetObject("background"));
}

TEST(SkippedValues, OnlyTheListedPropertiesAndValues) {
  EXPECT_TRUE(IsSkippedValue("password", ""));
  EXPECT_FALSE(IsSkippedValue("password", "x"));
  EXPECT_TRUE(IsSkippedValue("zoominit", "0.50"));
  EXPECT_TRUE(IsSkippedValue("startpage", "1"));
  EXPECT_FALSE(IsSkippedValue("startpage", "2"));
  EXPECT_TRUE(IsSkippedValue("spinecolor", "13421772"));
  EXPECT_FALSE(IsSkippedValue("Password", ""));
  EXPECT_FALSE(IsSkippedValue("turningenabled", "true"));
  EXPECT_FALSE(IsSkippedValue("title", ""));
}

}  // namespace
}  // namespace pagewend::model::book
