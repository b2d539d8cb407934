#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/unique_fd.h"

namespace pagewend::player {

enum class StartKind {
  Ordinary,     // any name not ending in ".scr"
  ScreenSaver,  // ".scr" asked to run ("/S")
  Exit,         // ".scr" asked to configure or preview, or asked nothing
};

struct StartDecision {
  StartKind kind = StartKind::Exit;
  // The first two characters of the upper-cased first argument, in ".scr" mode only.
  std::string screenSaverMode;
  // The file whose package is played: the player's own file, or in ordinary mode a book file
  // named by the first argument.
  std::filesystem::path bookFile;
};

// invokedAs is argument 0 (its extension decides the mode, so a copy or link named "*.scr" is a
// screen saver); ownFile is the player's own executable; args are the arguments after argument 0.
StartDecision DecideStart(const std::filesystem::path& invokedAs, const std::filesystem::path& ownFile,
                          const std::vector<std::string>& args);

// Where the screen saver's single-instance lock lives: the user's runtime folder, else the
// system temporary folder, + "QuorvelScreenSaver".
std::filesystem::path ScreenSaverLockPath();

// An exclusive advisory lock on a file, held for the object's life. The kernel drops it when the
// process ends however it ends, so a crashed saver never blocks the next one. The file itself is
// left in place: removing it would let two processes lock two different files of the same name.
class SingleInstanceLock {
 public:
  // Nothing when another process (or another holder in this one) has the lock.
  static std::optional<SingleInstanceLock> TryAcquire(const std::filesystem::path& path);

 private:
  explicit SingleInstanceLock(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

}  // namespace pagewend::player
