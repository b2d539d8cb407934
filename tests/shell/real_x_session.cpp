#include "shell/real_x_session.h"

#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <system_error>
#include <thread>

namespace pagewend::shell::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

QString ReadText(const fs::path& file) {
  QFile in(QString::fromStdString(file.string()));
  return in.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(in.readAll()) : QString();
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

StartedProgram::StartedProgram(const QString& program, const QStringList& arguments,
                               const QProcessEnvironment& environment, const fs::path& output)
    : process_(std::make_unique<QProcess>()), output_(QString::fromStdString(output.string())) {
  // Output to a file: a pipe that nothing reads (these tests run no event loop) would fill and
  // stop the program.
  process_->setProcessEnvironment(environment);
  process_->setStandardInputFile(QProcess::nullDevice());
  process_->setStandardOutputFile(output_, QIODevice::Append);
  process_->setStandardErrorFile(output_, QIODevice::Append);
  process_->start(program, arguments);
  process_->waitForStarted(10000);
}

StartedProgram::~StartedProgram() {
  if (Running()) {
    process_->terminate();
    if (!process_->waitForFinished(8000)) {
      process_->kill();
      process_->waitForFinished(3000);
    }
  }
}

std::optional<int> StartedProgram::WaitForExit(std::chrono::milliseconds limit) {
  if (Running() && !process_->waitForFinished(static_cast<int>(limit.count()))) return std::nullopt;
  if (process_->exitStatus() != QProcess::NormalExit) return std::nullopt;
  return process_->exitCode();
}

QString StartedProgram::Output() { return ReadText(output_.toStdString()); }

RealDisplay::RealDisplay() {
  // Xvfb picks a free display and writes its number on the descriptor given.
  server_ = std::make_unique<StartedProgram>(
      "Xvfb",
      QStringList{"-displayfd", "1", "-screen", "0", QStringLiteral("%1x%2x24").arg(kWidth).arg(kHeight),
                  "-nolisten", "tcp"},
      QProcessEnvironment::systemEnvironment(), logs_ / "xvfb.log");
  const QRegularExpression number(QStringLiteral("^(\\d+)$"), QRegularExpression::MultilineOption);
  WaitUntil(
      [&] {
        const auto match = number.match(server_->Output());
        if (match.hasMatch()) name_ = QLatin1Char(':') + match.captured(1);
        return !name_.isEmpty() || !server_->Running();
      },
      15s);
  if (name_.isEmpty()) {
    problem_ = "Xvfb did not start: " + server_->Output().right(2000);
    return;
  }
  windowManager_ =
      std::make_unique<StartedProgram>("openbox", QStringList{}, Environment(), logs_ / "openbox.log");
  // The manager is up once it names its check window on the root.
  const bool managed = WaitUntil(
      [&] {
        const auto check = Run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
        return (check && check->contains(QLatin1String("window id"))) || !windowManager_->Running();
      },
      15s);
  if (!managed || !windowManager_->Running())
    problem_ = "openbox did not start: " + windowManager_->Output().right(2000);
}

RealDisplay::~RealDisplay() {
  windowManager_.reset();
  server_.reset();
}

QProcessEnvironment RealDisplay::Environment() const {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", name_);
  environment.remove("WAYLAND_DISPLAY");
  environment.remove("QT_QPA_PLATFORM");
  return environment;
}

std::optional<QString> RealDisplay::Run(const QString& program, const QStringList& arguments) const {
  QProcess process;
  process.setProcessEnvironment(Environment());
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(program, arguments);
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished(3000);
    return std::nullopt;
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QImage RealDisplay::Screenshot(const fs::path& saveAs) const {
  std::error_code ec;
  fs::create_directories(saveAs.parent_path(), ec);
  const QString file = QString::fromStdString(saveAs.string());
  if (!Run("import", {"-window", "root", file})) return {};
  return QImage(file);
}

void RealDisplay::Click(QPoint at, int button) const {
  Run("xdotool", {"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())});
  // A pause as a hand makes: the page sees the pointer arrive before the button.
  std::this_thread::sleep_for(150ms);
  Run("xdotool", {"click", QString::number(button)});
}

void RealDisplay::Key(const QString& name) const { Run("xdotool", {"key", name}); }

QStringList RealDisplay::Windows(qint64 pid) const {
  const auto found =
      Run("xdotool", {"search", "--all", "--onlyvisible", "--pid", QString::number(pid), "--name", ""});
  return found ? found->split('\n', Qt::SkipEmptyParts) : QStringList{};
}

QString RealDisplay::WindowName(const QString& window) const {
  return Run("xdotool", {"getwindowname", window}).value_or(QString()).trimmed();
}

QRect RealDisplay::WindowGeometry(const QString& window) const {
  const auto shell = Run("xdotool", {"getwindowgeometry", "--shell", window});
  if (!shell) return {};
  QRect rect;
  for (const QString& line : shell->split('\n')) {
    const QString key = line.section('=', 0, 0);
    const int value = line.section('=', 1).toInt();
    if (key == QLatin1String("X")) rect.moveLeft(value);
    if (key == QLatin1String("Y")) rect.moveTop(value);
    if (key == QLatin1String("WIDTH")) rect.setWidth(value);
    if (key == QLatin1String("HEIGHT")) rect.setHeight(value);
  }
  return rect;
}

RealPlayer::RealPlayer(const RealDisplay& display, const QStringList& command, const fs::path& folder)
    : display_(display), temporary_(folder / "tmp") {
  for (const char* name : {"tmp", "state", "runtime"}) {
    fs::create_directories(folder / name);
    fs::permissions(folder / name, fs::perms::owner_all);
  }
  QProcessEnvironment environment = display.Environment();
  environment.insert("TMPDIR", QString::fromStdString(temporary_.string()));
  environment.insert("XDG_STATE_HOME", QString::fromStdString((folder / "state").string()));
  environment.insert("XDG_RUNTIME_DIR", QString::fromStdString((folder / "runtime").string()));
  environment.insert("QT_QPA_PLATFORM", "xcb");
  // Chromium's sandbox cannot run as root.
  if (::geteuid() == 0) environment.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
  program_ =
      std::make_unique<StartedProgram>(command.first(), command.mid(1), environment, folder / "player.log");
}

std::optional<fs::path> RealPlayer::WorkingFolder() const {
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(temporary_, ec))
    if (fs::exists(entry.path() / "files/Log/log1.txt", ec)) return entry.path();
  return std::nullopt;
}

bool RealPlayer::WaitForMovie(std::chrono::milliseconds limit) {
  return WaitForLog(QStringLiteral("the movie's first frame is shown"), limit);
}

bool RealPlayer::WaitForLog(const QString& text, std::chrono::milliseconds limit) {
  return WaitUntil(
             [&] {
               const auto folder = WorkingFolder();
               return (folder && ReadText(*folder / "files/Log/log1.txt").contains(text)) ||
                      !program_->Running();
             },
             limit) &&
         program_->Running();
}

bool RealPlayer::WaitForWindow(std::chrono::milliseconds limit) {
  return WaitUntil(
      [&] {
        const QStringList windows = display_.Windows(program_->Pid());
        if (!windows.isEmpty()) window_ = windows.first();
        return !windows.isEmpty();
      },
      limit);
}

QString RealPlayer::Diagnostics() {
  QString text = "--- the player's output:\n" + program_->Output().right(3000);
  if (const auto folder = WorkingFolder())
    text += "\n--- the run's log:\n" + ReadText(*folder / "files/Log/log1.txt").right(3000);
  return text;
}

}  // namespace pagewend::shell::testing
