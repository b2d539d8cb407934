#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "book/book_error.h"
#include "book/book_listener.h"
#include "book/book_opener.h"
#include "log/run_log.h"
#include "paths/run_folder.h"
#include "support/notifier.h"

namespace pagewend::book {

struct UnpackSetup {
  // A book executable or a bare package.
  std::filesystem::path bookFile;
  // The working folder; empty for a new one in the system temporary folder, named by a GUID.
  std::filesystem::path workingFolder;
  // The player's runs leave nothing behind; the tool's extraction keeps what it unpacked.
  bool removeWhenDone = false;
  // A log the run writes to. Without one the run starts its own, F/Log/log1.txt, after shifting
  // the numbered logs of programFolder/Log up by one (when a program folder is given).
  std::shared_ptr<const RunLog> log;
  std::filesystem::path programFolder;
  OpenerOptions options;
};

// One unpacking of one book, set up the same way for the player, the tool and the tests: the
// working folders and the run log when it is made, the package opened and the whole book written
// by Run, and (when asked) the working folder deleted when it goes. Made on one thread, Run may
// be called on another; Stop from any.
class UnpackRun {
 public:
  UnpackRun(UnpackSetup setup, BookListener& listener, Notifier& notifier);
  // Whoever calls Run must have returned from it by now.
  ~UnpackRun();
  UnpackRun(const UnpackRun&) = delete;
  UnpackRun& operator=(const UnpackRun&) = delete;

  // Opens the package and writes every file of the book, then tells the listener it is loaded,
  // and hands the loaded book back; nothing when the run was stopped. Throws BookFailure, whose
  // detail the run log holds already.
  std::optional<UnpackedBook> Run();
  // The run ends at its next check and never reports loaded.
  void Stop() { opener_->SetStopped(true); }

  const RunFolder& Paths() const { return paths_; }
  const std::shared_ptr<const RunLog>& Log() const { return log_; }

 private:
  UnpackSetup setup_;
  RunFolder paths_;
  std::shared_ptr<const RunLog> log_;
  std::unique_ptr<BookOpener> opener_;
};

}  // namespace pagewend::book
