#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "book/book_documents.h"
#include "book/unpack_run.h"
#include "support/folder_tree.h"
#include "support/text.h"
#include "tool/book_source.h"
#include "tool/command.h"
#include "tool/interrupt.h"

namespace pagewend::tool {
namespace {

namespace fs = std::filesystem;

// Tells the user how the unpacking goes: each event on stdout with --events, and on a terminal
// a title line and a progress bar on stderr.
class ExtractListener final : public book::BookListener {
 public:
  ExtractListener(bool events, bool terminal) : events_(events), terminal_(terminal) {}

  void BookTitle(const std::string& title) override {
    if (events_) std::cout << "WM_BOOK_TITLE " << ForTerminal(title) << std::endl;
    if (terminal_)
      std::fprintf(stderr, "%s\n", title.empty() ? "(untitled book)" : ForTerminal(title).c_str());
  }
  void BookProgress(int done, int total) override {
    if (events_) std::cout << "WM_BOOK_PROGRESS " << done << ' ' << total << std::endl;
    if (terminal_) bar_.Draw(done, total);
  }
  void BookLoaded(const book::UnpackedBook&) override {
    if (events_) std::cout << "WM_BOOK_LOADED" << std::endl;
    EndBar();
  }
  void EndBar() {
    if (terminal_) std::fprintf(stderr, "\n");
    terminal_ = false;
  }

 private:
  bool events_;
  bool terminal_;
  ProgressBar bar_;
};

// The default output of BOOK: its name without the extension, in the current folder; a book
// without an extension gets NAME.d, which can never be the book itself.
fs::path DefaultFolder(const fs::path& book) {
  const fs::path name = book.filename();
  return name.has_extension() ? name.stem() : fs::path(name.string() + ".d");
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
  sub->add_option(
      "-o,--output", o->dir,
      "The folder to unpack into (default: ./NAME for NAME.EXT, ./NAME.d for a book without an extension)");
  sub->add_flag("--events", o->events, "Write each reader event to stdout as it happens");
  sub->add_option("--jobs", o->jobs, "Workers for the page images (1 to 256; default: one per core)")
      ->check(CLI::Range(1u, 256u).description(""))
      ->type_name("N");
  sub->add_flag("--force", o->force, "Replace DIR when it is not empty, once the book is unpacked");
  sub->add_flag(
      "--keep-documents", o->keepDocuments,
      "Also write the two documents as they are in the package, as DIR/project.xml and DIR/book.xml "
      "(what `pack` reads)");

  return c.With([args = c.args, o] {
    const auto start = std::chrono::steady_clock::now();
    const fs::path target = CheckOutputFolder(o->dir.empty() ? DefaultFolder(args->file) : fs::path(o->dir),
                                              args->file, o->force, "unpacked");
    {
      const package::PackageFile file(args->file);
      LocateBook(file);
    }

    // The book is unpacked beside the target and moved into place once it has loaded, so that a
    // failure, Ctrl-C or a closed terminal leaves the target as it was and nothing half-written.
    InterruptWatch interrupts;
    // Private, as the player's run folders are: 0700, and the files 0600.
    const fs::path partial = MakePartialSibling(target);
    FolderGuard guard(partial);
    ExtractListener listener(o->events, ::isatty(STDERR_FILENO) == 1);
    StderrNotifier notifier;
    book::UnpackSetup setup;
    setup.bookFile = args->file;
    setup.workingFolder = partial;
    // The files are known by the target's name once the run is over.
    setup.options.shownFolder = fs::absolute(target).lexically_normal();
    setup.options.settings = SystemSettings::FromUserLocale();
    setup.options.jobs = o->jobs;
    book::UnpackRun run(std::move(setup), listener, notifier);
    const Unpacked unpacked = RunInterruptibly(run, interrupts, [&listener] { listener.EndBar(); });
    if (unpacked.signal != 0) return Interrupted("extract", args->file, unpacked.signal);
    listener.EndBar();
    if (!unpacked.book) throw ToolError("the run stopped before the book was loaded");
    if (o->keepDocuments) book::KeepDocuments(args->file, partial);
    ReplaceFolder(target, partial);
    guard.Release();

    const FolderTotals totals = CountFolderTree(target);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t lacking = unpacked.book->pagesWithoutImages;
    const std::string pages =
        lacking == 0 ? std::string()
                     : fmt::format("; {} page{} without all {} images (see files/Log/log1.txt)", lacking,
                                   lacking == 1 ? "" : "s", lacking == 1 ? "its" : "their");
    std::fprintf(stderr, "%s: %zu files, %ju bytes in %.2f s%s\n", target.string().c_str(), totals.files,
                 totals.bytes, seconds, pages.c_str());
    return kExitOk;
  });
}

}  // namespace pagewend::tool
