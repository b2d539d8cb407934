#include "shell/load_project_thread.h"

#include <exception>

namespace pagewend::shell {

TLoadProjectThread::TLoadProjectThread(package::BookListener& listener, Notifier& notifier, PathGetter paths,
                                       const TQuorvelLog* log, package::OpenerOptions options,
                                       std::filesystem::path bookFile, FailureHandler onFailed)
    : opener_(listener, notifier, std::move(paths), log, std::move(options)),
      log_(log),
      bookFile_(std::move(bookFile)),
      onFailed_(std::move(onFailed)) {}

TLoadProjectThread::~TLoadProjectThread() { Wait(); }

void TLoadProjectThread::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TLoadProjectThread::Wait() {
  if (thread_.joinable()) thread_.join();
}

void TLoadProjectThread::Execute() {
  try {
    opener_.Open(bookFile_);
    opener_.SplitAll();
  } catch (const std::exception& e) {
    // Nothing may leave a thread body; the window learns why the book did not open.
    WriteLog(log_, std::string("[TLoadProjectThread]: Error:") + e.what());
    if (onFailed_) onFailed_(e.what());
  } catch (...) {
    WriteLog(log_, "[TLoadProjectThread]: Error:unknown failure");
    if (onFailed_) onFailed_("unknown failure");
  }
}

}  // namespace pagewend::shell
