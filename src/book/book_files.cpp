#include "book/book_files.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "paths/file_names.h"
#include "paths/run_folder.h"
#include "support/text.h"

namespace pagewend::book {
namespace {

namespace fs = std::filesystem;
using namespace package;
using model::book::TBasicVisualPageFileElement;
using model::book::TMBook;
using model::book::TMPage;
using model::book::TMVid;
using model::project::TPWProject;

template <typename Pos, typename Size>
RecordRef Ref(Pos pos, Size size) {
  return {static_cast<std::int64_t>(pos), static_cast<std::int64_t>(size)};
}

// Targets are relative to the working folder, as the layout names its folders; a name from a
// document goes below one of them by JoinInside, or nowhere when it would leave it.

// Which chapter, page and element a reference belongs to.
struct Where {
  int chapter = 0;
  int page = -1;
  int element = 0;
};

// Collects the mapping: only what a run writes, or (all) every reference slot of the documents.
class Mapper {
 public:
  Mapper(std::vector<BookFile>& out, bool all) : out_(out), all_(all) {}

  // used: the step's own conditions (file names given, the download button) hold. A slot with a
  // fixed target goes there whatever its name.
  BookFile* Add(bool used, const ReferenceSlot& slot, RecordRef ref, std::string name,
                std::optional<fs::path> target = std::nullopt, Where where = {}) {
    const bool active = used && !ref.Absent();
    if (!active && !all_) return nullptr;
    BookFile& file = out_.emplace_back();
    file.slot = &slot;
    file.owner = OwnerName(slot, where.chapter, where.page, where.element);
    file.ref = ref;
    file.name = std::move(name);
    file.target = slot.fixedTarget.empty() ? std::move(target) : fs::path(slot.fixedTarget);
    file.page = where.page;
    file.element = where.element;
    file.active = active;
    return &file;
  }

 private:
  std::vector<BookFile>& out_;
  bool all_;
};

const ReferenceSlot& Section(std::string_view name) { return Slot(SlotHolder::ProjectSection, name); }

}  // namespace

std::vector<BookFile> MapBookFiles(TPWProject& project, TMBook& book, bool complete, bool all) {
  std::vector<BookFile> files;
  Mapper map(files, all);
  const auto given = [](std::string_view name) { return !Trim(name).empty(); };

  auto& background = project.background();
  const RecordRef bgRef = Ref(background.pos_(), background.size_());
  if (auto* f = map.Add(given(background.filename()) && bgRef.pos > 0, Section("background"), bgRef,
                        background.filename(),
                        JoinInside(layout::kOther, "background" + WinExtension(background.filename()))))
    f->rewrite = [&background](const std::string& path) { background.set_filename(path); };

  auto& buttons = project.navbtn();
  map.Add(true, Section("navbtn"), Ref(buttons.pos_(), buttons.size_()), "info.ini");
  auto& bar = project.navbar();
  map.Add(true, Section("navbar"), Ref(bar.pos_(), bar.size_()), "info.ini");

  auto& preloader = project.preloader();
  map.Add(given(preloader.filename()), Section("preloader"), Ref(preloader.pos_(), preloader.size_()),
          preloader.filename());

  auto& logo = project.logo();
  map.Add(given(logo.filename()), Section("logo"), Ref(logo.pos_(), logo.size_()), logo.filename(),
          JoinInside(layout::kOther, "logo" + Lower(WinExtension(logo.filename()))));

  const std::string searchIndex = book.searchindex();
  map.Add(given(searchIndex), Slot(SlotHolder::BookRoot, "searchindex"),
          Ref(book.pos_search_(), book.size_search_()), searchIndex,
          JoinInside(layout::kOther, WinFileName(searchIndex)));

  auto& toc = project.toc();
  map.Add(given(toc.filename()), Section("toc"), Ref(toc.pos_(), toc.size_()), toc.filename(),
          JoinInside(layout::kOther, WinFileName(toc.filename())));

  // The first chapter's sound is the book's background sound, bg.mp3, as viewers ask for it; a
  // later chapter's is kept beside it, numbered, so that no record of the book is left behind.
  auto& chapters = book.Chapters();
  for (std::size_t c = 0; c < chapters.Count(); ++c) {
    auto& chapter = chapters.Items(c);
    map.Add(given(chapter.bgsound()), Slot(SlotHolder::Chapter, "bgsound"),
            Ref(chapter.pos_(), chapter.size_()), chapter.bgsound(),
            fs::path(layout::kSounds) / (c == 0 ? std::string("bg.mp3") : fmt::format("bg{}.mp3", c + 1)),
            {.chapter = static_cast<int>(c)});
  }

  const std::string download = book.download();
  map.Add(!complete || buttons.download(), Slot(SlotHolder::BookRoot, "download"),
          Ref(book.pos_download_(), book.size_download_()), download,
          JoinInside(layout::kDownloads, WinFileName(download)));

  map.Add(true, Slot(SlotHolder::BookRoot, "langs"), Ref(book.pos_langs_(), book.size_langs_()), "langs.zip");

  const ReferenceSlot& searchSlot = Slot(SlotHolder::Page, "searchtxt");
  const ReferenceSlot& downloadSlot = Slot(SlotHolder::Page, "download");
  const ReferenceSlot& elementSlot = Slot(SlotHolder::Element, "");
  const ReferenceSlot& previewSlot = Slot(SlotHolder::Element, "preview");
  const ReferenceSlot& mobileSlot = Slot(SlotHolder::Page, "mobilefile2");
  const std::vector<TMPage*> pages = BookPages(book);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    TMPage& page = *pages[i];
    const Where onPage{.page = static_cast<int>(i)};
    if (auto* f = map.Add(true, searchSlot, Ref(page.pos_search_(), page.size_search_()), page.searchtxt(),
                          layout::InFiles(page.searchtxt()), onPage))
      f->rewrite = [&page](const std::string& path) { page.set_searchtxt(path); };
    const std::string pageDownload = page.download();
    map.Add(true, downloadSlot, Ref(page.pos_download_(), page.size_download_()), pageDownload,
            JoinInside(layout::kDownloads, WinFileName(pageDownload)), onPage);
    auto& elements = page.elem();
    for (std::size_t k = 0; k < elements.Count(); ++k) {
      auto* element = dynamic_cast<TBasicVisualPageFileElement*>(&elements.Items(k));
      if (!element) continue;
      const Where at{.page = onPage.page, .element = static_cast<int>(k + 1)};
      if (auto* f = map.Add(true, elementSlot, Ref(element->pos_(), element->size_()), element->src(),
                            layout::InFiles(element->src()), at))
        f->rewrite = [element](const std::string& path) { element->set_src(path); };
      auto* video = dynamic_cast<TMVid*>(element);
      if (!video) continue;
      if (auto* f = map.Add(true, previewSlot, Ref(video->pos_pre_(), video->size_pre_()), video->preview(),
                            layout::InFiles(video->preview()), at))
        f->rewrite = [video](const std::string& path) { video->set_preview(path); };
    }
    if (auto* f = map.Add(true, mobileSlot, Ref(page.pos_mobilefile2(), page.size_mobilefile2()),
                          page.mobilefile2(), layout::InFiles(page.mobilefile2()), onPage))
      f->rewrite = [&page](const std::string& path) { page.set_mobilefile2(path); };
  }

  const struct {
    std::string_view slot;
    RecordRef ref;
  } viewer[] = {
      {"bookinfo", Ref(project.pos_bookinfo_(), project.size_bookinfo_())},
      {"mag", Ref(project.pos_mag_(), project.size_mag_())},
      {"toolbar", Ref(project.pos_toolbar_(), project.size_toolbar_())},
      {"input", Ref(project.pos_input_(), project.size_input_())},
      {"vs", Ref(project.pos_vs_(), project.size_vs_())},
      {"thumbswf", Ref(project.pos_thumbswf_(), project.size_thumbswf_())},
  };
  for (const auto& v : viewer) {
    const ReferenceSlot& slot = Slot(SlotHolder::ProjectRoot, v.slot);
    map.Add(complete, slot, v.ref, fs::path(slot.fixedTarget).filename().string());
  }
  return files;
}

std::vector<std::pair<std::uint32_t, std::string>> GroupMembers(const BookFile& group, const IniSection& info,
                                                                const TPWProject& project) {
  std::vector<std::pair<std::uint32_t, std::string>> members;
  if (group.Step() == SplitStep::NavButtons) {
    for (std::uint32_t type = 0; type < kButtonKeys.size(); ++type)
      if (const auto it = info.find(kButtonKeys[type]); it != info.end())
        members.emplace_back(type, it->second);
  } else {
    members.emplace_back(0, project.navbar().topfile());
    members.emplace_back(1, project.navbar().bottomfile());
  }
  return members;
}

std::vector<std::string> AuditBookFiles(const PackageFile& package, const std::vector<BookFile>& files) {
  std::vector<std::string> status(files.size());
  // Extents of the records that lie inside the file, to find the ones that share bytes.
  struct Extent {
    std::int64_t begin;
    std::int64_t end;
    std::size_t index;  // files.size() for the documents
  };
  std::vector<Extent> extents;
  try {
    const Documents docs = LocateDocuments(package);
    extents.push_back({docs.book.offset, package.Size(), files.size()});
  } catch (const PackageError&) {
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const BookFile& file = files[i];
    const RecordRef ref = file.ref;
    if (ref.Absent()) {
      status[i] = "absent";
      continue;
    }
    if (ref.size < 4 || ref.pos - ref.size < 0 || ref.pos > package.Size()) {
      status[i] = "outside the file";
      continue;
    }
    if (file.Form() != RecordForm::Group && LengthFieldMismatch(package, ref, file.owner)) {
      status[i] = "length mismatch";
      continue;
    }
    extents.push_back({ref.pos - ref.size, ref.pos, i});
    status[i] = !file.active ? "unused" : !file.target ? "unsafe name" : "ok";
  }
  std::sort(extents.begin(), extents.end(),
            [](const Extent& a, const Extent& b) { return a.begin < b.begin; });
  for (std::size_t k = 1; k < extents.size(); ++k) {
    // Two references to the very same record are not an overlap: a package may share one file.
    const Extent& a = extents[k - 1];
    const Extent& b = extents[k];
    if (b.begin < a.end && !(a.begin == b.begin && a.end == b.end)) {
      if (a.index < files.size()) status[a.index] = "overlapping";
      if (b.index < files.size()) status[b.index] = "overlapping";
    }
  }
  return status;
}

}  // namespace pagewend::book
