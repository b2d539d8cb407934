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
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  int status = 0;
  bool ended = false;
  if (delay.count() >= 0) {
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
