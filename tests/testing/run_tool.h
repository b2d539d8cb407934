#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace pagewend::testing {

struct ToolResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the built pagewend tool with args and collects its exit code and output.
ToolResult RunTool(const std::vector<std::string>& args);
// The same, in the folder cwd when one is given, sending the tool `signal` after `delay` (when
// positive) unless it has ended by then; with a delay of 0, at once, pending in the tool from its
// start until it takes the signal.
ToolResult RunToolInterrupted(const std::vector<std::string>& args, std::chrono::milliseconds delay,
                              int signal, const std::filesystem::path& cwd = {});

}  // namespace pagewend::testing
