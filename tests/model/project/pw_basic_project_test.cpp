#include "model/project/pw_basic_project.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "model/project/settings_listing.h"
#include "model/xml_source.h"

namespace pagewend::model::project {
namespace {

using ::testing::ElementsAre;

// clang-format off
#define SAMPLE_ITEM_PROPERTIES(P, S, L) \
  P(name, WideText, "item") \
  P(weight, Integer, 1)

#define SAMPLE_DERIVED_PROPERTIES(P, S, L) \
  P(extra, Boolean, true)

#define SAMPLE_PROPERTIES(P, S, L) \
  P(count, Integer, 7) \
  P(colour, Cardinal, 255) \
  P(wide, Int64, -5) \
  P(flag, Boolean, true) \
  P(ratio, Double, 0.25) \
  P(narrow, Text, "abc") \
  P(label, WideText, "xyz") \
  S(part, SampleItem) \
  L(items, ListOf<SampleItem>)
// clang-format on

class SampleItem : public TPWBasicProject {
  PAGEWEND_PROPERTIES(SampleItem, TPWBasicProject, SAMPLE_ITEM_PROPERTIES)
};

// A derived class adds to its base's table, after the inherited rows.
class DerivedItem : public SampleItem {
  PAGEWEND_PROPERTIES(DerivedItem, SampleItem, SAMPLE_DERIVED_PROPERTIES)
};

class Sample : public TPWBasicProject {
  PAGEWEND_PROPERTIES(Sample, TPWBasicProject, SAMPLE_PROPERTIES)
};

SystemSettings Dot() { return {"UTF-8", '.'}; }

void Load(TPWBasicProject& object, std::string_view xml, const SystemSettings& system = Dot()) {
  object.LoadFromStream(xml, system);
}

std::string LoadError(TPWBasicProject& object, std::string_view xml) {
  try {
    Load(object, xml);
  } catch (const PropertyError& e) {
    return e.what();
  }
  return "no error";
}

TEST(BasicProject, TableListsInheritedRowsFirstAndCreatesOwnedSubObjects) {
  Sample sample;
  std::vector<std::string_view> names;
  for (const PropertyInfo& property : DerivedItem::ClassInfo().Properties()) names.push_back(property.name);
  EXPECT_THAT(names, ElementsAre("name", "weight", "extra"));
  EXPECT_EQ(sample.Properties().size(), 9u);
  EXPECT_EQ(std::get<const Object*>(sample.part().Owner()), &sample);
  EXPECT_EQ(&sample.items().Owner(), &sample);
  EXPECT_EQ(sample.FindProperty("Count"), nullptr);
  EXPECT_EQ(sample.FindProperty("count")->kind, PropertyKind::Integer);
}

TEST(BasicProject, ElementTextsConvertByKind) {
  Sample sample;
  Load(sample,
       "<s><count>-2147483648</count><colour>-1</colour><wide>9</wide><flag>False</flag>"
       "<ratio>1.5e2</ratio><narrow>n</narrow><label><![CDATA[<b>&]]></label></s>");
  EXPECT_EQ(sample.count(), INT32_MIN);
  EXPECT_EQ(sample.colour(), 4294967295u);  // read as signed 32-bit
  EXPECT_EQ(sample.wide(), -5);             // an Int64 is never taken from an element
  EXPECT_FALSE(sample.flag());
  EXPECT_EQ(sample.ratio(), 150.0);
  EXPECT_EQ(sample.narrow(), "n");
  EXPECT_EQ(sample.label(), "<b>&");

  // Numbers that do not convert, and empty elements, give 0; empty texts are empty.
  Load(sample,
       "<s><count>12abc</count><colour>4294967295</colour><ratio>x</ratio><narrow/><label></label></s>");
  EXPECT_EQ(sample.count(), 0);
  EXPECT_EQ(sample.colour(), 0u);
  EXPECT_EQ(sample.ratio(), 0.0);
  EXPECT_EQ(sample.narrow(), "");
  EXPECT_EQ(sample.label(), "");
  Load(sample, "<s><count></count><ratio/><count>3</count><count>4</count></s>");
  EXPECT_EQ(sample.count(), 4);  // the later element wins
  EXPECT_EQ(sample.ratio(), 0.0);
}

TEST(BasicProject, BadElementsEndTheLoadButKeepWhatWasRead) {
  Sample sample;
  EXPECT_EQ(LoadError(sample, "<s><count>1</count><flag>maybe</flag><count>2</count></s>"),
            "Invalid property element: maybe");
  EXPECT_EQ(sample.count(), 1);
  EXPECT_EQ(LoadError(sample, "<s><flag></flag></s>"), "Invalid property element: ");
  // Any letter case reads, as in the book document; saving still writes "True"/"False".
  EXPECT_EQ(LoadError(sample, "<s><flag>false</flag></s>"), "no error");
  EXPECT_FALSE(sample.flag());
  EXPECT_EQ(LoadError(sample, "<s><flag>TRUE</flag></s>"), "no error");
  EXPECT_TRUE(sample.flag());

  const std::string notText = "Element does not contain a single text node";
  EXPECT_EQ(LoadError(sample, "<s><count><x>1</x></count></s>"), notText);
  EXPECT_EQ(LoadError(sample, "<s><label>a<![CDATA[b]]></label></s>"), notText);
  EXPECT_EQ(LoadError(sample, "<s><part><name>p</name><weight><i/></weight></part></s>"), notText);
  EXPECT_EQ(sample.part().name(), "p");
  // Neither an ignored Int64 nor an unknown element is looked into.
  EXPECT_EQ(LoadError(sample, "<s><wide><x/></wide><unknown><y/>z</unknown><count>5</count></s>"),
            "no error");
  EXPECT_EQ(sample.count(), 5);

  EXPECT_THROW(Load(sample, "<s><count>1</s>"), XmlError);
}

TEST(BasicProject, AttributesLoadLikeElementsAndMayCarryAnInt64) {
  Sample sample;
  Load(sample,
       "<s count=\"12\" wide=\"-9000000000\" flag=\"False\" ratio=\"2.5\" part=\"x\" other=\"y\">"
       "<part name=\"a\" weight=\"3\"><name>b</name></part></s>");
  EXPECT_EQ(sample.count(), 12);
  EXPECT_EQ(sample.wide(), -9000000000);
  EXPECT_FALSE(sample.flag());
  EXPECT_EQ(sample.ratio(), 2.5);
  EXPECT_EQ(sample.part().name(), "b");  // attributes first, then elements
  EXPECT_EQ(sample.part().weight(), 3);
  Load(sample, "<s wide=\"nine\"/>");
  EXPECT_EQ(sample.wide(), 0);
  EXPECT_EQ(LoadError(sample, "<s flag=\"\"/>"), "Invalid property element: ");
}

TEST(BasicProject, RepeatedSectionsApplyOnTopOfEachOther) {
  Sample sample;
  Load(sample, "<s><part><name>first</name><weight>2</weight></part><part><weight>9</weight></part></s>");
  EXPECT_EQ(sample.part().name(), "first");
  EXPECT_EQ(sample.part().weight(), 9);
}

TEST(BasicProject, ListsLoadOneItemPerChildElementAndReplaceTheirItems) {
  Sample sample;
  Load(sample, "<s><items><a><name>one</name></a>text<b weight=\"2\"/></items></s>");
  ASSERT_EQ(sample.items().Count(), 2u);
  const auto& second = dynamic_cast<const SampleItem&>(sample.items().Items(1));
  EXPECT_EQ(dynamic_cast<const SampleItem&>(sample.items().Items(0)).name(), "one");
  EXPECT_EQ(second.name(), "item");
  EXPECT_EQ(second.weight(), 2);
  EXPECT_EQ(std::get<const TPWBasicProjects*>(second.Owner()), &sample.items());
  Load(sample, "<s><items><a/></items></s>");
  EXPECT_EQ(sample.items().Count(), 1u);
}

TEST(BasicProject, AssignCopiesDeeplyAndKeepsEachItemsClass) {
  Sample source;
  Load(source,
       "<s count=\"3\" wide=\"8\"><narrow>t</narrow><part><name>p</name></part>"
       "<items><i><name>x</name></i></items></s>");
  auto derived = std::make_unique<DerivedItem>(&source.items());
  derived->set_extra(false);
  derived->set_name("derived");
  source.items().Add(std::move(derived));

  Sample copy;
  copy.items().Add(std::make_unique<SampleItem>());
  copy.items().Add(std::make_unique<SampleItem>());
  copy.items().Add(std::make_unique<SampleItem>());
  copy.Assign(source);
  EXPECT_EQ(copy.count(), 3);
  EXPECT_EQ(copy.wide(), 8);
  EXPECT_EQ(copy.narrow(), "t");
  ASSERT_EQ(copy.items().Count(), 2u);
  const auto* copied = dynamic_cast<const DerivedItem*>(&copy.items().Items(1));
  ASSERT_NE(copied, nullptr);
  EXPECT_FALSE(copied->extra());
  EXPECT_EQ(copied->name(), "derived");
  EXPECT_EQ(std::get<const TPWBasicProjects*>(copied->Owner()), &copy.items());
  EXPECT_EQ(std::get<const Object*>(copy.part().Owner()), &copy);

  copy.part().set_name("changed");
  dynamic_cast<SampleItem&>(copy.items().Items(0)).set_name("changed");
  EXPECT_EQ(source.part().name(), "p");
  EXPECT_EQ(dynamic_cast<const SampleItem&>(source.items().Items(0)).name(), "x");

  copy.Assign(copy);
  EXPECT_EQ(copy.part().name(), "changed");
  // A source of another class must hold every property the destination has.
  SampleItem item;
  EXPECT_THROW(copy.Assign(item), std::invalid_argument);
  DerivedItem wider;
  EXPECT_NO_THROW(wider.Assign(DerivedItem()));
  EXPECT_THROW(wider.Assign(item), std::invalid_argument);
}

TEST(BasicProject, ListingWalksSectionsAndListsAndEscapesTexts) {
  Sample sample;
  Load(sample, "<s><label>a\"b\\c&#9;&#x1B;[2J&#x9B;\xC3\xA9</label><items><i/></items></s>");
  std::vector<std::string> lines;
  for (const ListedSetting& setting : ListSettings(sample))
    lines.push_back(setting.path + " = " + FormatSettingValue(setting.value, ','));
  EXPECT_THAT(lines, ElementsAre("count = 7", "colour = 255", "wide = -5", "flag = True", "ratio = 0,25",
                                 "narrow = \"abc\"", "label = \"a\\\"b\\\\c\\t\\u001B[2J\\u009B\xC3\xA9\"",
                                 "part.name = \"item\"", "part.weight = 1", "items[0].name = \"item\"",
                                 "items[0].weight = 1"));
}

}  // namespace
}  // namespace pagewend::model::project
