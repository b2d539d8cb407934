#include "tool/command.h"

#include <cstdio>

namespace pagewend::tool {

FileCommand AddFileCommand(CLI::App& app, const std::string& name, const std::string& description,
                           const std::string& argName, const std::string& argHelp, const char* jsonHelp) {
  auto args = std::make_shared<FileArgs>();
  CLI::App* sub = app.add_subcommand(name, description);
  sub->add_option(argName, args->file, argHelp)->required();
  if (jsonHelp) sub->add_flag("--json", args->json, jsonHelp);
  return {sub, args};
}

void StderrNotifier::Notify(std::string_view message) {
  std::fprintf(stderr, "pagewend: %.*s\n", static_cast<int>(message.size()), message.data());
}

}  // namespace pagewend::tool
