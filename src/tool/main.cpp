#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "support/large_buffers.h"
#include "support/text.h"
#include "tool/command.h"

namespace {

using namespace pagewend::tool;
namespace fs = std::filesystem;

// The first word that is not an option: the command the user meant.
const char* FirstWord(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (argv[i][0] != '-') return argv[i];
  return nullptr;
}

// A usage error in one line, pointing at the help that explains it.
int UsageError(const CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
  const char* word = FirstWord(argc, argv);
  const bool known = word != nullptr &&
                     !app.get_subcommands([&](const CLI::App* sub) { return sub->check_name(word); }).empty();
  if (word != nullptr && !known) {
    std::fprintf(stderr, "pagewend: '%s' is not a pagewend command. See 'pagewend --help'.\n", word);
    return kExitUsage;
  }
  const auto parsed = app.get_subcommands();
  if (word == nullptr || parsed.empty()) {
    std::fprintf(stderr, "pagewend: %s. See 'pagewend --help'.\n",
                 argc == 1 ? "a command is required" : e.what());
    return kExitUsage;
  }
  const CLI::App& sub = *parsed.front();
  const std::string name = sub.get_name();
  // An option the command does not know is the fault to name, whatever else CLI11 met first
  // ("BOOK is required" for "extract --hlep").
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg.size() > 2)) continue;
    const std::string option(arg.substr(0, arg.find('=')));
    if (sub.get_option_no_throw(option) == nullptr && app.get_option_no_throw(option) == nullptr) {
      std::fprintf(stderr, "pagewend %s: unknown option %s. See 'pagewend %s --help'.\n", name.c_str(),
                   pagewend::ForTerminal(option).c_str(), name.c_str());
      return kExitUsage;
    }
  }
  std::fprintf(stderr, "pagewend %s: %s. See 'pagewend %s --help'.\n", name.c_str(), e.what(), name.c_str());
  return kExitUsage;
}

// Why the command cannot start on its subject, or nothing.
std::string InputProblem(const std::string& subject, Input input) {
  std::error_code ec;
  const fs::file_status status = fs::status(subject, ec);
  if (!fs::exists(status)) return input == Input::Folder ? "no such folder" : "no such file";
  if (input == Input::File && fs::is_directory(status)) return "is a folder, not a file";
  if (input == Input::Folder && !fs::is_directory(status)) return "is not a folder";
  if (::access(subject.c_str(), R_OK) != 0) return "cannot be read (permission denied)";
  return {};
}

// The core's messages often begin with the file they are about, or name files inside the folder
// a command works on by their full path; the entry names the subject once.
std::string WithoutSubject(std::string_view message, const std::string& subject) {
  const std::string prefix = subject + ": ";
  while (!subject.empty() && message.starts_with(prefix)) message.remove_prefix(prefix.size());
  std::string out(message);
  if (subject.empty()) return out;
  // The subject's folder as given and as a full path, where a path begins: "c2/" is not to be
  // taken out of "/tmp/c2/project.xml", which then names another file.
  const auto folderOf = [](fs::path path) {
    path = path.lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path.string() + "/";
  };
  const std::string given = folderOf(subject);
  const std::string full = folderOf(fs::absolute(subject));
  const auto startsPath = [&out](std::size_t at) {
    if (at == 0) return true;
    const char before = out[at - 1];
    return before == ' ' || before == '"' || before == '\'' || before == '(';
  };
  for (const std::string& inside : {full, given}) {
    for (std::size_t at = 0; (at = out.find(inside, at)) != std::string::npos;) {
      if (startsPath(at))
        out.erase(at, inside.size());
      else
        at += inside.size();
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  pagewend::KeepLargeBuffers();
  CLI::App app{"pagewend: inspect, unpack and make packaged page-turning books.", "pagewend"};
  app.set_version_flag("--version", std::string("pagewend ") + PAGEWEND_VERSION);
  app.require_subcommand(1);

  // "pagewend help [COMMAND]" is "pagewend [COMMAND] --help".
  std::vector<std::string> helpArgs;
  if (argc >= 2 && std::string_view(argv[1]) == "help") {
    helpArgs = {argv[0]};
    for (int i = 2; i < argc; ++i) helpArgs.emplace_back(argv[i]);
    helpArgs.emplace_back("--help");
  }
  std::vector<char*> helpArgv;
  for (std::string& arg : helpArgs) helpArgv.push_back(arg.data());
  if (!helpArgv.empty()) {
    argc = static_cast<int>(helpArgv.size());
    argv = helpArgv.data();
  }

  const std::vector<Command> commands = {
      // clang-format off
      AddExtractCommand(app),
      AddExportCommand(app),
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
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    return UsageError(app, e, argc, argv);
  }

  for (const Command& command : commands) {
    if (!command.app->parsed()) continue;
    const std::string name = command.app->get_name();
    const std::string subject = command.subject ? *command.subject : std::string();
    try {
      if (const std::string problem = InputProblem(subject, command.input); !problem.empty())
        throw ToolError(problem);
      const int code = command.run();
      // What could not be written (a full disk, a closed pipe's end) is a failure, not a result.
      std::cout.flush();
      if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout))
        throw ToolError(fmt::format("cannot write the output: {}", std::strerror(errno ? errno : EIO)));
      return code;
    } catch (const std::exception& e) {
      const std::string what = WithoutSubject(e.what(), subject);
      // Messages name what a book holds: nothing of it reaches the terminal as an escape.
      std::fprintf(stderr, "pagewend %s: %s: %s\n", name.c_str(), pagewend::ForTerminal(subject).c_str(),
                   pagewend::ForTerminal(what).c_str());
      if (const auto* error = dynamic_cast<const ToolError*>(&e);
          error != nullptr && !error->Detail().empty())
        std::fprintf(stderr, "  %s\n", pagewend::ForTerminal(error->Detail()).c_str());
      return kExitFailure;
    }
  }
  return kExitUsage;
}
