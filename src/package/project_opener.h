#pragma once

#include <atomic>
#include <filesystem>
#include <memory>

#include "log/quorvel_log.h"
#include "package/book_listener.h"
#include "paths/path_getter.h"
#include "support/notifier.h"
#include "support/system_settings.h"

namespace pagewend::package {

struct OpenerOptions {
  SystemSettings settings;
  // Workers for the page images; 0 means one per core.
  unsigned jobs = 0;
};

// Unpacks a book package into a run's working folder: parses the two documents, writes every
// record as a file, makes the mobile images and page thumbnails, and tells the listener how far
// it has got. The working folders must exist (PathGetter::CreateWorkingFolders).
class TProjectOpener {
 public:
  TProjectOpener(BookListener& listener, Notifier& notifier, PathGetter paths, const TQuorvelLog* log,
                 OpenerOptions options = {});
  ~TProjectOpener();
  TProjectOpener(const TProjectOpener&) = delete;
  TProjectOpener& operator=(const TProjectOpener&) = delete;

  // Opens the package and parses both documents; sends the title. Throws on failure.
  void Open(const std::filesystem::path& fileName);
  // Writes every file of the book, then sends loaded. Throws on failure (after logging it).
  void SplitAll();
  void Split();

  // May be called from any thread; the run stops at its next check.
  void SetStopped(bool value) { stopped_.store(value); }
  bool Stopped() const { return stopped_.load(); }

 private:
  struct State;
  BookListener& listener_;
  Notifier& notifier_;
  PathGetter paths_;
  const TQuorvelLog* log_;
  OpenerOptions options_;
  std::atomic<bool> stopped_{false};
  bool complete_ = false;
  std::unique_ptr<State> state_;
};

}  // namespace pagewend::package
