#include "player/start_mode.h"

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <system_error>

#include "support/text.h"

namespace pagewend::player {

namespace fs = std::filesystem;

namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

StartDecision DecideStart(const fs::path& invokedAs, const fs::path& ownFile,
                          const std::vector<std::string>& args) {
  StartDecision decision;
  const std::string extension = Lower(invokedAs.extension().string());
  decision.bookFile = ownFile;
  if (extension != ".scr") {
    decision.kind = StartKind::Ordinary;
    if (!args.empty() && !args.front().empty()) decision.bookFile = args.front();
    return decision;
  }
  decision.screenSaverMode = args.empty() ? std::string() : Upper(args.front()).substr(0, 2);
  decision.kind = decision.screenSaverMode == "/S" ? StartKind::ScreenSaver : StartKind::Exit;
  return decision;
}

fs::path ScreenSaverLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code ec;
  if (runtime != nullptr && *runtime != '\0' && fs::is_directory(runtime, ec))
    return fs::path(runtime) / "QuorvelScreenSaver";
  return fs::temp_directory_path() / "QuorvelScreenSaver";
}

std::optional<SingleInstanceLock> SingleInstanceLock::TryAcquire(const fs::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd.Valid())
    throw std::system_error(errno, std::generic_category(), "cannot open lock " + path.string());
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return std::nullopt;
    throw std::system_error(errno, std::generic_category(), "cannot lock " + path.string());
  }
  return SingleInstanceLock(std::move(fd));
}

}  // namespace pagewend::player
