#include "shell/loading_thread.h"

#include <exception>

namespace pagewend::shell {

LoadingThread::LoadingThread(book::UnpackSetup setup, book::BookListener& listener, Notifier& notifier,
                             FailureHandler onFailed)
    : run_(std::make_unique<book::UnpackRun>(std::move(setup), listener, notifier)),
      onFailed_(std::move(onFailed)) {}

LoadingThread::~LoadingThread() { Wait(); }

void LoadingThread::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void LoadingThread::Wait() {
  if (thread_.joinable()) thread_.join();
}

void LoadingThread::Execute() {
  const RunLog* log = run_->Log().get();
  // Nothing may leave a thread body; the window learns why the book did not open. The book
  // itself reaches the window with the listener's loaded.
  try {
    (void)run_->Run();
  } catch (const book::BookFailure& failure) {
    WriteLog(log, std::string("[TLoadProjectThread]: Error:") + failure.what());
    if (onFailed_) onFailed_(failure.Error());
  } catch (const std::exception& e) {
    WriteLog(log, std::string("[TLoadProjectThread]: Error:") + e.what());
    if (onFailed_) onFailed_(book::BookError{book::BookErrorKind::Damaged, {}, e.what()});
  } catch (...) {
    WriteLog(log, "[TLoadProjectThread]: Error:unknown failure");
    if (onFailed_) onFailed_(book::BookError{book::BookErrorKind::Damaged, {}, "unknown failure"});
  }
}

}  // namespace pagewend::shell
