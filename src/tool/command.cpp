#include "tool/command.h"

#include "book/book_check.h"

#include <sys/stat.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "book/unpack_run.h"
#include "support/folder_tree.h"
#include "support/guid.h"
#include "support/text.h"
#include "tool/interrupt.h"

namespace pagewend::tool {

FileCommand AddFileCommand(CLI::App& app, const std::string& name, const std::string& description,
                           const std::string& argName, const std::string& argHelp, const char* jsonHelp) {
  auto args = std::make_shared<FileArgs>();
  CLI::App* sub = app.add_subcommand(name, description);
  sub->add_option(argName, args->file, argHelp)->required();
  if (jsonHelp) sub->add_flag("--json", args->json, jsonHelp);
  return {sub, args};
}

Command FileCommand::With(std::function<int()> run) const {
  return {app, std::move(run), std::shared_ptr<const std::string>(args, &args->file), Input::File};
}

std::function<SystemSettings()> AddLocaleOption(CLI::App& app, const std::string& help) {
  auto separator = std::make_shared<std::string>();
  app.add_option("--decimal-separator", *separator, help)->check([](const std::string& value) {
    return value.size() == 1 ? std::string() : std::string("a single character is expected");
  });
  return [separator] {
    SystemSettings locale = SystemSettings::FromUserLocale();
    if (!separator->empty()) locale.decimalSeparator = separator->front();
    return locale;
  };
}

void PrintJson(const nlohmann::ordered_json& object) {
  nlohmann::ordered_json out{{"format", kJsonFormat}};
  for (const auto& [key, value] : object.items()) out[key] = value;
  std::cout << out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

FolderGuard::~FolderGuard() {
  if (!folder_.empty()) DeleteFolderTree(folder_);
}

std::filesystem::path CheckOutputFolder(const std::filesystem::path& given, const std::filesystem::path& book,
                                        bool force, const std::string& done) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target = given;
  // A link given as the folder is followed: the folder it leads to is replaced, the link stays.
  if (fs::is_symlink(fs::symlink_status(given, ec))) {
    target = fs::canonical(given, ec);
    if (ec) throw ToolError(fmt::format("{} is a link that leads nowhere", given.string()));
  }
  if (fs::exists(fs::symlink_status(target, ec)) && !fs::is_directory(target, ec))
    throw ToolError(fmt::format("{} exists and is not a folder", given.string()));
  if (fs::exists(target, ec) && !fs::is_empty(target, ec) && !force)
    throw ToolError(
        fmt::format("{} is not empty (use --force to replace it once the book is {})", given.string(), done));
  // Replacing a folder that holds the book would delete the book with it.
  if (fs::exists(target, ec)) {
    const fs::path folder = fs::canonical(target, ec);
    std::error_code bookEc;
    const fs::path file = fs::weakly_canonical(book, bookEc);
    if (!ec && !bookEc &&
        std::mismatch(folder.begin(), folder.end(), file.begin(), file.end()).first == folder.end())
      throw ToolError(fmt::format("{} holds the book itself; choose another output folder", given.string()));
  }
  return target;
}

std::filesystem::path MakePartialSibling(const std::filesystem::path& target) {
  const std::filesystem::path partial = PartialSibling(target);
  std::filesystem::create_directories(partial.parent_path());
  if (::mkdir(partial.c_str(), 0700) != 0)
    throw ToolError(fmt::format("{}: cannot make the folder: {}", partial.string(), std::strerror(errno)));
  return partial;
}

void ReplaceFolder(const std::filesystem::path& target, const std::filesystem::path& finished) {
  std::error_code ec;
  if (!std::filesystem::exists(target, ec)) {
    std::filesystem::rename(finished, target);
    return;
  }
  const std::filesystem::path old = PartialSibling(target);
  std::filesystem::rename(target, old);
  try {
    std::filesystem::rename(finished, target);
  } catch (...) {
    std::filesystem::rename(old, target, ec);
    throw;
  }
  DeleteFolderTree(old);
}

int Interrupted(std::string_view command, const std::string& book, int signal) {
  std::fprintf(stderr, "pagewend %.*s: %s: interrupted; nothing was written\n",
               static_cast<int>(command.size()), command.data(), book.c_str());
  return 128 + signal;
}

void ProgressBar::Draw(int done, int total, std::string_view counts) {
  if (total <= 0) return;
  const int percent = std::clamp(static_cast<int>(std::int64_t{done} * 100 / total), 0, 100);
  const int filled = percent * 40 / 100;
  std::string line = fmt::format("\r[{}{}] {:3}%", std::string(static_cast<std::size_t>(filled), '#'),
                                 std::string(static_cast<std::size_t>(40 - filled), '.'), percent);
  if (!counts.empty()) line += fmt::format("  {}", counts);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (done > 0 && done < total && elapsed >= 1.0) {
    const double left = elapsed * (total - done) / done;
    line += left < 90 ? fmt::format(", about {} s left", static_cast<int>(left + 0.5))
                      : fmt::format(", about {} min left", static_cast<int>(left / 60 + 0.5));
  }
  // A shorter line than the last leaves none of the last behind.
  const std::size_t width = line.size();
  if (width < width_) line.append(width_ - width, ' ');
  width_ = width;
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void StderrNotifier::Notify(std::string_view message) {
  std::fprintf(stderr, "pagewend: %s\n", ForTerminal(message, true).c_str());
}

Unpacked RunInterruptibly(book::UnpackRun& run, InterruptWatch& interrupts,
                          const std::function<void()>& endBar) {
  interrupts.OnInterrupt([&run](int) { run.Stop(); });
  // The watcher lives longer than the run: it must stop reaching for it before the run goes.
  const struct Unhook {
    InterruptWatch& watch;
    ~Unhook() { watch.OnInterrupt({}); }
  } unhook{interrupts};
  Unpacked unpacked;
  try {
    unpacked.book = run.Run();
  } catch (const book::BookFailure& failure) {
    endBar();
    if (interrupts.Signal() != 0) return {interrupts.Signal(), {}};
    const book::BookError& error = failure.Error();
    switch (error.kind) {
      case book::BookErrorKind::Missing:
      case book::BookErrorKind::Folder:
      case book::BookErrorKind::Unreadable:
        throw ToolError(error.detail);
      case book::BookErrorKind::NotABook:
        // The detail says the file "is" what it is; the tool's line names it before a colon.
        throw ToolError(error.detail.substr(error.detail.starts_with("is ") ? 3 : 0));
      case book::BookErrorKind::NoRoom:
        throw ToolError("there is not enough room on the disk to unpack the book", error.detail);
      case book::BookErrorKind::OverBudget:
        throw ToolError("the book asks for more room than twice its own size, so it was not unpacked",
                        error.detail);
      case book::BookErrorKind::Damaged:
      case book::BookErrorKind::Stopped:
        break;
    }
    throw ToolError("the book could not be unpacked", error.detail);
  }
  unpacked.signal = interrupts.Signal();
  if (unpacked.signal != 0) endBar();
  return unpacked;
}

}  // namespace pagewend::tool
