#include "paths/file_names.h"

#include <gtest/gtest.h>

namespace pagewend {
namespace {

namespace fs = std::filesystem;

TEST(JoinInside, KeepsNamesInsideTheFolder) {
  const fs::path f = "/w/files";
  EXPECT_EQ(JoinInside(f, "res\\pages\\p1.jpg"), fs::path("/w/files/res/pages/p1.jpg"));
  EXPECT_EQ(JoinInside(f, "res/pages//./p1.jpg"), fs::path("/w/files/res/pages/p1.jpg"));
  EXPECT_EQ(JoinInside(f, "a..b.jpg"), fs::path("/w/files/a..b.jpg"));
  for (std::string_view bad : std::initializer_list<std::string_view>{
           "", ".", "/etc/passwd", "\\etc\\passwd", "C:\\x.jpg", "c:x", "..", "../x", "res\\..\\..\\x",
           "res/../x", "a/..", std::string_view("a\0b", 3)})
    EXPECT_EQ(JoinInside(f, bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace pagewend
