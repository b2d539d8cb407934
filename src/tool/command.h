#pragma once

#include <CLI/CLI.hpp>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "book/unpacked_book.h"
#include "support/folder_tree.h"
#include "support/notifier.h"
#include "support/system_settings.h"

namespace pagewend::book {
class UnpackRun;
}

namespace pagewend::tool {

class InterruptWatch;

// Exit codes: 0 the work is done, 1 the work failed, 2 the command line was wrong; a run ended
// by a signal exits with 128 + the signal's number, as a shell reports it.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What a command works on: a file (a BOOK, or a FILE that may also be a bare document or movie)
// or a folder. The entry checks it before the command runs and names it in every message.
enum class Input { File, Folder };

// A subcommand: its parser, what it works on, and what runs when it was the one named. run
// returns an exit code and may throw; the entry prints the exception as
// "pagewend COMMAND: SUBJECT: what is wrong" on stderr and returns kExitFailure.
struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
  std::shared_ptr<const std::string> subject;
  Input input = Input::File;
};

// A failure told in the user's words, with an optional second line of detail (the run log's
// own line, say).
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& what, std::string detail = {})
      : std::runtime_error(what), detail_(std::move(detail)) {}
  const std::string& Detail() const { return detail_; }

 private:
  std::string detail_;
};

// What most commands take: one file and, where the command prints a listing, --json.
struct FileArgs {
  std::string file;
  bool json = false;
};

struct FileCommand {
  CLI::App* app = nullptr;
  std::shared_ptr<const FileArgs> args;
  // Command{app, run, subject} for the run the caller writes.
  Command With(std::function<int()> run) const;
};

// Adds a subcommand with its required file argument (named argName, "BOOK" or "FILE") and, when
// jsonHelp is given, the --json flag. The caller adds its own options to app.
inline constexpr const char* kJsonHelp = "Print one JSON object (its keys: man pagewend)";
FileCommand AddFileCommand(CLI::App& app, const std::string& name, const std::string& description,
                           const std::string& argName, const std::string& argHelp,
                           const char* jsonHelp = nullptr);

// Adds --decimal-separator C; the returned function gives the user's locale with C in place of
// its separator when C was given.
std::function<SystemSettings()> AddLocaleOption(CLI::App& app, const std::string& help);

// Every --json output: one object whose first key is "format", the version of the keys' meaning;
// keys are snake_case; text that is not valid UTF-8 is printed with U+FFFD in place of the bad bytes.
inline constexpr int kJsonFormat = 1;
void PrintJson(const nlohmann::ordered_json& object);

// Removes a folder it holds when it goes, unless released: what a command builds beside its
// target is gone whatever ends the command.
class FolderGuard {
 public:
  explicit FolderGuard(std::filesystem::path folder) : folder_(std::move(folder)) {}
  ~FolderGuard();
  FolderGuard(const FolderGuard&) = delete;
  FolderGuard& operator=(const FolderGuard&) = delete;
  void Release() { folder_.clear(); }

 private:
  std::filesystem::path folder_;
};

// Throws unless target may become a command's output folder: it is missing, empty, or force is
// given (and it is a folder), and it does not hold the book. done says when it would be replaced:
// "once the book is DONE". Returns the folder to replace: target, or where a link there leads.
std::filesystem::path CheckOutputFolder(const std::filesystem::path& target,
                                        const std::filesystem::path& book, bool force,
                                        const std::string& done);

// Makes a fresh PartialSibling (support/folder_tree.h) of target, private to the user (0700), and names it on
// failure.
std::filesystem::path MakePartialSibling(const std::filesystem::path& target);

// Puts the finished folder in the target's place. An earlier target goes only once the new one
// stands where it stood.
void ReplaceFolder(const std::filesystem::path& target, const std::filesystem::path& finished);

struct Unpacked {
  // The signal that ended the run, or 0 when it ran to its end.
  int signal = 0;
  // The loaded book; nothing when the run did not load it.
  std::optional<book::UnpackedBook> book;
};

// Runs an unpack that an interrupt (Ctrl-C, SIGTERM, SIGHUP) stops at its next check. A failure
// throws ToolError in the user's words for its kind, with the run's own words as its detail.
// endBar is called first whenever the run ends early.
Unpacked RunInterruptibly(book::UnpackRun& run, InterruptWatch& interrupts,
                          const std::function<void()>& endBar);

// What a command says on stderr when a signal ended it before it wrote anything; the exit code
// for that signal.
int Interrupted(std::string_view command, const std::string& book, int signal);

// A command's progress on a terminal, on stderr: "\r[####....]  42%  page 12 of 30, about 20 s
// left". The time left is told once the work has gone on for a second.
class ProgressBar {
 public:
  // done of total; counts, when given, says what is counted ("page 12 of 30").
  void Draw(int done, int total, std::string_view counts = {});

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::size_t width_ = 0;
};

// Prints what the core would show a user, on stderr.
class StderrNotifier final : public Notifier {
 public:
  void Notify(std::string_view message) override;
};

// One registration function per subcommand, each in its own file.
Command AddSwfCommand(CLI::App& app);
Command AddLocateCommand(CLI::App& app);
Command AddExtractCommand(CLI::App& app);
Command AddExportCommand(CLI::App& app);
Command AddInfoCommand(CLI::App& app);
Command AddPackCommand(CLI::App& app);
Command AddSettingsCommand(CLI::App& app);
Command AddBookXmlCommand(CLI::App& app);

}  // namespace pagewend::tool
