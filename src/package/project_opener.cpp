#include "package/project_opener.h"

#include <stdexcept>

#include "package/package_format.h"

namespace pagewend::package {

// Provisional: locates the documents and reports a finished run; the extraction itself follows.
struct TProjectOpener::State {
  std::unique_ptr<PackageFile> file;
};

TProjectOpener::TProjectOpener(BookListener& listener, Notifier& notifier, PathGetter paths,
                               const TQuorvelLog* log, OpenerOptions options)
    : listener_(listener),
      notifier_(notifier),
      paths_(std::move(paths)),
      log_(log),
      options_(std::move(options)),
      state_(std::make_unique<State>()) {}

TProjectOpener::~TProjectOpener() = default;

void TProjectOpener::Open(const std::filesystem::path& fileName) {
  state_->file = std::make_unique<PackageFile>(fileName);
  LocateDocuments(*state_->file);
  listener_.BookTitle(fileName.stem().string());
}

void TProjectOpener::SplitAll() {
  complete_ = true;
  Split();
}

void TProjectOpener::Split() {
  if (!state_->file) throw std::logic_error("Split before Open");
  listener_.BookProgress(5, 100);
  if (Stopped()) return;
  listener_.BookProgress(100, 100);
  listener_.BookLoaded();
}

}  // namespace pagewend::package
