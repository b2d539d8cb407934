#include "model/xml_source.h"

#include <gtest/gtest.h>

#include <string>

namespace pagewend::model {
namespace {

std::string RootText(std::string_view bytes) {
  const pugi::xml_document doc = LoadXmlDocument(bytes);
  return doc.document_element().attribute("t").value();
}

TEST(XmlSource, DecodesByTheDocumentsOwnEncoding) {
  EXPECT_EQ(RootText("<?xml version=\"1.0\" encoding=\"windows-1252\"?><p t=\"\x80\xE9\"/>"), "\u20AC\u00E9");
  EXPECT_EQ(RootText("<?xml version='1.0' encoding='ISO-8859-1'?><p t=\"\x80\xE9\"/>"), "\u0080\u00E9");
  EXPECT_EQ(RootText("<?xml version=\"1.0\" encoding=\"UTF-8\"?><p t=\"\xE2\x82\xAC\"/>"), "\u20AC");
  EXPECT_EQ(RootText("\xEF\xBB\xBF<p t=\"\xC3\xA9\"/>"), "\u00E9");
  EXPECT_EQ(RootText("<p t=\"plain\"/>"), "plain");
  // UTF-16 little-endian with a byte-order mark.
  std::string utf16("\xFF\xFE", 2);
  for (char c : std::string("<p t=\"x\"/>")) {
    utf16 += c;
    utf16 += '\0';
  }
  EXPECT_EQ(RootText(utf16), "x");
}

TEST(XmlSource, RefusesBrokenDeepOrUnknownDocuments) {
  EXPECT_THROW(LoadXmlDocument("<project><a></project>"), XmlError);
  EXPECT_THROW(LoadXmlDocument(""), XmlError);
  EXPECT_THROW(LoadXmlDocument("<?xml version=\"1.0\" encoding=\"no-such-set\"?><p/>"), XmlError);
  const auto nested = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "<a>";
    for (int i = 0; i < levels; ++i) text += "</a>";
    return text;
  };
  EXPECT_THROW(LoadXmlDocument(nested(10000)), XmlError);
  EXPECT_NO_THROW(LoadXmlDocument(nested(10000), XmlDepthCheck::kSkip));
  EXPECT_NO_THROW(LoadXmlDocument(nested(kMaxXmlDepth)));
  EXPECT_THROW(LoadXmlDocument(nested(kMaxXmlDepth + 1)), XmlError);
  EXPECT_NO_THROW(LoadXmlDocument("<a><b><c/></b><d/></a>"));
  // Millions of tiny elements would cost gigabytes before any model saw them.
  const auto many = [](std::size_t elements) {
    std::string text = "<?xml version=\"1.0\"?><a>";
    for (std::size_t i = 3; i < elements; ++i) text += "<b/>";
    return text + "<!-- end --></a>";  // the declaration, a comment and a: three of the count
  };
  EXPECT_NO_THROW(LoadXmlDocument(many(kMaxXmlElements)));
  EXPECT_THROW(LoadXmlDocument(many(kMaxXmlElements + 1)), XmlError);
}

TEST(XmlSource, NumbersParseWithoutTheProcessLocale) {
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInt32("+12"), 12);
  EXPECT_EQ(ParseInt32("2147483648"), std::nullopt);
  EXPECT_EQ(ParseInt32(" 1"), std::nullopt);
  EXPECT_EQ(ParseInt32("1x"), std::nullopt);
  EXPECT_EQ(ParseInt32(""), std::nullopt);
  EXPECT_EQ(ParseDecimal("0.5", '.'), 0.5);
  EXPECT_EQ(ParseDecimal("0,5", ','), 0.5);
  EXPECT_EQ(ParseDecimal("0.5", ','), std::nullopt);
  EXPECT_EQ(ParseDecimal("-1e3", '.'), -1000.0);
  EXPECT_EQ(ParseDecimal("abc", '.'), std::nullopt);
  EXPECT_EQ(FormatDecimal(0.1, '.'), "0.1");
  EXPECT_EQ(FormatDecimal(2.5, ','), "2,5");
  EXPECT_EQ(FormatDecimal(3, '.'), "3");
}

TEST(XmlSource, GeneralFormatWritesFifteenDigitsAsTheBooksWriterDid) {
  const std::pair<double, const char*> cases[] = {{0.1 + 0.2, "0.3"},
                                                  {1e-5, "1E-5"},
                                                  {1e20, "1E20"},
                                                  {0.0001, "0.0001"},
                                                  {-0.15, "-0.15"},
                                                  {2.5e-7, "2.5E-7"},
                                                  {100, "100"},
                                                  {0, "0"},
                                                  {123456789012345.0, "123456789012345"},
                                                  {1234567890123456.0, "1.23456789012346E15"},
                                                  {-1.5e300, "-1.5E300"}};
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(FormatGeneral15(value, '.'), text);
    EXPECT_NEAR(*ParseDecimal(text, '.'), value, std::abs(value) * 1e-14) << text;
  }
  EXPECT_EQ(FormatGeneral15(0.5, ','), "0,5");
}

TEST(XmlSource, NarrowingKeepsWhatTheCodePageHolds) {
  EXPECT_EQ(Narrow8Bit("caf\u00E9 \u20AC \u6F22", "WINDOWS-1252"), "caf\u00E9 \u20AC ?");
  EXPECT_EQ(Narrow8Bit("\u6F22", "UTF-8"), "\u6F22");
}

}  // namespace
}  // namespace pagewend::model
