#include "web/web_book.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <string>

#include "testing/book_package.h"
#include "testing/temp_dir.h"

namespace pagewend::web {
namespace {

namespace fs = std::filesystem;

// Pages made of the very same image (under one name or two linked names) share their images,
// made once; a page of another image gets its own; an image outside the run's files is never
// read, whatever its name.
TEST(WebBook, PagesAlikeShareTheirImagesMadeOnce) {
  testing::TempDir dir;
  fs::create_directories(dir / "files");
  testing::WriteFile(dir / "files/a.png", testing::ImageBytes(60, 80, ".png"));
  fs::create_hard_link(dir / "files/a.png", dir / "files/linked.png");
  testing::WriteFile(dir / "files/b.png", testing::ImageBytes(80, 60, ".png"));
  testing::WriteFile(dir / "secret.png", testing::ImageBytes(60, 80, ".png"));
  reading::Book book;
  book.pageWidth = 60;
  book.pageHeight = 80;
  for (const char* name : {"a.png", "linked.png", "b.png", "a.png", "../secret.png"}) {
    reading::Page page;
    page.parts.push_back({reading::PagePart::Kind::Image, {0, 0, 60, 80}, dir / "files" / name, {}, {}});
    book.pages.push_back(page);
  }
  fs::create_directories(dir / "web");
  const WebBookSummary summary = WriteWebBook(book, dir / "files", dir / "web", {.jobs = 2});
  EXPECT_EQ(summary.pages, 5);
  std::size_t thumbs = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir / "web/thumbs")) ++thumbs;
  EXPECT_EQ(thumbs, 3u);
  // The last page is its background alone: its image was not read.
  for (const int page : {1, 5}) {
    const QImage thumb(
        QString::fromStdString((dir / fmt::format("web/thumbs/page-000{}.jpg", page)).string()));
    ASSERT_FALSE(thumb.isNull()) << page;
    EXPECT_EQ(qRed(thumb.pixel(thumb.width() / 2, thumb.height() / 2)) < 100, page == 1) << page;
  }
  const std::string html = testing::ReadFile(dir / "web/index.html");
  EXPECT_THAT(html, ::testing::HasSubstr("thumbs/page-0001"));
  EXPECT_THAT(html, ::testing::HasSubstr("thumbs/page-0003"));
  EXPECT_THAT(html, ::testing::Not(::testing::HasSubstr("thumbs/page-0002")));
}

}  // namespace
}  // namespace pagewend::web
