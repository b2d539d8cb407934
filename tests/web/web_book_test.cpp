#include "web/web_book.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/book_package.h"
#include "testing/temp_dir.h"

namespace pagewend::web {
namespace {

namespace fs = std::filesystem;

// Pages made of the very same image (under one name or two linked names) share their images,
// made once; a page of another image gets its own.
TEST(WebBook, PagesAlikeShareTheirImagesMadeOnce) {
  testing::TempDir dir;
  fs::create_directories(dir / "files");
  testing::WriteFile(dir / "files/a.png", testing::ImageBytes(60, 80, ".png"));
  fs::create_hard_link(dir / "files/a.png", dir / "files/linked.png");
  testing::WriteFile(dir / "files/b.png", testing::ImageBytes(80, 60, ".png"));
  reading::Book book;
  book.pageWidth = 60;
  book.pageHeight = 80;
  for (const char* name : {"a.png", "linked.png", "b.png", "a.png"}) {
    reading::Page page;
    page.parts.push_back({reading::PagePart::Kind::Image, {0, 0, 60, 80}, dir / "files" / name, {}, {}});
    book.pages.push_back(page);
  }
  fs::create_directories(dir / "web");
  const WebBookSummary summary = WriteWebBook(book, dir / "files", dir / "web", {.jobs = 2});
  EXPECT_EQ(summary.pages, 4);
  std::size_t thumbs = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir / "web/thumbs")) ++thumbs;
  EXPECT_EQ(thumbs, 2u);
  const std::string html = testing::ReadFile(dir / "web/index.html");
  EXPECT_THAT(html, ::testing::HasSubstr("thumbs/page-0001"));
  EXPECT_THAT(html, ::testing::HasSubstr("thumbs/page-0003"));
  EXPECT_THAT(html, ::testing::Not(::testing::HasSubstr("thumbs/page-0002")));
}

}  // namespace
}  // namespace pagewend::web
