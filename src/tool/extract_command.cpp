#include <unistd.h>

#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "book/book_documents.h"
#include "book/unpack_run.h"
#include "tool/command.h"

namespace pagewend::tool {
namespace {

namespace fs = std::filesystem;

// Tells the user how the unpacking goes: each event on stdout with --events, and on a terminal
// a title line and a progress bar on stderr.
class ExtractListener final : public book::BookListener {
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
  const FileCommand c = AddFileCommand(app, "extract",
                                       "Unpack a book into a folder: every file, the mobile images and "
                                       "the page thumbnails, with the run log in DIR/files/Log/log1.txt.",
                                       "BOOK", "A book executable or a bare package");
  CLI::App* sub = c.app;
  struct Options {
    std::string dir;
    bool events = false;
    unsigned jobs = 0;
    bool force = false;
    bool keepDocuments = false;
  };
  auto o = std::make_shared<Options>();
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
      sub, [args = c.args, o] {
        const auto start = std::chrono::steady_clock::now();
        const fs::path dir = o->dir.empty() ? fs::path(args->file).stem() : fs::path(o->dir);
        std::error_code ec;
        if (fs::exists(dir, ec) && !fs::is_empty(dir, ec) && !o->force)
          throw std::runtime_error(fmt::format(
              "{}: the folder is not empty (use --force to unpack into it anyway)", dir.string()));

        ExtractListener listener(o->events, ::isatty(STDERR_FILENO) == 1);
        StderrNotifier notifier;
        book::UnpackSetup setup;
        setup.bookFile = args->file;
        setup.workingFolder = dir;
        setup.options.settings = SystemSettings::FromUserLocale();
        setup.options.jobs = o->jobs;
        book::UnpackRun run(std::move(setup), listener, notifier);
        try {
          run.Run();
        } catch (const std::exception& e) {
          listener.EndBar();
          throw std::runtime_error(fmt::format("{}: {}", args->file, e.what()));
        }
        listener.EndBar();
        if (o->keepDocuments) book::KeepDocuments(args->file, run.Paths().WorkingFolder(true));
        if (!listener.Loaded())
          throw std::runtime_error(fmt::format("{}: the run stopped before the book was loaded", args->file));
        const Totals totals = Count(dir);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "%s: %zu files, %ju bytes in %.2f s\n", dir.string().c_str(), totals.files,
                     totals.bytes, seconds);
        return kExitOk;
      }};
}

}  // namespace pagewend::tool
