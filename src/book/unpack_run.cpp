#include "book/unpack_run.h"

#include "book/book_check.h"

#include "support/folder_tree.h"

namespace pagewend::book {

namespace fs = std::filesystem;

UnpackRun::UnpackRun(UnpackSetup setup, BookListener& listener, Notifier& notifier)
    : setup_(std::move(setup)),
      paths_(setup_.workingFolder.empty() ? RunFolder::NewRun() : RunFolder::At(setup_.workingFolder)),
      log_(setup_.log) {
  // A run that cannot start leaves no folder behind, as one that ends does.
  try {
    const FolderRoot root = paths_.Create();
    if (!log_) {
      const fs::path logFile = paths_ / layout::kRunLog;
      if (!setup_.programFolder.empty()) RotateLogs(setup_.programFolder / layout::kLogFolderName);
      // A folder that cannot be made means a run without a log, not a run that fails.
      try {
        root.MakeFolders(logFile.parent_path());
        log_ = std::make_shared<const RunLog>(logFile);
      } catch (const FileError&) {
      }
    }
    opener_ = std::make_unique<BookOpener>(listener, notifier, paths_, log_.get(), setup_.options);
  } catch (...) {
    if (setup_.removeWhenDone) DeleteFolderTree(paths_.Root());
    throw;
  }
}

UnpackRun::~UnpackRun() {
  if (setup_.removeWhenDone) DeleteFolderTree(paths_.Root());
}

std::optional<UnpackedBook> UnpackRun::Run() {
  try {
    opener_->Open(setup_.bookFile);
    opener_->SplitAll();
  } catch (const BookFailure&) {
    throw;
  } catch (const std::exception& e) {
    throw BookFailure(ClassifyFailure(setup_.bookFile, e, opener_->Stopped()));
  }
  return opener_->TakeUnpacked();
}

}  // namespace pagewend::book
