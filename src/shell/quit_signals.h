#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <array>

#include "support/unique_fd.h"

namespace pagewend::shell {

// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C, a logout, kill) into a Qt signal on the GUI thread, so
// the window closes as if the user closed it and the working folder is deleted. Without it the
// process would die with the book's files left in the temporary folder. One object per process.
class QuitOnSignals final : public QObject {
  Q_OBJECT

 public:
  explicit QuitOnSignals(QObject* parent = nullptr);
  ~QuitOnSignals() override;
  QuitOnSignals(const QuitOnSignals&) = delete;
  QuitOnSignals& operator=(const QuitOnSignals&) = delete;

 signals:
  void Quit(int signal);

 private:
  std::array<UniqueFd, 2> pipe_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace pagewend::shell
