#include "reading/reading_places.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <system_error>

#include "support/folder_root.h"
#include "support/folder_tree.h"
#include "support/unique_fd.h"

namespace pagewend::reading {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr std::uintmax_t kIdentityTail = 64 << 10;
// Far above what kMaxRememberedBooks places take; a larger file is not this program's.
constexpr std::uintmax_t kMaxPlacesFileBytes = 1 << 20;

ReadingPlace PlaceFrom(const json& entry) {
  ReadingPlace place;
  const auto text = [&](const char* key, std::string& out) {
    if (const auto it = entry.find(key); it != entry.end() && it->is_string()) out = it->get<std::string>();
  };
  const auto number = [&](const char* key, int& out, int least) {
    if (const auto it = entry.find(key); it != entry.end() && it->is_number_integer()) {
      const auto value = it->get<std::int64_t>();
      if (value >= least && value <= 1 << 20) out = static_cast<int>(value);
    }
  };
  const auto flag = [&](const char* key, bool& out) {
    if (const auto it = entry.find(key); it != entry.end() && it->is_boolean()) out = it->get<bool>();
  };
  text("file", place.file);
  text("title", place.title);
  number("page", place.page, 0);
  number("width", place.width, 0);
  number("height", place.height, 0);
  flag("fullscreen", place.fullScreen);
  std::string view, fit;
  text("view", view);
  text("fit", fit);
  place.pageView = view == "pages";
  place.fitWidth = fit == "width";
  return place;
}

json EntryFor(const std::string& identity, const ReadingPlace& place) {
  return {{"identity", identity},
          {"file", place.file},
          {"title", place.title},
          {"page", place.page},
          {"view", place.pageView ? "pages" : "movie"},
          {"fit", place.fitWidth ? "width" : "page"},
          {"fullscreen", place.fullScreen},
          {"width", place.width},
          {"height", place.height}};
}

}  // namespace

std::string BookIdentity(const fs::path& bookFile) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(bookFile, ec);
  if (ec) return {};
  std::ifstream in(bookFile, std::ios::binary);
  const std::uintmax_t tail = std::min(size, kIdentityTail);
  in.seekg(static_cast<std::streamoff>(size - tail));
  std::string bytes(static_cast<std::size_t>(tail), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!in) return {};
  // FNV-1a, 64 bits: enough to tell one reader's books apart.
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%ju-%016jx", size, static_cast<std::uintmax_t>(hash));
  return text;
}

ReadingPlaces ReadingPlaces::Load(const fs::path& folder) {
  ReadingPlaces places;
  const fs::path file = folder / kReadingPlacesFile;
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec || size > kMaxPlacesFileBytes) return places;
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const json document = json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (!document.is_object()) return places;
  const auto books = document.find("books");
  if (books == document.end() || !books->is_array()) return places;
  for (const json& entry : *books) {
    if (!entry.is_object()) continue;
    const auto identity = entry.find("identity");
    if (identity == entry.end() || !identity->is_string() || identity->get<std::string>().empty()) continue;
    const std::string id = identity->get<std::string>();
    if (places.Find(id) || places.books_.size() >= kMaxRememberedBooks) continue;
    places.books_.emplace_back(id, PlaceFrom(entry));
  }
  return places;
}

std::optional<ReadingPlace> ReadingPlaces::Find(const std::string& identity) const {
  const auto it =
      std::find_if(books_.begin(), books_.end(), [&](const auto& b) { return b.first == identity; });
  if (it == books_.end()) return std::nullopt;
  return it->second;
}

void ReadingPlaces::Remember(const std::string& identity, ReadingPlace place) {
  std::erase_if(books_, [&](const auto& b) { return b.first == identity; });
  books_.insert(books_.begin(), {identity, std::move(place)});
  if (books_.size() > kMaxRememberedBooks) books_.resize(kMaxRememberedBooks);
}

std::vector<std::string> ReadingPlaces::RecentFiles(std::size_t most) const {
  std::vector<std::string> files;
  for (const auto& [identity, place] : books_) {
    if (files.size() >= most) break;
    if (!place.file.empty() && std::find(files.begin(), files.end(), place.file) == files.end())
      files.push_back(place.file);
  }
  return files;
}

bool ReadingPlaces::Save(const fs::path& folder) const {
  json books = json::array();
  for (const auto& [identity, place] : books_) books.push_back(EntryFor(identity, place));
  const std::string text = json{{"books", std::move(books)}}.dump(1) + "\n";
  std::error_code ec;
  fs::create_directories(folder, ec);
  const fs::path target = folder / kReadingPlacesFile;
  // Whole or not at all: a run that ends half way leaves the old file as it was.
  const fs::path partial = PartialSibling(target);
  try {
    // The books one reads are one's own business: the file is the user's alone (FolderRoot makes
    // files 0600), whatever the umask; on the disk before it takes the old file's name, so that a
    // crash leaves one or the other.
    FolderRoot(folder).WriteFile(partial.filename(), text);
    const UniqueFd written(::open(partial.c_str(), O_RDONLY | O_CLOEXEC));
    if (!written.Valid() || ::fsync(written.Get()) != 0) throw FileError(partial.string() + ": cannot sync");
  } catch (const FileError&) {
    fs::remove(partial, ec);
    return false;
  }
  fs::rename(partial, target, ec);
  if (!ec) return true;
  fs::remove(partial, ec);
  return false;
}

}  // namespace pagewend::reading
