#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "book/unpack_run.h"
#include "book/unpacked_book.h"
#include "reading/book_pages.h"
#include "support/folder_tree.h"
#include "support/text.h"
#include "tool/book_source.h"
#include "tool/command.h"
#include "tool/interrupt.h"
#include "web/web_book.h"

namespace pagewend::tool {
namespace {

namespace fs = std::filesystem;

// Unpacking is about a third of an export's time: it fills the bar's first third.
constexpr int kUnpackShare = 30;

// Keeps the title and draws the unpacking's share of the bar on a terminal.
class ExportListener final : public book::BookListener {
 public:
  explicit ExportListener(bool terminal) : terminal_(terminal) {}
  void BookTitle(const std::string& title) override {
    if (terminal_)
      std::fprintf(stderr, "%s\n", title.empty() ? "(untitled book)" : ForTerminal(title).c_str());
  }
  void BookProgress(int done, int total) override {
    if (terminal_ && total > 0) DrawProgressBar(done * kUnpackShare / total, 100);
  }
  void BookLoaded(const book::UnpackedBook&) override {}
  void Pages(int done, int total) {
    if (terminal_ && total > 0) DrawProgressBar(kUnpackShare + done * (100 - kUnpackShare) / total, 100);
  }
  void EndBar() {
    if (terminal_) std::fprintf(stderr, "\n");
    terminal_ = false;
  }

 private:
  bool terminal_;
};

// A web book is published: its folders and files readable by all, as the user's umask allows,
// where the run's own files were the user's alone.
void Publishable(const fs::path& folder) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const auto allowed = [mask](unsigned mode) { return static_cast<fs::perms>(mode & ~mask); };
  fs::permissions(folder, allowed(0755));
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_symlink()) continue;
    fs::permissions(entry.path(), allowed(entry.is_directory() ? 0755 : 0644));
  }
}

}  // namespace

Command AddExportCommand(CLI::App& app) {
  const FileCommand c =
      AddFileCommand(app, "export",
                     "Publish a book as a static web book: DIR/index.html with a page-turner, the pages "
                     "as images with their links and text, readable from disk or any web server.",
                     "BOOK", "A book executable or a bare package");
  CLI::App* sub = c.app;
  struct Options {
    bool html = false;
    std::string dir;
    unsigned jobs = 0;
    bool force = false;
  };
  auto o = std::make_shared<Options>();
  sub->add_flag("--html", o->html, "Export as a web book (the only format there is)")->required();
  sub->add_option("-o,--output", o->dir, "The folder to write the web book into")->required();
  sub->add_option("--jobs", o->jobs, "Workers for the page images (default: one per core)")
      ->check(CLI::Range(1u, 256u));
  sub->add_flag("--force", o->force, "Replace DIR when it is not empty, once the book is exported");

  return c.With([args = c.args, o] {
    const auto start = std::chrono::steady_clock::now();
    const fs::path target = CheckOutputFolder(o->dir, args->file, o->force, "exported");
    {
      const package::PackageFile file(args->file);
      LocateBook(file);
    }

    // The book is unpacked into one hidden sibling of the target and its web book written into
    // another, which is moved into place when it is complete: a failure or Ctrl-C leaves the
    // target as it was, and the unpacked files go in any case.
    InterruptWatch interrupts;
    const fs::path unpacked = MakePartialSibling(target);
    FolderGuard unpackedGuard(unpacked);
    const fs::path partial = MakePartialSibling(target);
    FolderGuard partialGuard(partial);
    ExportListener listener(::isatty(STDERR_FILENO) == 1);
    StderrNotifier notifier;
    book::UnpackSetup setup;
    setup.bookFile = args->file;
    setup.workingFolder = unpacked;
    // The unpacked files go once the web book is written: notices name them by the book's own layout.
    setup.options.shownFolder = fs::path();
    setup.options.settings = SystemSettings::FromUserLocale();
    setup.options.jobs = o->jobs;
    // The web book's images are made from the pages' own files below.
    setup.options.pageImages = false;
    book::UnpackRun run(std::move(setup), listener, notifier);
    const Unpacked result = RunInterruptibly(run, interrupts, [&listener] { listener.EndBar(); });
    if (result.signal != 0) return Interrupted("export", args->file, result.signal);
    if (!result.book) throw ToolError("the run stopped before the book was loaded");
    const reading::Book& book = result.book->book;
    web::WebBookOptions options;
    options.jobs = o->jobs;
    options.progress = [&listener](int done, int total) { listener.Pages(done, total); };
    options.stopped = [&interrupts] { return interrupts.Signal() != 0; };
    web::WebBookSummary summary;
    try {
      summary = web::WriteWebBook(book, unpacked, partial, options);
    } catch (const web::WebBookStopped&) {
      listener.EndBar();
      return Interrupted("export", args->file, interrupts.Signal());
    } catch (const std::exception& e) {
      listener.EndBar();
      throw ToolError("the web book could not be written", e.what());
    }
    listener.EndBar();
    if (interrupts.Signal() != 0) return Interrupted("export", args->file, interrupts.Signal());
    Publishable(partial);
    ReplaceFolder(target, partial);
    partialGuard.Release();

    const FolderTotals totals = CountFolderTree(target);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string cut = summary.textsCut == 0
                                ? std::string()
                                : fmt::format("; the text of {} page{} cut to {} KiB", summary.textsCut,
                                              summary.textsCut == 1 ? "" : "s", web::kMaxPageTextBytes >> 10);
    std::fprintf(stderr, "%s: %d pages, %zu files, %ju bytes in %.2f s%s\n",
                 (target / "index.html").string().c_str(), summary.pages, totals.files, totals.bytes, seconds,
                 cut.c_str());
    return kExitOk;
  });
}

}  // namespace pagewend::tool
