#include "player/flash_request_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace pagewend::player {
namespace {

TEST(FlashRequestParser, ReadsNameAndTheTextOfEveryArgumentInOrder) {
  const FlashRequestParser parser(
      R"(<invoke name="go" returntype="xml"><arguments><string>a &amp; b</string><number>42</number>)"
      R"(<true/><array><property id="0"><string>x</string></property><property id="1"><number>2</number>)"
      R"(</property></array><string></string></arguments></invoke>)");
  EXPECT_EQ(parser.GetName(), "go");
  EXPECT_EQ(parser.Arguments(), (std::vector<std::string>{"a & b", "42", "", "x2", ""}));
}

TEST(FlashRequestParser, AnythingUnreadableGivesAnEmptyName) {
  for (const char* request : {"", "not xml", "<invoke name=\"fullscreen_error\"",
                              "<other name=\"fullscreen_error\"/>", "<invoke><arguments/></invoke>"}) {
    const FlashRequestParser parser(request);
    EXPECT_TRUE(parser.GetName().empty()) << request;
    EXPECT_TRUE(parser.Arguments().empty()) << request;
  }
  // Without arguments the name still counts.
  EXPECT_EQ(FlashRequestParser("<invoke name=\"n\"/>").GetName(), "n");
}

TEST(FlashRequestParser, ArgumentsNestedFarBeyondTheStackAreRead) {
  // A movie may nest an argument as deep as it likes; the text is still every leaf in order.
  constexpr int kDepth = 1'000'000;
  std::string request = "<invoke name=\"deep\"><arguments><array>x";
  for (int i = 0; i < kDepth; ++i) request += "<a>";
  request += "y";
  for (int i = 0; i < kDepth; ++i) request += "</a>";
  request += "z</array><string>w</string></arguments></invoke>";
  const FlashRequestParser parser(request);
  EXPECT_EQ(parser.GetName(), "deep");
  EXPECT_EQ(parser.Arguments(), (std::vector<std::string>{"xyz", "w"}));
}

}  // namespace
}  // namespace pagewend::player
