#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/notifier.h"

namespace pagewend::tool {

// Exit codes: 0 the work is done, 1 the work failed, 2 the command line was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A subcommand: its parser, and what runs when it was the one named. run returns an exit code
// and may throw; the entry turns an exception into a message on stderr and kExitFailure.
struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

// What most commands take: one file (a BOOK, or a FILE that may also be a bare document or movie)
// and, where the command prints a listing, --json.
struct FileArgs {
  std::string file;
  bool json = false;
};

struct FileCommand {
  CLI::App* app = nullptr;
  std::shared_ptr<const FileArgs> args;
};

// Adds a subcommand with its required file argument (named argName, "BOOK" or "FILE") and, when
// jsonHelp is given, the --json flag. The caller adds its own options to app and gives run args.
inline constexpr const char* kJsonHelp = "Print one JSON object";
FileCommand AddFileCommand(CLI::App& app, const std::string& name, const std::string& description,
                           const std::string& argName, const std::string& argHelp,
                           const char* jsonHelp = nullptr);

// Prints what the core would show a user, on stderr.
class StderrNotifier final : public Notifier {
 public:
  void Notify(std::string_view message) override;
};

// One registration function per subcommand, each in its own file.
Command AddSwfCommand(CLI::App& app);
Command AddLocateCommand(CLI::App& app);
Command AddExtractCommand(CLI::App& app);
Command AddInfoCommand(CLI::App& app);
Command AddPackCommand(CLI::App& app);
Command AddSettingsCommand(CLI::App& app);
Command AddBookXmlCommand(CLI::App& app);

}  // namespace pagewend::tool
