#include "model/project/pw_project.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "model/project/settings_listing.h"
#include "model/xml_source.h"
#include "testing/temp_dir.h"

namespace pagewend::model::project {
namespace {

using ::testing::HasSubstr;

SystemSettings Settings(char separator, std::string codePage = "UTF-8") {
  return {std::move(codePage), separator};
}

std::string Listing(const TPWBasicProject& object, char separator) {
  std::string out;
  for (const ListedSetting& setting : ListSettings(object))
    out += setting.path + " = " + FormatSettingValue(setting.value, separator) + "\n";
  return out;
}

// The document in UTF-16 or UTF-32 with a byte-order mark; ASCII text only.
std::string Wide(std::string_view ascii, int width, bool bigEndian) {
  std::string out;
  auto put = [&](char32_t c) {
    for (int i = 0; i < width; ++i) {
      const int shift = 8 * (bigEndian ? width - 1 - i : i);
      out += static_cast<char>((c >> shift) & 0xFF);
    }
  };
  put(0xFEFF);
  for (char c : ascii) put(static_cast<char32_t>(c));
  return out;
}

TEST(Project, EmptyDocumentListsEveryDefaultWithEitherSeparator) {
  const std::string golden = testing::ReadFile(PAGEWEND_PROJECT_TESTDATA "/project_defaults.txt");
  for (char separator : {'.', ','}) {
    TPWProject project;
    project.LoadFromStream("<project/>", Settings(separator));
    // Fractions are listed with the separator in effect; texts are quoted and keep theirs.
    std::istringstream lines(golden);
    std::string expected;
    for (std::string line; std::getline(lines, line);) {
      const std::size_t value = line.find(" = ") + 3;
      if (line[value] != '"')
        std::replace(line.begin() + static_cast<std::ptrdiff_t>(value), line.end(), '.', separator);
      expected += line + "\n";
    }
    EXPECT_EQ(Listing(project, separator), expected);
  }
}

TEST(Project, SeparatorDecidesEveryDecimalInSectionsToo) {
  const std::string doc =
      "<project><dragspeed>0,5</dragspeed><slidedelay>1.5</slidedelay>"
      "<background><alpha>0,5</alpha></background></project>";
  TPWProject dot;
  dot.LoadFromStream(doc, Settings('.'));
  EXPECT_EQ(dot.dragspeed(), 0.0);
  EXPECT_EQ(dot.slidedelay(), 1.5);
  EXPECT_EQ(dot.background().alpha(), 0.0);
  TPWProject comma;
  comma.LoadFromStream(doc, Settings(','));
  EXPECT_EQ(comma.dragspeed(), 0.5);
  EXPECT_EQ(comma.slidedelay(), 0.0);
  EXPECT_EQ(comma.background().alpha(), 0.5);
  EXPECT_EQ(comma.reflectionalpha(), 0.25);
}

TEST(Project, SectionsLoadFromElementsRepeatedElementsAndAttributes) {
  TPWProject project;
  project.LoadFromStream(
      "<project swfwd=\"1024\"><videoskincolor>1</videoskincolor><maxloaded>abc</maxloaded>"
      "<navbtn><usekey>False</usekey><unknownthing>1</unknownthing></navbtn>"
      "<title><value>First</value><size>20</size></title><title><value>Second</value></title>"
      "<logo position=\"anything at all\"/><unknownthing><exetitle>no</exetitle></unknownthing>"
      "<exetitle>My Book</exetitle></project>",
      Settings('.'));
  EXPECT_EQ(project.swfwd(), 1024);
  EXPECT_EQ(project.swfht(), 600);
  EXPECT_EQ(project.videoskincolor(), 3425907507);
  EXPECT_EQ(project.maxloaded(), 0);
  EXPECT_FALSE(project.navbtn().usekey());
  EXPECT_EQ(project.navbtn().keyfullscreen(), 122);
  EXPECT_EQ(project.navbtn().keyzoomout(), 40);
  EXPECT_EQ(project.title().value(), "Second");
  EXPECT_EQ(project.title().size(), 20);
  EXPECT_EQ(project.title().font(), "Tahoma");
  EXPECT_EQ(project.logo().position(), "anything at all");
  EXPECT_EQ(project.exetitle(), "My Book");

  TPWProject attributeForm;
  attributeForm.LoadFromStream("<project><title value=\"X\" bold=\"True\"/></project>", Settings('.'));
  EXPECT_EQ(attributeForm.title().value(), "X");
  EXPECT_TRUE(attributeForm.title().bold());
}

TEST(Project, ErrorsEndTheLoadKeepingEarlierValues) {
  TPWProject project;
  try {
    project.LoadFromStream(
        "<project><swfht>700</swfht><title><size>9</size></title><hardcover>maybe</hardcover>"
        "<swfwd>1</swfwd></project>",
        Settings('.'));
    FAIL() << "no error";
  } catch (const PropertyError& e) {
    EXPECT_STREQ(e.what(), "Invalid property element: maybe");
  }
  EXPECT_EQ(project.swfht(), 700);
  EXPECT_EQ(project.title().size(), 9);
  EXPECT_EQ(project.swfwd(), 900);
  EXPECT_THROW(project.LoadFromStream("<project>", Settings('.')), XmlError);
}

TEST(Project, DecodesByTheDocumentsEncodingAndNarrowsTextsToTheCodePage) {
  const std::string body = "<project><exetitle>Caf\xE9 \x80</exetitle><gaaccount>\xE9</gaaccount></project>";
  TPWProject cp1252;
  cp1252.LoadFromStream("<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + body, Settings('.'));
  EXPECT_EQ(cp1252.exetitle(), "Caf\u00E9 \u20AC");
  TPWProject latin1;
  latin1.LoadFromStream("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + body, Settings('.'));
  EXPECT_EQ(latin1.exetitle(), "Caf\u00E9 \u0080");

  const std::string ascii = "<project><exetitle>wide</exetitle><swfht>7</swfht></project>";
  for (const auto& [width, bigEndian] : {std::pair{2, false}, {2, true}, {4, false}, {4, true}}) {
    TPWProject project;
    project.LoadFromStream(Wide(ascii, width, bigEndian), Settings('.'));
    EXPECT_EQ(project.exetitle(), "wide") << width << bigEndian;
    EXPECT_EQ(project.swfht(), 7);
  }
  TPWProject bom;
  std::istringstream stream("\xEF\xBB\xBF<project><exetitle>\xE2\x82\xAC</exetitle></project>");
  bom.LoadFromStream(stream, Settings('.'));
  EXPECT_EQ(bom.exetitle(), "\u20AC");

  // A wide title font keeps characters the code page lacks; an 8-bit pagination font loses them.
  const std::string fonts =
      "<project><title><font>\xE2\x82\xAC\xC3\xA9\xCE\xA9</font></title>"
      "<pagination><font>\xE2\x82\xAC\xC3\xA9\xCE\xA9</font></pagination></project>";
  TPWProject western;
  western.LoadFromStream(fonts, Settings('.', "WINDOWS-1252"));
  EXPECT_EQ(western.title().font(), "\u20AC\u00E9\u03A9");
  EXPECT_EQ(western.pagination().font(), "\u20AC\u00E9?");
  TPWProject plain;
  plain.LoadFromStream(fonts, Settings('.', "ASCII"));
  EXPECT_EQ(plain.pagination().font(), "???");
  TPWProject unicode;
  unicode.LoadFromStream(fonts, Settings('.', "UTF-8"));
  EXPECT_EQ(unicode.pagination().font(), "\u20AC\u00E9\u03A9");
}

TEST(Project, AssignIsADeepCopy) {
  TPWProject source;
  source.LoadFromStream(
      "<project><exetitle>Book</exetitle><background><filename>bg.jpg</filename></background>"
      "<navbtn><download>True</download></navbtn></project>",
      Settings('.'));
  TPWProject copy;
  copy.Assign(source);
  EXPECT_EQ(Listing(copy, '.'), Listing(source, '.'));
  EXPECT_EQ(std::get<const Object*>(copy.background().Owner()), &copy);

  copy.background().set_filename("/tmp/x/bg.jpg");
  copy.navbtn().set_download(false);
  copy.set_exetitle("Other");
  EXPECT_EQ(source.background().filename(), "bg.jpg");
  EXPECT_TRUE(source.navbtn().download());
  EXPECT_EQ(source.exetitle(), "Book");
  EXPECT_NE(&copy.background(), &source.background());
}

}  // namespace
}  // namespace pagewend::model::project
