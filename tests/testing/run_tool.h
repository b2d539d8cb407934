#pragma once

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

}  // namespace pagewend::testing
