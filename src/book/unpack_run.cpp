#include "book/unpack_run.h"

#include "support/folder_tree.h"

namespace pagewend::book {

namespace fs = std::filesystem;

UnpackRun::UnpackRun(UnpackSetup setup, BookListener& listener, Notifier& notifier)
    : setup_(std::move(setup)),
      paths_(setup_.workingFolder.empty() ? PathGetter::NewRun()
                                          : PathGetter::AtFolder(setup_.workingFolder)),
      log_(setup_.log) {
  paths_.CreateWorkingFolders();
  if (!log_) {
    const fs::path logFile = paths_.RunLogFile();
    std::error_code ec;
    fs::create_directory(logFile.parent_path(), ec);
    if (!setup_.programFolder.empty()) RotateLogs(PathGetter::LogFolder(setup_.programFolder));
    // A folder that cannot be made means a run without a log, not a run that fails.
    if (fs::is_directory(logFile.parent_path(), ec)) log_ = std::make_shared<const RunLog>(logFile);
  }
  opener_ = std::make_unique<BookOpener>(listener, notifier, paths_, log_.get(), setup_.options);
}

UnpackRun::~UnpackRun() {
  if (setup_.removeWhenDone) DeleteFolderTree(paths_.WorkingFolder(true));
}

void UnpackRun::Run() {
  opener_->Open(setup_.bookFile);
  opener_->SplitAll();
}

}  // namespace pagewend::book
