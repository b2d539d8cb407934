#include "book/book_opener.h"

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "book/book_documents.h"
#include "book/book_error.h"
#include "book/book_files.h"
#include "book/page_image_queue.h"
#include "book/record_store.h"
#include "imaging/image_write.h"
#include "imaging/page_images.h"
#include "model/book/m_book.h"
#include "model/book/m_page_elements.h"
#include "model/project/pw_project.h"
#include "package/package_format.h"
#include "paths/file_names.h"
#include "support/file_copy.h"
#include "support/folder_root.h"
#include "support/folder_tree.h"
#include "support/ordered_pool.h"
#include "support/text.h"
#include "swf/swf_stream_reader.h"
#include "zip/zip_extract.h"

namespace pagewend::book {
using namespace package;

namespace {

namespace fs = std::filesystem;
using model::book::TBasicVisualPageElement;
using model::book::TBasicVisualPageFileElement;
using model::book::TMBook;
using model::book::TMPage;
using model::project::TPWProject;

// Rounds to the nearest integer, ties to even, as the thumbnail sizes need.
// Half to even. A book's numbers may be anything: what lies beyond an int's range is clamped to
// it (and then refused by the image limits), what is no number is 0.
int RoundEven(double value) {
  const double rounded = std::nearbyint(value);
  if (std::isnan(rounded)) return 0;
  return static_cast<int>(std::clamp(rounded, -2147483648.0, 2147483647.0));
}

class NoticeSink final : public Notifier {
 public:
  explicit NoticeSink(std::function<void(std::string)> keep) : keep_(std::move(keep)) {}
  void Notify(std::string_view message) override { keep_(std::string(message)); }

 private:
  std::function<void(std::string)> keep_;
};

// Logs the step's error line and raises a new error with the same message.
[[noreturn]] void Fail(const RunLog* log, std::string_view place, const std::exception& e) {
  WriteLog(log, fmt::format("[{}]: Error:{}", place, e.what()));
  // The same exception again, so that what it is (a full disk, a budget) reaches the run's end.
  throw;
}

}  // namespace

struct BookOpener::State {
  std::unique_ptr<PackageFile> source;
  std::unique_ptr<TPWProject> project;
  std::unique_ptr<TMBook> book;
  // W, opened once: every file of the run is written beneath it, never through a link.
  std::shared_ptr<const FolderRoot> root;
};

BookOpener::BookOpener(BookListener& listener, Notifier& notifier, RunFolder paths, const RunLog* log,
                       OpenerOptions options)
    : listener_(listener),
      notifier_(notifier),
      paths_(std::move(paths)),
      log_(log),
      options_(std::move(options)),
      state_(std::make_unique<State>()) {}

BookOpener::~BookOpener() = default;

const TPWProject& BookOpener::Project() const {
  if (!state_->project) throw std::logic_error("the package is not open");
  return *state_->project;
}

const TMBook& BookOpener::Book() const {
  if (!state_->book) throw std::logic_error("the package is not open");
  return *state_->book;
}

void BookOpener::Open(const fs::path& fileName) {
  // Nothing of an earlier package is kept, and nothing of this one unless both documents load,
  // so Split can never run on half-read documents.
  state_->project.reset();
  state_->book.reset();
  state_->source.reset();
  auto source = std::make_unique<PackageFile>(fileName);
  DocumentOptions options;
  options.settings = options_.settings;
  options.log = log_;
  options.projectLoaded = [this](const TPWProject& project) {
    title_ = project.exetitle();
    listener_.BookTitle(title_);
  };
  try {
    BookDocuments documents = LoadDocuments(*source, options);
    state_->source = std::move(source);
    state_->project = std::move(documents.project);
    state_->book = std::move(documents.book);
  } catch (const DocumentError& e) {
    // The reason goes with the step's own message, so that a user learns why as well.
    const std::string message = fmt::format(
        "Failed to {}: {}", e.Kind() == DocumentKind::Project ? "SplitProj" : "SplitMagProj", e.what());
    WriteLog(log_, message);
    throw std::runtime_error(message);
  }
}

void BookOpener::SplitAll() {
  complete_ = true;
  Split();
}

void BookOpener::Refuse(const std::string& owner, const std::string& name) {
  const std::string why = Trim(name).empty()          ? "it has no file name"
                          : layout::InLogFolder(name) ? "the run log's folder is not for the book's files"
                                                      : "the name leaves the working folder";
  Notice(fmt::format("{}: \"{}\" was not written: {}", owner, name, why));
}

std::string BookOpener::Shown(std::string text) const {
  const std::string root = paths_.Root().string() + "/";
  if (!options_.shownFolder || root.size() <= 1) return text;
  return ReplaceAll(std::move(text), root,
                    options_.shownFolder->empty() ? std::string() : options_.shownFolder->string() + "/");
}

void BookOpener::Notice(std::string message) {
  message = Shown(std::move(message));
  WriteLog(log_, message);
  notices_.push_back(std::move(message));
}

void BookOpener::NotifyNotices() {
  if (notices_.empty()) return;
  constexpr std::size_t kListed = 10;
  std::string message =
      notices_.size() == 1 ? notices_.front() : fmt::format("The book has {} problems:", notices_.size());
  if (notices_.size() > 1) {
    for (std::size_t i = 0; i < notices_.size() && i < kListed; ++i) message += "\n" + notices_[i];
    if (notices_.size() > kListed) message += fmt::format("\n... and {} more", notices_.size() - kListed);
  }
  // A run whose files go when it ends (shown under no folder) keeps no log worth naming.
  const bool logKept = !options_.shownFolder || !options_.shownFolder->empty();
  if (log_ && logKept)
    message += fmt::format("\nThe run log names each: {}", Shown(log_->FileName().string()));
  notices_.clear();
  notifier_.Notify(message);
}

void BookOpener::WriteGroupFile(const fs::path& folder, const std::string& owner, const std::string& name,
                                const Slice& payload) {
  const auto dest = JoinInside(folder, name);
  if (!dest) return Refuse(owner, name);
  WriteRecord(payload, *dest, owner);
}

void BookOpener::WriteRecord(const Slice& payload, const fs::path& dest, const std::string& what) {
  store_->Write(payload, dest, what);
}

void BookOpener::WriteFile(const BookFile& file) {
  if (!file.target) return Refuse(file.owner, file.name);
  const PackageFile& source = *state_->source;
  const FolderRoot& root = *state_->root;
  const fs::path dest = paths_ / *file.target;
  switch (file.Form()) {
    case RecordForm::Plain: {
      // Most steps read a record by pos_ and size_, where a disagreeing length field is only
      // worth a log line; the background and its sound go through the length field.
      const bool byLengthField =
          file.Step() == SplitStep::Background || file.Step() == SplitStep::BackgroundSound;
      const Slice payload = byLengthField ? ResolvePlainRecord(source, file.ref, file.owner)
                                          : PlainRecordBySize(source, file.ref, file.owner);
      if (!byLengthField)
        if (auto mismatch = LengthFieldMismatch(source, file.ref, file.owner)) WriteLog(log_, *mismatch);
      root.MakeFolders(dest.parent_path());
      WriteRecord(payload, dest, file.owner);
      if (file.rewrite) file.rewrite(dest.string());
      return;
    }
    case RecordForm::Group: {
      const ResourceGroup group = ReadGroup(source, file.ref, file.owner);
      WriteRecord(group.info, dest / "info.ini", file.owner + " info.ini");
      const IniSection info =
          ParseInfoIni(source.ReadText(group.info, file.owner + " info.ini", kMaxInfoIniLength));
      const auto members = GroupMembers(file, info, *state_->project);
      const auto nameOf = [&](std::uint32_t type) -> std::string {
        for (const auto& [memberType, name] : members)
          if (memberType == type) return name;
        return {};
      };
      for (const GroupFile& f : GroupFiles(group, nameOf))
        WriteGroupFile(dest, file.owner, f.name, f.payload);
      return;
    }
    case RecordForm::Archive: {
      const Slice payload = ResolvePlainRecord(source, file.ref, file.owner);
      const FolderRoot folder = root.Sub(dest);
      // The archive waits in a file without a name: no entry can overwrite it, nothing is left.
      store_->Spend(payload.length, dest / "langs.zip", file.owner);
      const UniqueFd archive = folder.CreateUnnamed();
      CopyRange(source.Fd(), payload.offset, payload.length, archive.Get(), 0);
      // What the archive expands to counts too; the archive itself is gone afterwards.
      ZipLimits limits;
      limits.maxTotalBytes = std::min(limits.maxTotalBytes, store_->RecordsLeft() + payload.length);
      store_->Refund(payload.length);
      ZipReport report;
      try {
        report = ExtractZip(archive.Get(), dest / "langs.zip", folder, limits);
      } catch (const ZipError& e) {
        // A write that failed ends the run; an archive its rules refuse costs the book its
        // languages only, and nothing of it is left half unpacked.
        if (e.Code() != 0) throw;
        DeleteFolderTree(dest);
        root.MakeFolders(dest);
        return Notice(fmt::format("{}: the language archive was left out: {}", file.owner, e.what()));
      }
      store_->Spend(report.bytes, dest, file.owner);
      for (const auto& refused : report.refused) {
        Notice(fmt::format("{}: zip entry \"{}\" was not written: {}", file.owner, refused.name,
                           refused.reason));
      }
      return;
    }
  }
}

void BookOpener::RunStep(const std::vector<BookFile>& files, SplitStep step) {
  for (const BookFile& file : files)
    if (file.Step() == step) WriteFile(file);
  if (const std::string_view finish = StepFinishLine(step); !finish.empty()) WriteLog(log_, finish);
}

void BookOpener::Split() {
  if (!state_->source) throw std::logic_error("Split without a package opened");
  unpacked_.reset();
  notices_.clear();
  try {
    if (!state_->root) state_->root = std::make_shared<const FolderRoot>(paths_.Root());
    // Records may take twice the package's size; the images made of them a little more.
    const std::int64_t recordLimit = 2 * state_->source->Size();
    store_ = std::make_unique<RecordStore>(*state_->source, *state_->root, recordLimit,
                                           recordLimit + options_.madeImageBytes);
    store_->beforeReplace = [this](const fs::path& file) {
      if (images_) images_->BeforeReplace(file);
    };
    const std::vector<BookFile> files = MapBookFiles(*state_->project, *state_->book, complete_);
    RunStep(files, SplitStep::Background);
    RunStep(files, SplitStep::NavButtons);
    RunStep(files, SplitStep::NavBar);
    // Before the records, so that a record of the book's own under that name takes its place.
    WriteRecord(package::LocateDocuments(*state_->source).book, fs::path(layout::kKeptBookDocument),
                "book document");
    RunStep(files, SplitStep::Preloader);
    RunStep(files, SplitStep::Logo);
    RunStep(files, SplitStep::SearchFile);
    RunStep(files, SplitStep::Toc);
    RunStep(files, SplitStep::BackgroundSound);
    listener_.BookProgress(5, 100);
    if (Stopped()) return;

    if (!complete_ || state_->project->navbtn().download()) {
      try {
        RunStep(files, SplitStep::Download);
      } catch (const std::exception& e) {
        Fail(log_, "Velmaro.SplitDownloadFiles", e);
      }
    }
    listener_.BookProgress(10, 100);
    if (Stopped()) return;

    RunStep(files, SplitStep::Languages);
    // The viewer's files come before the pages' images are made, so that the book can start
    // while they are; a failure to write them still fails the run, after the pages.
    std::exception_ptr viewerFailure;
    const auto written = [&] {
      if (Stopped()) return;
      try {
        if (complete_) RunStep(files, SplitStep::Viewer);
      } catch (...) {
        viewerFailure = std::current_exception();
        return;
      }
      listener_.BookWritten(imagesInMaking_);
    };
    try {
      SplitPages(files, written);
    } catch (const std::exception& e) {
      Fail(log_, "Velmaro.SplitPages", e);
    }
    WriteLog(log_, StepFinishLine(SplitStep::Page));
    // A run stopped among its pages ends here: loaded would start a movie whose files are missing.
    if (Stopped()) return;
    if (viewerFailure) std::rethrow_exception(viewerFailure);
    unpacked_ = ReadUnpackedBook(*state_->book, *state_->project, paths_, title_);
    unpacked_->pagesWithoutImages = pagesWithoutImages_;
    listener_.BookLoaded(*unpacked_);
    NotifyNotices();
  } catch (const std::exception& e) {
    Fail(log_, "Velmaro.Split", e);
  }
}

void BookOpener::SplitPages(const std::vector<BookFile>& files, const std::function<void()>& written) {
  const std::vector<TMPage*> pages = BookPages(*state_->book);
  const std::size_t count = pages.size();
  pagesWithoutImages_ = 0;
  measured_.clear();
  if (count == 0) {
    WriteLog(log_, "Page Count: 0");
    written();
    return;
  }
  WriteLog(log_, fmt::format("Page Count: {}", count));

  const fs::path filesFolder = paths_ / layout::kFiles;
  std::vector<std::vector<const BookFile*>> byPage(count);
  for (const BookFile& f : files)
    if (f.Step() == SplitStep::Page && f.page >= 0 && static_cast<std::size_t>(f.page) < count)
      byPage[static_cast<std::size_t>(f.page)].push_back(&f);
  // The pages still to come that read each mobile record: a decode that none of them asks for
  // again is not kept.
  std::map<std::pair<std::int64_t, std::int64_t>, std::size_t> mobileReaders;
  for (const auto& pageFiles : byPage)
    for (const BookFile* f : pageFiles)
      if (f->Part() == PagePart::Mobile && f->target) ++mobileReaders[{f->ref.pos, f->ref.size}];

  PageImageQueue images(*store_, imagesInMaking_, stopped_, count,
                        {.jobs = options_.jobs, .background = options_.imagesInBackground});
  images_ = &images;
  struct QueueGone {
    BookOpener& opener;
    ~QueueGone() { opener.images_ = nullptr; }
  } queueGone{*this};
  for (std::size_t i = 0; i < count && !Stopped(); ++i) {
    TMPage& page = *pages[i];
    if (!Trim(page.print()).empty())
      if (auto path = JoinInside(filesFolder, page.print())) page.set_print(path->string());

    const BookFile* mobile = nullptr;
    for (const BookFile* f : byPage[i]) {
      if (f->Part() == PagePart::Mobile)
        mobile = f;
      else if (f->element == 0)
        WriteFile(*f);
    }
    const std::size_t elementCount = page.elem().Count();
    for (std::size_t k = 1; k <= elementCount; ++k) {
      for (const BookFile* f : byPage[i])
        if (f->element == static_cast<int>(k)) WriteFile(*f);
      WriteLog(log_, fmt::format("Finish Split Page[{}].Elem{}/{}", i, k, elementCount));
    }

    // A page whose images cannot be made costs the book those images, not the book: its turn in
    // order logs why.
    std::optional<imaging::PageImageJob> job;
    std::pair<std::int64_t, std::int64_t> record;
    if (mobile && mobile->target) {
      WriteFile(*mobile);
      if (options_.pageImages) {
        job = PageImages(page, i);
        // Here, before a worker can need them.
        if (imaging::NeedsQtImageFormats(*job)) imaging::PrepareQtImageFormats();
        record = {mobile->ref.pos, mobile->ref.size};
        job->sourceReadAgain = --mobileReaders[record] > 0;
      }
    } else if (mobile) {
      Refuse(mobile->owner, mobile->name);
    }
    const int progress = static_cast<int>((i * 90 + 90) / count + 10);
    images.Add(
        std::move(job), record, [this, progress, i](const std::optional<imaging::PageImageError>& problem) {
          // The pages made while the stop came count for nothing: the run will not load.
          if (Stopped()) return;
          if (problem) {
            ++pagesWithoutImages_;
            WriteLog(log_,
                     fmt::format("Page[{}]: its images were not all made: {}", i, Shown(problem->what())));
            if (problem->MissingSource()) notices_.emplace_back(Shown(problem->what()));
          }
          listener_.BookProgress(progress, 100);
        });
  }
  if (Stopped()) {
    images.Cancel();
    return;
  }
  written();
  images.Finish();
}

imaging::PageImageJob BookOpener::PageImages(TMPage& page, std::size_t index) {
  const TMBook& book = *state_->book;
  page.set_mobilefile1((paths_ / layout::MobileImage(index, WinExtension(page.mobilefile1()))).string());
  page.set_photoviewthumb(
      (paths_ / layout::PhotoThumbnail(index, WinExtension(page.photoviewthumb()))).string());
  page.set_pagethumb((paths_ / layout::PageThumbnail(index)).string());

  imaging::Size size;
  const TBasicVisualPageElement* first = page.elem().Count() > 0 ? &page.elem().Items(0) : nullptr;
  if (const auto* file = dynamic_cast<const TBasicVisualPageFileElement*>(first)) {
    // The same record under the same name has the same size; a name reused for another record does not.
    const std::string key = fmt::format("{}|{}|{}", file->src(), file->pos_(), file->size_());
    if (const auto known = measured_.find(key); known != measured_.end()) {
      size = known->second;
    } else {
      if (Lower(WinExtension(file->src())) != ".swf") {
        size = imaging::RasterPixelSize(file->src());
      } else {
        // Kept for the message after the run, like every other problem the book survives.
        NoticeSink notices([this](std::string message) { Notice(std::move(message)); });
        const swf::SwfSize swf = swf::GetSwfSize(file->src(), notices);
        size = {swf.width, swf.height};
      }
      measured_.emplace(key, size);
    }
  }
  const double scale = book.thumbscale();
  imaging::PageImageJob job;
  job.source = page.mobilefile2();
  job.mobile = page.mobilefile1();
  job.photoThumb = page.photoviewthumb();
  job.pageThumb = page.pagethumb();
  job.outputs = state_->root;
  job.canvas = {RoundEven(book.pagewidth() * scale), RoundEven(book.pageheight() * scale)};
  if (first && size.width >= 1 && size.height >= 1)
    job.drawRect = imaging::Rect{RoundEven(first->left() * scale), RoundEven(first->top() * scale),
                                 RoundEven(first->width() * scale), RoundEven(first->height() * scale)};
  return job;
}

}  // namespace pagewend::book
