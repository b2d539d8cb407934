#include "support/text.h"

#include <gtest/gtest.h>

namespace pagewend {
namespace {

// What a hostile book's text could do on a terminal it cannot do: every escape, C1 control and
// stray byte is one replacement character, and other text, in any script, is as it was.
TEST(ForTerminal, LeavesNoEscapeOnTheTerminal) {
  EXPECT_EQ(ForTerminal("Atlas \xC3\xA9t\xC3\xA9 \xE4\xB8\xAD\tx"),
            "Atlas \xC3\xA9t\xC3\xA9 \xE4\xB8\xAD\tx");
  EXPECT_EQ(ForTerminal("\x1B]52;c;aGk=\x07|\x1B[2J|\xC2\x9B"
                        "2J|\x9B|\x7F|a\nb"),
            "\xEF\xBF\xBD]52;c;aGk=\xEF\xBF\xBD|\xEF\xBF\xBD[2J|\xEF\xBF\xBD"
            "2J|\xEF\xBF\xBD|\xEF\xBF\xBD|a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(ForTerminal("a\nb", true), "a\nb");
  // Overlong forms, surrogates and cut sequences are no way around it.
  EXPECT_EQ(ForTerminal("\xC0\x9B|\xED\xA0\x80|\xE4\xB8"),
            "\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace pagewend
