#include "support/links.h"

#include <gtest/gtest.h>

namespace pagewend {
namespace {

TEST(Links, OnlyWebAndMailLinksMayLeaveThePlayer) {
  for (const char* url : {"https://example.org/a?b#c", "HTTP://example.org", "mailto:someone@example.org"})
    EXPECT_TRUE(MayOpenOutside(url)) << url;
  for (const char* url :
       {"javascript:alert(1)", "JavaScript://%0aalert(1)", "file:///etc/passwd", "data:text/html,x",
        "pagewend://book/movie/a.swf", "ftp://example.org", "http:example.org", "http://",
        "mailto:", "example.org", "", " https://example.org", "vbscript:x"})
    EXPECT_FALSE(MayOpenOutside(url)) << url;
}

// A mail link keeps what a message is written with, and nothing that reaches for the reader's files.
TEST(Links, AMailLinkLeavesWithoutItsOtherFields) {
  EXPECT_EQ(LinkToOpen("mailto:x@host?attach=/etc/passwd&Subject=s&%61ttach=/etc/shadow&body=b&x"),
            "mailto:x@host?Subject=s&body=b");
  EXPECT_EQ(LinkToOpen("MAILTO:x@host?attachment=a"), "MAILTO:x@host");
  EXPECT_EQ(LinkToOpen("https://example.org/?attach=1"), "https://example.org/?attach=1");
  EXPECT_EQ(LinkToOpen("javascript:alert(1)"), std::nullopt);
}

}  // namespace
}  // namespace pagewend
