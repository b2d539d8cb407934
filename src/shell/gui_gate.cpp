#include "shell/gui_gate.h"

#include <QMetaObject>
#include <QThread>

namespace pagewend::shell {

GuiGate::GuiGate(QObject* context) : context_(context), shared_(std::make_shared<Shared>()) {}

GuiGate::~GuiGate() { Close(); }

void GuiGate::Send(std::function<void()> call) {
  // On the context's own thread, waiting for the queue would wait for itself.
  if (QThread::currentThread() == context_->thread()) {
    if (!Closed()) call();
    return;
  }
  // Shared state outlives both sides: a queued call may run (as a no-op) after the sender left.
  auto shared = shared_;
  auto done = std::make_shared<bool>(false);
  {
    std::lock_guard lock(shared->mutex);
    if (shared->closed) return;
  }
  QMetaObject::invokeMethod(
      context_,
      [shared, done, call = std::move(call)] {
        {
          std::lock_guard lock(shared->mutex);
          if (shared->closed) return;
        }
        try {
          call();
        } catch (...) {
          // The worker must be released whatever the handler did; a handler reports its own
          // failures.
        }
        {
          std::lock_guard lock(shared->mutex);
          *done = true;
        }
        shared->changed.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(shared->mutex);
  shared->changed.wait(lock, [&] { return *done || shared->closed; });
}

void GuiGate::Close() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
  }
  shared_->changed.notify_all();
}

bool GuiGate::Closed() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->closed;
}

}  // namespace pagewend::shell
