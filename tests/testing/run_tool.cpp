#include "testing/run_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <thread>

#include "testing/temp_dir.h"

extern char** environ;

namespace pagewend::testing {

ToolResult RunTool(const std::vector<std::string>& args) {
  return RunToolInterrupted(args, std::chrono::milliseconds(-1), 0);
}

ToolResult RunToolInterrupted(const std::vector<std::string>& args, std::chrono::milliseconds delay,
                              int signal, const std::filesystem::path& cwd) {
  TempDir dir;
  const auto outPath = (dir / "out").string();
  const auto errPath = (dir / "err").string();
  std::vector<std::string> argv{PAGEWEND_TOOL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargs;
  for (auto& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  // With no delay the signal is sent at once, blocked in the tool from its start: it is pending
  // before the tool can take it, whenever the tool gets there.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (delay.count() == 0) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, signal);
    posix_spawnattr_setsigmask(&attributes, &blocked);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  }
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, cargs[0], &actions, &attributes, cargs.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  int status = 0;
  bool ended = false;
  if (delay.count() == 0) {
    ::kill(pid, signal);
  } else if (delay.count() > 0) {
    std::this_thread::sleep_for(delay);
    ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) ::kill(pid, signal);
  }
  if (!ended && waitpid(pid, &status, 0) != pid) throw std::runtime_error("waitpid failed");
  ToolResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

}  // namespace pagewend::testing
