#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "book/unpack_run.h"
#include "book/unpacked_book.h"
#include "pdf/pdf_book.h"
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
    if (terminal_ && total > 0) bar_.Draw(done * kUnpackShare / total, 100, "unpacking");
  }
  void BookLoaded(const book::UnpackedBook&) override {}
  void Pages(int done, int total) {
    if (terminal_ && total > 0)
      bar_.Draw(kUnpackShare + done * (100 - kUnpackShare) / total, 100,
                fmt::format("page {} of {}", done, total));
  }
  void EndBar() {
    if (terminal_) std::fprintf(stderr, "\n");
    terminal_ = false;
  }

 private:
  bool terminal_;
  ProgressBar bar_;
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

// The command's options; --html and --pdf share them.
struct ExportOptions {
  bool html = false;
  bool pdf = false;
  std::string output;
  unsigned jobs = 0;
  bool force = false;
};

// What an export holds while it works, in either format: the signals that stop it, its bar, and
// where its notices go.
struct ExportRun {
  InterruptWatch interrupts;
  ExportListener listener{::isatty(STDERR_FILENO) == 1};
  StderrNotifier notifier;
};

// Unpacks the book beside target into unpacked; nothing when a signal ended the run.
std::optional<book::UnpackedBook> Unpack(const FileArgs& args, const ExportOptions& o, ExportRun& r,
                                         const fs::path& unpacked) {
  book::UnpackSetup setup;
  setup.bookFile = args.file;
  setup.workingFolder = unpacked;
  // The unpacked files go once the export is written: notices name them by the book's own layout.
  setup.options.shownFolder = fs::path();
  setup.options.settings = SystemSettings::FromUserLocale();
  setup.options.jobs = o.jobs;
  // The exports read the pages' own files; the player's derived images are not needed.
  setup.options.pageImages = false;
  book::UnpackRun run(std::move(setup), r.listener, r.notifier);
  Unpacked result = RunInterruptibly(run, r.interrupts, [&r] { r.listener.EndBar(); });
  if (result.signal != 0) return std::nullopt;
  if (!result.book) throw ToolError("the run stopped before the book was loaded");
  return std::move(result.book);
}

// Refuses a file that is no book before anything is made for it.
void CheckIsBook(const std::string& file) {
  const package::PackageFile package(file);
  LocateBook(package);
}

// The book unpacked into one hidden sibling of the target, and another for the export, moved
// into place when it is complete: a failure or Ctrl-C leaves the target as it was, and both
// siblings go in any case.
struct Staging {
  explicit Staging(const fs::path& target)
      : unpacked(MakePartialSibling(target)),
        unpackedGuard(unpacked),
        partial(MakePartialSibling(target)),
        partialGuard(partial) {}
  ExportRun run;
  const fs::path unpacked;
  FolderGuard unpackedGuard;
  const fs::path partial;
  FolderGuard partialGuard;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int ExportHtml(const FileArgs& args, const ExportOptions& o) {
  const auto start = std::chrono::steady_clock::now();
  const fs::path target = CheckOutputFolder(o.output, args.file, o.force, "exported");
  CheckIsBook(args.file);
  Staging staging(target);
  ExportRun& r = staging.run;
  const fs::path& unpacked = staging.unpacked;
  const fs::path& partial = staging.partial;
  FolderGuard& partialGuard = staging.partialGuard;
  const std::optional<book::UnpackedBook> loaded = Unpack(args, o, r, unpacked);
  if (!loaded) return Interrupted("export", args.file, r.interrupts.Signal());
  const reading::Book& book = loaded->book;
  web::WebBookOptions options;
  options.jobs = o.jobs;
  options.progress = [&r](int done, int total) { r.listener.Pages(done, total); };
  options.stopped = [&r] { return r.interrupts.Signal() != 0; };
  web::WebBookSummary summary;
  try {
    summary = web::WriteWebBook(book, unpacked, partial, options);
  } catch (const web::WebBookStopped&) {
    r.listener.EndBar();
    return Interrupted("export", args.file, r.interrupts.Signal());
  } catch (const std::exception& e) {
    r.listener.EndBar();
    throw ToolError("the web book could not be written", e.what());
  }
  r.listener.EndBar();
  if (r.interrupts.Signal() != 0) return Interrupted("export", args.file, r.interrupts.Signal());
  Publishable(partial);
  ReplaceFolder(target, partial);
  partialGuard.Release();

  const FolderTotals totals = CountFolderTree(target);
  const std::string cut = summary.textsCut == 0
                              ? std::string()
                              : fmt::format("; the text of {} page{} cut to {} KiB", summary.textsCut,
                                            summary.textsCut == 1 ? "" : "s", web::kMaxPageTextBytes >> 10);
  std::fprintf(stderr, "%s: %d pages, %zu files, %ju bytes in %.2f s%s\n",
               (target / "index.html").string().c_str(), summary.pages, totals.files, totals.bytes,
               SecondsSince(start), cut.c_str());
  return kExitOk;
}

// Without -o the PDF is the book's name with ".pdf"; it never replaces the book itself, and an
// existing file only with --force.
fs::path PdfTarget(const FileArgs& args, const ExportOptions& o) {
  fs::path target = o.output;
  if (target.empty()) target = fs::path(args.file).replace_extension(".pdf");
  std::error_code ec;
  if (fs::equivalent(target, args.file, ec))
    throw ToolError(fmt::format("{} is the book itself; name another file with -o", target.string()));
  const fs::file_status status = fs::symlink_status(target, ec);
  if (fs::exists(status) && !fs::is_regular_file(status))
    throw ToolError(fmt::format("{} exists and is not a file", target.string()));
  if (fs::exists(status) && !o.force)
    throw ToolError(
        fmt::format("{} exists (use --force to replace it once the book is exported)", target.string()));
  return target;
}

int ExportPdf(const FileArgs& args, const ExportOptions& o) {
  const auto start = std::chrono::steady_clock::now();
  const fs::path target = PdfTarget(args, o);
  CheckIsBook(args.file);
  Staging staging(target);
  ExportRun& r = staging.run;
  const fs::path& unpacked = staging.unpacked;
  const fs::path& partial = staging.partial;
  const std::optional<book::UnpackedBook> loaded = Unpack(args, o, r, unpacked);
  if (!loaded) return Interrupted("export", args.file, r.interrupts.Signal());
  pdf::PdfBookOptions options;
  options.progress = [&r](int done, int total) { r.listener.Pages(done, total); };
  options.stopped = [&r] { return r.interrupts.Signal() != 0; };
  const fs::path written = partial / "book.pdf";
  pdf::PdfBookSummary summary;
  try {
    summary = pdf::WritePdfBook(loaded->book, unpacked, written, r.notifier, options);
  } catch (const pdf::PdfBookStopped&) {
    r.listener.EndBar();
    return Interrupted("export", args.file, r.interrupts.Signal());
  } catch (const std::exception& e) {
    r.listener.EndBar();
    throw ToolError("the PDF could not be written", e.what());
  }
  r.listener.EndBar();
  if (r.interrupts.Signal() != 0) return Interrupted("export", args.file, r.interrupts.Signal());
  fs::rename(written, target);

  const std::string leftOut = summary.imagesLeftOut == 0
                                  ? std::string()
                                  : fmt::format("; {} image{} left out", summary.imagesLeftOut,
                                                summary.imagesLeftOut == 1 ? "" : "s");
  std::fprintf(stderr, "%s: %d pages, %d images, %ju bytes in %.2f s%s\n", target.string().c_str(),
               summary.pages, summary.images, static_cast<std::uintmax_t>(fs::file_size(target)),
               SecondsSince(start), leftOut.c_str());
  return kExitOk;
}

}  // namespace

Command AddExportCommand(CLI::App& app) {
  const FileCommand c = AddFileCommand(
      app, "export",
      "Publish a book as a static web book (--html: DIR/index.html with a page-turner, the pages as images "
      "with their links and text, readable from disk or any web server) or keep it as a PDF (--pdf: its "
      "images as they are, its texts searchable, its links and contents).",
      "BOOK", "A book executable or a bare package");
  CLI::App* sub = c.app;
  auto o = std::make_shared<ExportOptions>();
  CLI::Option_group* format = sub->add_option_group("format", "What to export the book as");
  format->add_flag("--html", o->html, "Export as a web book into the folder -o names");
  format->add_flag("--pdf", o->pdf, "Export as a PDF (without -o: the book's name with .pdf)");
  // Without either, the output's name decides: a .pdf file, else a folder for the web book.
  format->require_option(0, 1);
  sub->add_option("-o,--output", o->output, "The folder (--html) or file (--pdf) to write");
  sub->add_option("--jobs", o->jobs,
                  "Workers for the unpacking and the page images (1 to 256; default: one per core)")
      ->check(CLI::Range(1u, 256u).description(""))
      ->type_name("N");
  sub->add_flag("--force", o->force, "Replace the output when it exists (a folder when it is not empty)");
  // A web book needs its folder named; a PDF is named after the book when -o is not given.
  sub->parse_complete_callback([o] {
    if (!o->html && !o->pdf) {
      if (o->output.empty())
        throw CLI::RequiredError("--html or --pdf (or -o naming a folder or a .pdf file)");
      (Lower(fs::path(o->output).extension().string()) == ".pdf" ? o->pdf : o->html) = true;
    }
    if (o->html && o->output.empty()) throw CLI::RequiredError("-o,--output");
  });

  return c.With([args = c.args, o] { return o->pdf ? ExportPdf(*args, *o) : ExportHtml(*args, *o); });
}

}  // namespace pagewend::tool
