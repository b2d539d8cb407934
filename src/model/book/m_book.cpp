#include "model/book/m_book.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

namespace pagewend::model::book {

std::uint32_t RandomBookmarkColor() {
  thread_local std::mt19937 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return std::mt19937(seed);
  }();
  return std::uniform_int_distribution<std::uint32_t>(0, 2147483646)(engine);
}

void TMPages::MovePages(std::span<const std::string> indices, std::size_t target) {
  const std::size_t count = Count();
  if (target > count)
    throw std::invalid_argument(fmt::format("Cannot move pages to index {} of {} pages", target, count));
  std::vector<std::size_t> moved;
  moved.reserve(indices.size());
  for (const std::string& text : indices) {
    const auto index = ParseInt32(text);
    if (!index || *index < 0 || static_cast<std::size_t>(*index) >= count)
      throw std::invalid_argument(fmt::format("'{}' is not the index of one of {} pages", text, count));
    moved.push_back(static_cast<std::size_t>(*index));
  }
  std::sort(moved.begin(), moved.end());
  // A page named twice would be copied twice and a bystander deleted in its place.
  if (std::adjacent_find(moved.begin(), moved.end()) != moved.end())
    throw std::invalid_argument("A page to move is named more than once");

  // The moved pages keep their identity: taking them out and putting them back in order gives
  // the same list as inserting copies and deleting the originals.
  auto& items = Storage();
  std::vector<std::unique_ptr<Object>> taken;
  std::vector<std::unique_ptr<Object>> kept;
  taken.reserve(moved.size());
  kept.reserve(count - moved.size());
  std::size_t next = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (next < moved.size() && moved[next] == i) {
      taken.push_back(std::move(items[i]));
      ++next;
    } else {
      kept.push_back(std::move(items[i]));
    }
  }
  const auto before = static_cast<std::size_t>(
      std::count_if(moved.begin(), moved.end(), [&](std::size_t i) { return i < target; }));
  const auto at = kept.begin() + static_cast<std::ptrdiff_t>(target - before);
  kept.insert(at, std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end()));
  items = std::move(kept);
}

bool TMBox::LeftOut(std::string_view property, std::string_view text) const {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kLeftOut = {{
      {"width", "0"},
      {"height", "0"},
      {"background", ""},
      {"backgroundrepeat", "false"},
      {"scale9grid", ""},
      {"alpha", "1"},
  }};
  return std::find(kLeftOut.begin(), kLeftOut.end(), std::pair(property, text)) != kLeftOut.end();
}

namespace {

template <typename Page, typename Book>
std::vector<Page*> PagesOf(Book& book) {
  std::vector<Page*> pages;
  auto& chapters = book.Chapters();
  for (std::size_t c = 0; c < chapters.Count(); ++c) {
    auto& list = chapters.Items(c).Pages();
    for (std::size_t p = 0; p < list.Count(); ++p) pages.push_back(&list.Items(p));
  }
  return pages;
}

}  // namespace

std::vector<TMPage*> BookPages(TMBook& book) { return PagesOf<TMPage>(book); }
std::vector<const TMPage*> BookPages(const TMBook& book) { return PagesOf<const TMPage>(book); }

std::string TMBook::SaveToString() const {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version").set_value("1.0");
  declaration.append_attribute("encoding").set_value("UTF-8");
  SaveToXML(document.append_child("book"));

  struct StringWriter final : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override {
      text.append(static_cast<const char*>(data), size);
    }
  } writer;
  document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
  return std::move(writer.text);
}

}  // namespace pagewend::model::book
