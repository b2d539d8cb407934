#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "book/unpack_run.h"

namespace pagewend::shell {

// Unpacks one book on its own thread. The run is set up (folders, log) on the thread that makes
// this object; the thread only runs it. Destroying the object waits for the thread, then ends the
// run, which deletes its working folder.
class LoadingThread {
 public:
  using FailureHandler = std::function<void(const book::BookError& error)>;

  // Created idle; Start runs the body. onFailed is called on the loader's thread with the error
  // when the run fails; its detail is logged before.
  LoadingThread(book::UnpackSetup setup, book::BookListener& listener, Notifier& notifier,
                FailureHandler onFailed);
  ~LoadingThread();
  LoadingThread(const LoadingThread&) = delete;
  LoadingThread& operator=(const LoadingThread&) = delete;

  void Start();
  // Asks the run to stop at its next check; any thread.
  void Stop() { run_->Stop(); }
  // Waits for the body to end.
  void Wait();

  const RunFolder& Paths() const { return run_->Paths(); }
  const std::shared_ptr<const RunLog>& Log() const { return run_->Log(); }

 private:
  void Execute();

  std::unique_ptr<book::UnpackRun> run_;
  FailureHandler onFailed_;
  std::thread thread_;
};

}  // namespace pagewend::shell
