#include <unistd.h>

#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "log/quorvel_log.h"
#include "package/book_packer.h"
#include "package/project_opener.h"
#include "paths/path_getter.h"
#include "tool/command.h"

namespace pagewend::tool {
namespace {

namespace fs = std::filesystem;

// Tells the user how the unpacking goes: each event on stdout with --events, and on a terminal
// a title line and a progress bar on stderr.
class ExtractListener final : public package::BookListener {
 public:
  ExtractListener(bool events, bool terminal) : events_(events), terminal_(terminal) {}

  void BookTitle(const std::string& title) override {
    if (events_) std::cout << "WM_BOOK_TITLE " << title << std::endl;
    if (terminal_) std::fprintf(stderr, "%s\n", title.empty() ? "(untitled book)" : title.c_str());
  }
  void BookProgress(int done, int total) override {
    if (events_) std::cout << "WM_BOOK_PROGRESS " << done << ' ' << total << std::endl;
    if (terminal_ && total > 0) {
      const int percent = done * 100 / total;
      const int filled = percent * 40 / 100;
      std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                   std::string(static_cast<std::size_t>(40 - filled), '.').c_str(), percent);
      std::fflush(stderr);
    }
  }
  void BookLoaded() override {
    loaded_ = true;
    if (events_) std::cout << "WM_BOOK_LOADED" << std::endl;
    EndBar();
  }
  void EndBar() {
    if (terminal_) std::fprintf(stderr, "\n");
    terminal_ = false;
  }
  bool Loaded() const { return loaded_; }

 private:
  bool events_;
  bool terminal_;
  bool loaded_ = false;
};

struct Totals {
  std::size_t files = 0;
  std::uintmax_t bytes = 0;
};

Totals Count(const fs::path& folder) {
  Totals totals;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec)) {
      ++totals.files;
      totals.bytes += it->file_size(ec);
    }
  }
  return totals;
}

}  // namespace

Command AddExtractCommand(CLI::App& app) {
  auto* sub = app.add_subcommand("extract",
                                 "Unpack a book into a folder: every file, the mobile images and "
                                 "the page thumbnails, with the run log in DIR/files/Log/log1.txt.");
  struct Options {
    std::string book;
    std::string dir;
    bool events = false;
    unsigned jobs = 0;
    bool force = false;
    bool keepDocuments = false;
  };
  auto o = std::make_shared<Options>();
  sub->add_option("BOOK", o->book, "A book executable or a bare package")->required();
  sub->add_option("-o,--output", o->dir, "The working folder to unpack into (default: ./NAME)");
  sub->add_flag("--events", o->events, "Write each reader event to stdout as it happens");
  sub->add_option("--jobs", o->jobs, "Workers for the page images (default: one per core)")
      ->check(CLI::Range(1u, 256u));
  sub->add_flag("--force", o->force, "Unpack into DIR even when it is not empty");
  sub->add_flag(
      "--keep-documents", o->keepDocuments,
      "Also write the two documents as they are in the package, as DIR/project.xml and DIR/book.xml "
      "(what `pack` reads)");

  return {
      sub, [o] {
        const auto start = std::chrono::steady_clock::now();
        const fs::path dir = o->dir.empty() ? fs::path(o->book).stem() : fs::path(o->dir);
        std::error_code ec;
        if (fs::exists(dir, ec) && !fs::is_empty(dir, ec) && !o->force)
          throw std::runtime_error(fmt::format(
              "{}: the folder is not empty (use --force to unpack into it anyway)", dir.string()));

        const PathGetter paths = PathGetter::AtFolder(dir);
        paths.CreateWorkingFolders();
        const fs::path logFolder = PathGetter::FilesFolder(paths.WorkingFolder(true)) / "Log";
        fs::create_directory(logFolder, ec);
        const TQuorvelLog log(logFolder / "log1.txt");

        ExtractListener listener(o->events, ::isatty(STDERR_FILENO) == 1);
        StderrNotifier notifier;
        package::OpenerOptions options;
        options.settings = SystemSettings::FromUserLocale();
        options.jobs = o->jobs;
        package::TProjectOpener opener(listener, notifier, paths, &log, options);
        try {
          opener.Open(o->book);
          opener.SplitAll();
        } catch (const std::exception& e) {
          listener.EndBar();
          throw std::runtime_error(fmt::format("{}: {}", o->book, e.what()));
        }
        listener.EndBar();
        if (o->keepDocuments) package::KeepDocuments(o->book, paths.WorkingFolder(true));
        if (!listener.Loaded())
          throw std::runtime_error(fmt::format("{}: the run stopped before the book was loaded", o->book));
        const Totals totals = Count(dir);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "%s: %zu files, %ju bytes in %.2f s\n", dir.string().c_str(), totals.files,
                     totals.bytes, seconds);
        return kExitOk;
      }};
}

}  // namespace pagewend::tool
