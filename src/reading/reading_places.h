#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Where the reader left each book, kept between runs in one small file of the reader's own.
namespace pagewend::reading {

// The file in the state folder.
inline constexpr const char* kReadingPlacesFile = "reading-places.json";
// Books remembered at most; the longest unread are forgotten first.
inline constexpr std::size_t kMaxRememberedBooks = 200;

struct ReadingPlace {
  // The book file last opened under this identity, as given.
  std::string file;
  std::string title;
  // The first page in view, 0-based.
  int page = 0;
  // The book's own pages rather than its movie.
  bool pageView = false;
  bool fitWidth = false;
  bool fullScreen = true;
  // The window's size when it was last a window; 0 when it never was.
  int width = 0;
  int height = 0;
  friend bool operator==(const ReadingPlace&, const ReadingPlace&) = default;
};

// What a book is, wherever its file lies and whatever it is called: its size and a digest of
// its last 64 KiB, which hold its two documents. Empty when the file cannot be read.
std::string BookIdentity(const std::filesystem::path& bookFile);

class ReadingPlaces {
 public:
  // What folder's file holds. A missing file, a damaged one, or one of another shape gives
  // nothing (or only the entries that are sound): the reader loses a place, never the run.
  static ReadingPlaces Load(const std::filesystem::path& folder);

  std::optional<ReadingPlace> Find(const std::string& identity) const;
  // The book's place, which makes it the most recent.
  void Remember(const std::string& identity, ReadingPlace place);
  // The book files most recently left, newest first, each once.
  std::vector<std::string> RecentFiles(std::size_t most) const;
  // Replaces folder's file as a whole (written beside it and renamed over it), making the folder
  // when it is missing. False when it could not be written; the old file is then untouched.
  bool Save(const std::filesystem::path& folder) const;

 private:
  // Newest first.
  std::vector<std::pair<std::string, ReadingPlace>> books_;
};

}  // namespace pagewend::reading
