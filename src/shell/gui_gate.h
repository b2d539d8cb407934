#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace pagewend::shell {

// Hands calls from a worker to the thread of a GUI object and waits until each has run, as a
// sent window message does. Unlike a blocking queued connection it can be closed: a window that
// is going away closes the gate first, which releases a waiting worker and turns later calls into
// nothing, so the window can then wait for the worker without both waiting for each other.
class GuiGate {
 public:
  explicit GuiGate(QObject* context);
  ~GuiGate();
  GuiGate(const GuiGate&) = delete;
  GuiGate& operator=(const GuiGate&) = delete;

  // Runs call on the context's thread and returns once it has run, or at once when the gate is
  // (or becomes) closed. On the context's thread itself the call runs directly.
  void Send(std::function<void()> call);
  // From the context's thread.
  void Close();
  bool Closed() const;

 private:
  struct Shared {
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
  };
  QObject* context_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace pagewend::shell
