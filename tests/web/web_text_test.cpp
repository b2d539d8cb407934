#include "web/web_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace pagewend::web {
namespace {

// Texts a hostile book may carry, each of which must come back as it was (or with U+FFFD for its
// bad bytes) and never end the block or attribute it stands in.
const std::vector<std::string> kHostile = {
    "</script><script>alert(1)</script>",
    "<!-- <script>",
    "quote \" apostrophe ' backslash \\ amp &amp;",
    "line\xE2\x80\xA8separator\xE2\x80\xA9paragraph",
    std::string("nul \0 bell \x07 del \x7F", 19),
    "bad \xC3\x28 lone \x80 overlong \xC0\xAF surrogate \xED\xA0\x80 cut \xE2\x82",
    "emoji \xF0\x9F\x93\x96 and \xE2\x80\x94",
};

TEST(WebText, JsonStringsParseBackAndCannotCloseTheirScriptBlock) {
  for (const std::string& text : kHostile) {
    const std::string json = JsonString(text);
    EXPECT_EQ(json.find('<'), std::string::npos) << json;
    EXPECT_EQ(json.find('>'), std::string::npos) << json;
    EXPECT_EQ(json.find("\xE2\x80\xA8"), std::string::npos) << json;
    EXPECT_EQ(json.find("\xE2\x80\xA9"), std::string::npos) << json;
    // The JSON parser insists on valid UTF-8: what it reads back is the text made valid.
    EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), ValidUtf8(text)) << json;
  }
  EXPECT_EQ(ValidUtf8("bad \xC3\x28 \xC0\xAF \xED\xA0\x80 \xE2\x82"),
            "bad \xEF\xBF\xBD( \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD "
            "\xEF\xBF\xBD\xEF\xBF\xBD");
  // A cut never splits a character.
  EXPECT_EQ(ValidUtf8("ab\xE2\x80\x94", 4), "ab");
  EXPECT_EQ(ValidUtf8("ab\xE2\x80\x94", 5), "ab\xE2\x80\x94");
}

TEST(WebText, HtmlEscapesLeaveNoMarkupOrQuote) {
  for (const std::string& text : kHostile) {
    const std::string html = EscapeHtml(text);
    for (const char c : {'<', '>', '"', '\''}) EXPECT_EQ(html.find(c), std::string::npos) << html;
    // Every & begins one of the references made here.
    for (std::size_t at = html.find('&'); at != std::string::npos; at = html.find('&', at + 1)) {
      const std::string_view rest = std::string_view(html).substr(at);
      EXPECT_TRUE(rest.starts_with("&amp;") || rest.starts_with("&lt;") || rest.starts_with("&gt;") ||
                  rest.starts_with("&quot;") || rest.starts_with("&#39;"))
          << html;
    }
  }
  EXPECT_EQ(EscapeHtml("a<b>&\"'"), "a&lt;b&gt;&amp;&quot;&#39;");
}

}  // namespace
}  // namespace pagewend::web
