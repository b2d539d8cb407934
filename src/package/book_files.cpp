#include "package/book_files.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "paths/path_getter.h"

namespace pagewend::package {
namespace {

namespace fs = std::filesystem;
using model::book::TBasicVisualPageFileElement;
using model::book::TMBook;
using model::book::TMPage;
using model::book::TMVid;
using model::project::TPWProject;

std::string Trim(std::string_view s) {
  auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return std::string(s);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

template <typename Pos, typename Size>
RecordRef Ref(Pos pos, Size size) {
  return {static_cast<std::int64_t>(pos), static_cast<std::int64_t>(size)};
}

class Mapper {
 public:
  explicit Mapper(std::vector<BookFile>& out) : out_(out) {}

  BookFile& Add(SplitStep step, std::string owner, RecordRef ref, std::string name,
                std::optional<fs::path> target, RecordForm form = RecordForm::Plain) {
    BookFile& file = out_.emplace_back();
    file.step = step;
    file.form = form;
    file.owner = std::move(owner);
    file.ref = ref;
    file.name = std::move(name);
    file.target = std::move(target);
    return file;
  }

 private:
  std::vector<BookFile>& out_;
};

}  // namespace

std::string WinFileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string WinExtension(std::string_view path) {
  const std::string name = WinFileName(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::optional<fs::path> InFilesFolder(std::string_view relativeName) {
  return JoinInside("files", relativeName);
}

std::vector<BookFile> MapBookFiles(TPWProject& project, TMBook& book, bool complete) {
  std::vector<BookFile> files;
  Mapper map(files);

  auto& background = project.background();
  if (const RecordRef ref = Ref(background.pos_(), background.size_());
      !Trim(background.filename()).empty() && ref.pos > 0 && ref.size != 0) {
    const std::string name = "background" + WinExtension(background.filename());
    map.Add(SplitStep::Background, "project.background", ref, background.filename(),
            InFilesFolder("res/other/" + name))
        .rewrite = [&background](const std::string& path) { background.set_filename(path); };
  }

  auto& buttons = project.navbtn();
  if (const RecordRef ref = Ref(buttons.pos_(), buttons.size_()); !ref.Absent())
    map.Add(SplitStep::NavButtons, "project.navbtn", ref, "info.ini", fs::path("files/res/navbtn"),
            RecordForm::Group);

  auto& bar = project.navbar();
  if (const RecordRef ref = Ref(bar.pos_(), bar.size_()); !ref.Absent())
    map.Add(SplitStep::NavBar, "project.navbar", ref, "info.ini", fs::path("files/res/navbar"),
            RecordForm::Group);

  auto& preloader = project.preloader();
  if (const RecordRef ref = Ref(preloader.pos_(), preloader.size_());
      !Trim(preloader.filename()).empty() && !ref.Absent())
    map.Add(SplitStep::Preloader, "project.preloader", ref, preloader.filename(), fs::path("files/book.swf"));

  auto& logo = project.logo();
  if (const RecordRef ref = Ref(logo.pos_(), logo.size_()); !Trim(logo.filename()).empty() && !ref.Absent())
    map.Add(SplitStep::Logo, "project.logo", ref, logo.filename(),
            InFilesFolder("res/other/logo" + Lower(WinExtension(logo.filename()))));

  const std::string searchIndex = book.GetString("searchindex");
  if (const RecordRef ref = Ref(book.GetUInt32("pos_search_"), book.GetUInt32("size_search_"));
      !Trim(searchIndex).empty() && !ref.Absent())
    map.Add(SplitStep::SearchFile, "book.searchindex", ref, searchIndex,
            InFilesFolder("res/other/" + WinFileName(searchIndex)));

  auto& toc = project.toc();
  if (const RecordRef ref = Ref(toc.pos_(), toc.size_()); !Trim(toc.filename()).empty() && !ref.Absent())
    map.Add(SplitStep::Toc, "project.toc", ref, toc.filename(),
            InFilesFolder("res/other/" + WinFileName(toc.filename())));

  auto& chapters = book.Chapters();
  if (chapters.Count() > 0) {
    auto& chapter = chapters.Items(0);
    if (const RecordRef ref = Ref(chapter.pos_(), chapter.size_());
        !Trim(chapter.bgsound()).empty() && !ref.Absent())
      map.Add(SplitStep::BackgroundSound, "book.chapter[0].bgsound", ref, chapter.bgsound(),
              fs::path("files/res/sounds/bg.mp3"));
  }

  if (!complete || buttons.download()) {
    const std::string download = book.GetString("download");
    if (const RecordRef ref = Ref(book.GetUInt32("pos_download_"), book.GetUInt32("size_download_"));
        !ref.Absent())
      map.Add(SplitStep::Download, "book.download", ref, download,
              InFilesFolder("res/downloads/" + WinFileName(download)));
  }

  if (const RecordRef ref = Ref(book.GetUInt32("pos_langs_"), book.GetUInt32("size_langs_")); !ref.Absent())
    map.Add(SplitStep::Languages, "book.langs", ref, "langs.zip", fs::path("files/res/languages"),
            RecordForm::Archive);

  if (chapters.Count() > 0) {
    auto& pages = chapters.Items(0).Pages();
    for (std::size_t i = 0; i < pages.Count(); ++i) {
      TMPage& page = pages.Items(i);
      const int index = static_cast<int>(i);
      const std::string owner = fmt::format("book.page[{}]", i);
      if (const RecordRef ref = Ref(page.pos_search_(), page.size_search_()); !ref.Absent()) {
        auto& f = map.Add(SplitStep::Page, owner + ".searchtxt", ref, page.searchtxt(),
                          InFilesFolder(page.searchtxt()));
        f.page = index;
        f.rewrite = [&page](const std::string& path) { page.set_searchtxt(path); };
      }
      if (const RecordRef ref = Ref(page.pos_download_(), page.size_download_()); !ref.Absent()) {
        const std::string download = page.GetString("download");
        map.Add(SplitStep::Page, owner + ".download", ref, download,
                InFilesFolder("res/downloads/" + WinFileName(download)))
            .page = index;
      }
      auto& elements = page.elem();
      for (std::size_t k = 0; k < elements.Count(); ++k) {
        auto* element = dynamic_cast<TBasicVisualPageFileElement*>(&elements.Items(k));
        if (!element) continue;
        const std::string elementOwner = fmt::format("{}.elem[{}]", owner, k + 1);
        if (const RecordRef ref = Ref(element->pos_(), element->size_()); !ref.Absent()) {
          auto& f =
              map.Add(SplitStep::Page, elementOwner, ref, element->src(), InFilesFolder(element->src()));
          f.page = index;
          f.element = static_cast<int>(k + 1);
          f.rewrite = [element](const std::string& path) { element->set_src(path); };
        }
        auto* video = dynamic_cast<TMVid*>(element);
        if (!video) continue;
        if (const RecordRef ref = Ref(video->pos_pre_(), video->size_pre_()); !ref.Absent()) {
          auto& f = map.Add(SplitStep::Page, elementOwner + ".preview", ref, video->preview(),
                            InFilesFolder(video->preview()));
          f.page = index;
          f.element = static_cast<int>(k + 1);
          f.rewrite = [video](const std::string& path) { video->set_preview(path); };
        }
      }
      if (const RecordRef ref = Ref(page.pos_mobilefile2(), page.size_mobilefile2()); !ref.Absent()) {
        auto& f = map.Add(SplitStep::Page, owner + ".mobilefile2", ref, page.mobilefile2(),
                          InFilesFolder(page.mobilefile2()));
        f.page = index;
        f.mobileImage = true;
        f.rewrite = [&page](const std::string& path) { page.set_mobilefile2(path); };
      }
    }
  }

  if (complete) {
    const struct {
      const char* owner;
      RecordRef ref;
      const char* target;
    } viewer[] = {
        {"project.bookinfo", Ref(project.pos_bookinfo_(), project.size_bookinfo_()), "files/framework.swf"},
        {"project.mag", Ref(project.pos_mag_(), project.size_mag_()), "files/res/other/mag.swf"},
        {"project.toolbar", Ref(project.pos_toolbar_(), project.size_toolbar_()),
         "files/res/other/toolbar.swf"},
        {"project.input", Ref(project.pos_input_(), project.size_input_()), "files/res/other/input.png"},
        {"project.vs", Ref(project.pos_vs_(), project.size_vs_()), "files/res/other/videoskin.swf"},
        {"project.thumbswf", Ref(project.pos_thumbswf_(), project.size_thumbswf_()),
         "files/res/other/thumb.swf"},
    };
    for (const auto& v : viewer)
      if (!v.ref.Absent())
        map.Add(SplitStep::Viewer, v.owner, v.ref, WinFileName(v.target), fs::path(v.target));
  }
  return files;
}

}  // namespace pagewend::package
