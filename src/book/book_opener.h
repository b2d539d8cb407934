#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "book/book_listener.h"
#include "book/files_in_making.h"
#include "imaging/page_images.h"
#include "log/run_log.h"
#include "paths/run_folder.h"
#include "support/notifier.h"
#include "support/system_settings.h"

namespace pagewend::model::project {
class TPWProject;
}
namespace pagewend::model::book {
class TMBook;
class TMPage;
}  // namespace pagewend::model::book
namespace pagewend::package {
struct Slice;
}

namespace pagewend::book {

struct BookFile;
enum class SplitStep;
class RecordStore;
class PageImageQueue;

struct OpenerOptions {
  SystemSettings settings;
  // Workers for the page images; 0 means one per core.
  unsigned jobs = 0;
  // Make each page's mobile image and thumbnails. A caller that makes images of its own from the
  // pages' files (the web export) leaves them out; the files themselves are written either way.
  bool pageImages = true;
  // Make them at a lower priority than the rest of the process: the player starts the book's
  // movie while they are made.
  bool imagesInBackground = false;
  // Room on disk for the images a run makes, beyond the twice the package's size its records may
  // take: a small package must not fill the disk through the images made of it either.
  std::int64_t madeImageBytes = std::int64_t{64} << 20;
  // Where the working folder's files are to be found once the run is over (a caller may move
  // them): the notices and the log name paths below it. Empty: paths relative to the folder.
  // Unset (the default) names the working folder itself.
  std::optional<std::filesystem::path> shownFolder;
};

// Unpacks a book package into a run's working folder: parses the two documents, writes every
// record as a file, makes the mobile images and page thumbnails, and tells the listener how far
// it has got. The working folders must exist: UnpackRun makes them and the run log around an
// opener, and is how the player and the tool unpack.
class BookOpener {
 public:
  BookOpener(BookListener& listener, Notifier& notifier, RunFolder paths, const RunLog* log,
             OpenerOptions options = {});
  ~BookOpener();
  BookOpener(const BookOpener&) = delete;
  BookOpener& operator=(const BookOpener&) = delete;

  // Opens the package and parses both documents; sends the title. Throws on failure.
  void Open(const std::filesystem::path& fileName);
  // Writes every file of the book, then sends loaded. Throws on failure (after logging it).
  void SplitAll();
  void Split();

  // May be called from any thread; the run stops at its next check.
  void SetStopped(bool value) { stopped_.store(value); }
  bool Stopped() const { return stopped_.load(); }

  // The page images the run is still making, from written until loaded; empty after.
  std::shared_ptr<const FilesInMaking> ImagesInMaking() const { return imagesInMaking_; }

  // How many pages of the last run lack some of their images (the log names each and why).
  std::size_t PagesWithoutImages() const { return pagesWithoutImages_; }

  // The book of the last run that loaded, handed over once: nothing before loaded, or after.
  std::optional<UnpackedBook> TakeUnpacked() { return std::exchange(unpacked_, std::nullopt); }

  // The documents as parsed, with file references pointing at the written files after a run.
  const model::project::TPWProject& Project() const;
  const model::book::TMBook& Book() const;

 private:
  void RunStep(const std::vector<BookFile>& files, SplitStep step);
  void WriteFile(const BookFile& file);
  void WriteGroupFile(const std::filesystem::path& folder, const std::string& owner, const std::string& name,
                      const package::Slice& payload);
  // Every record reaches its file through the store.
  void WriteRecord(const package::Slice& payload, const std::filesystem::path& dest, const std::string& what);
  // Logs and tells the user that a record's name would put it outside the working folder.
  void Refuse(const std::string& owner, const std::string& name);
  // The text with the working folder's paths as the caller shows them.
  std::string Shown(std::string text) const;
  // Logs a problem the book survives and keeps it for the one message after the run.
  void Notice(std::string message);
  void NotifyNotices();
  // Writes the pages' files and makes their images; written runs once the files are all
  // written, while the images are still being made.
  void SplitPages(const std::vector<BookFile>& files, const std::function<void()>& written);
  imaging::PageImageJob PageImages(model::book::TMPage& page, std::size_t index);

  struct State;
  BookListener& listener_;
  Notifier& notifier_;
  RunFolder paths_;
  const RunLog* log_;
  OpenerOptions options_;
  std::atomic<bool> stopped_{false};
  bool complete_ = false;
  std::size_t pagesWithoutImages_ = 0;
  std::string title_;
  std::optional<UnpackedBook> unpacked_;
  // What the user is told once the book is loaded: a message per problem while the run goes on
  // would hold the loader at every one of them.
  std::vector<std::string> notices_;
  std::unique_ptr<RecordStore> store_;
  // The queue of the page images while the pages are written.
  PageImageQueue* images_ = nullptr;
  std::shared_ptr<FilesInMaking> imagesInMaking_ = std::make_shared<FilesInMaking>();
  // The first elements' sizes measured in this run: many pages may start with the same file.
  std::map<std::string, imaging::Size, std::less<>> measured_;
  std::unique_ptr<State> state_;
};

}  // namespace pagewend::book
