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

}  // namespace
}  // namespace pagewend
