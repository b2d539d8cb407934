#include <cstdio>
#include <exception>
#include <string>

#include "tool/command.h"

int main(int argc, char** argv) {
  using namespace pagewend::tool;
  CLI::App app{"pagewend: inspect, unpack and make packaged page-turning books.", "pagewend"};
  app.set_version_flag("--version", std::string("pagewend ") + PAGEWEND_VERSION);
  app.require_subcommand(1);
  app.failure_message(CLI::FailureMessage::help);

  const std::vector<Command> commands = {
      // clang-format off
      AddExtractCommand(app),
      AddInfoCommand(app),
      AddPackCommand(app),
      AddSettingsCommand(app),
      AddBookXmlCommand(app),
      AddLocateCommand(app),
      AddSwfCommand(app),
      // clang-format on
  };

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }

  for (const Command& command : commands) {
    if (!command.app->parsed()) continue;
    try {
      return command.run();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "pagewend %s: %s\n", command.app->get_name().c_str(), e.what());
      return kExitFailure;
    }
  }
  return kExitUsage;
}
