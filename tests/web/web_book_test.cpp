#include "web/web_book.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

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

// A page's text is its search text and its text elements together, the same in the page and in
// the search's index; the book's language becomes the page's lang only when it is a language tag.
TEST(WebBook, PageTextsAndLanguage) {
  testing::TempDir dir;
  fs::create_directories(dir / "files");
  // Written on Windows: "Harbour lights" and a sharp s in Windows-1252.
  testing::WriteFile(dir / "files/1.txt", "Harbour lights Stra\xDF" "e");
  reading::Book book;
  book.pageWidth = 60;
  book.pageHeight = 80;
  reading::Page page;
  page.searchText = dir / "files/1.txt";
  reading::PagePart text{reading::PagePart::Kind::Text, {0, 0, 60, 20}, {}, "Quay", {}};
  page.parts.push_back(text);
  book.pages.push_back(page);
  book.pages.push_back({});
  for (const auto& [language, attribute] :
       std::vector<std::pair<std::string, std::string>>{{"en_GB", "<html lang=\"en-GB\">"},
                                                        {"pt-BR-x1", "<html lang=\"pt-BR-x1\">"},
                                                        {"", "<html>"},
                                                        {"English", "<html>"},
                                                        {"en-", "<html>"},
                                                        {"\"><script>", "<html>"}}) {
    book.language = language;
    const fs::path web = dir / fmt::format("web-{}", attribute.size() + language.size());
    fs::remove_all(web);
    fs::create_directories(web);
    WriteWebBook(book, dir / "files", web, {.jobs = 1});
    const std::string html = testing::ReadFile(web / "index.html");
    EXPECT_THAT(html, ::testing::HasSubstr("<!DOCTYPE html>\n" + attribute + "\n")) << language;
    EXPECT_THAT(html, ::testing::HasSubstr("<p class=\"page-text\">Harbour lights Straße Quay</p>"));
    std::string index = testing::ReadFile(web / "search.js");
    index = index.substr(index.find('['));
    index = index.substr(0, index.rfind(']') + 1);
    EXPECT_EQ(nlohmann::json::parse(index), nlohmann::json::array({"Harbour lights Straße Quay", ""}));
  }
}

}  // namespace
}  // namespace pagewend::web
