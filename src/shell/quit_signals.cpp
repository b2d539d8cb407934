#include "shell/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <stdexcept>

namespace pagewend::shell {

namespace {

constexpr std::array kSignals = {SIGINT, SIGTERM, SIGHUP};

// The write end for the handler; only async-signal-safe work happens there.
std::atomic<int> signalPipe{-1};

extern "C" void OnQuitSignal(int signal) {
  const int fd = signalPipe.load();
  if (fd < 0) return;
  const auto byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
}

}  // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("cannot create the signal pipe");
  pipe_[0] = UniqueFd(fds[0]);
  pipe_[1] = UniqueFd(fds[1]);
  int expected = -1;
  if (!signalPipe.compare_exchange_strong(expected, pipe_[1].Get()))
    throw std::logic_error("only one QuitOnSignals may exist at a time");
  notifier_ = new QSocketNotifier(pipe_[0].Get(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    unsigned char byte = 0;
    while (::read(pipe_[0].Get(), &byte, 1) == 1) emit Quit(byte);
  });
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

QuitOnSignals::~QuitOnSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
  signalPipe.store(-1);
}

}  // namespace pagewend::shell
