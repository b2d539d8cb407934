#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "package/project_opener.h"

namespace pagewend::shell {

// Unpacks one book on its own thread: the reader's Open, then SplitAll, over the book file. The
// object owns the thread; destroying it waits for the body to end.
class TLoadProjectThread {
 public:
  using FailureHandler = std::function<void(const std::string& message)>;

  // Created idle ("suspended"); Start runs the body. onFailed is called on the loader's thread
  // with the reason when Open or SplitAll throws; the reason is logged before.
  TLoadProjectThread(package::BookListener& listener, Notifier& notifier, PathGetter paths,
                     const TQuorvelLog* log, package::OpenerOptions options, std::filesystem::path bookFile,
                     FailureHandler onFailed);
  ~TLoadProjectThread();
  TLoadProjectThread(const TLoadProjectThread&) = delete;
  TLoadProjectThread& operator=(const TLoadProjectThread&) = delete;

  void Start();
  // Asks the reader to stop at its next check; any thread.
  void Stop() { opener_.SetStopped(true); }
  // Waits for the body to end.
  void Wait();

 private:
  void Execute();

  package::TProjectOpener opener_;
  const TQuorvelLog* log_;
  std::filesystem::path bookFile_;
  FailureHandler onFailed_;
  std::thread thread_;
};

}  // namespace pagewend::shell
