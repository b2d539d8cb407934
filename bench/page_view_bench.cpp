// page_view_bench [PAGES]: the page view over a generated book of A4 scans (300 dpi JPEG), on
// the offscreen platform. Reports, as medians of its runs: opening the view on a loaded book to
// its first spread painted from decoded pages; the GUI thread's longest stretch of work while
// pages turn (every stretch over 16 ms is a dropped frame) and how many turns found their next
// spread already decoded; the process's resident memory after paging through the whole book.
// The anchor, measured in the same run: one page decoded and composed at the size shown.
//   page_view_bench [PAGES]
//   page_view_bench --book BOOK --screenshot FILE   the player's window on BOOK's second spread
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/page_render.h"
#include "page_generator.h"
#include "shell/main_window.h"
#include "shell/page_view.h"
#include "shell/ruffle_movie_host.h"

namespace {

using namespace pagewend;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

long ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096 / (1 << 20);
}

// Gaps between the event loop's idle moments: how long the GUI thread was busy at a stretch.
class Heartbeat {
 public:
  // A beat every 4 ms: often enough to see a frame's worth of work, rarely enough not to take
  // the workers' processor time.
  Heartbeat() {
    timer_.setInterval(4);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const double ms = static_cast<double>(clock_.nsecsElapsed()) / 1e6 - 4;
      clock_.restart();
      longest_ = std::max(longest_, ms);
      if (ms > 16) ++dropped_;
    });
  }
  void Start() {
    longest_ = 0;
    dropped_ = 0;
    clock_.start();
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  double Longest() const { return longest_; }
  int Dropped() const { return dropped_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  double longest_ = 0;
  int dropped_ = 0;
};

// Runs the event loop for ms without the sleeps of QTest::qWait, which the heartbeat would count.
void Pump(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool WaitFinished(shell::PageView& view, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (view.Turning() || !view.ShowsFinishedSpread()) {
    if (clock.elapsed() > ms) return false;
    Pump(2);
  }
  return true;
}

}  // namespace

// The player's window in the page view, on the book's second spread, saved as an image.
int Screenshot(const std::filesystem::path& bookFile, const QString& out) {
  const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "pagewend-page-view-shot";
  std::filesystem::create_directories(scratch);
  shell::PlayerRun run;
  run.bookFile = bookFile;
  run.programFolder = scratch;
  run.pageView = true;
  std::shared_ptr<const RunLog> log;
  int code = 1;
  {
    shell::MainWindow window(run, new shell::RuffleMovieHost(), log);
    window.show();
    for (int i = 0; i < 600 && !window.ShowsPages(); ++i) Pump(50);
    if (window.ShowsPages()) {
      window.Pages()->NextSpread();
      WaitFinished(*window.Pages(), 20000);
      Pump(500);
      if (window.grab().save(out)) code = 0;
    }
  }
  std::filesystem::remove_all(scratch);
  if (code != 0) std::fprintf(stderr, "page_view_bench: no screenshot of %s\n", bookFile.c_str());
  return code;
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  shell::RuffleMovieHost::PrepareProcess();
  QApplication app(argc, argv);
  if (argc == 5 && std::string(argv[1]) == "--book" && std::string(argv[3]) == "--screenshot")
    return Screenshot(argv[2], argv[4]);
  const int count = argc > 1 ? std::max(4, std::atoi(argv[1])) : 1000;
  const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "pagewend-page-view-bench";
  std::filesystem::create_directories(scratch);
  // A few distinct scans, shared by the pages: every page is still decoded on its own.
  const auto scans = bench::MakePages(scratch, 8);
  auto book = std::make_shared<reading::Book>();
  book->title = "Generated book";
  book->pageWidth = 595;
  book->pageHeight = 842;
  for (int i = 0; i < count; ++i) {
    reading::Page page;
    page.background = 0xFFFFFF;
    page.parts.push_back({reading::PagePart::Kind::Image,
                          {0, 0, 595, 842},
                          scans[static_cast<std::size_t>(i) % scans.size()],
                          {},
                          {}});
    book->pages.push_back(std::move(page));
  }
  const long baseMiB = ResidentMiB();

  std::vector<double> anchors, opens, longest, dropped, ready, paints;
  for (int run = 0; run < 5; ++run) {
    shell::PageView view;
    view.resize(1280, 800);
    view.show();
    QTest::qWait(50);
    // The anchor: one page at the size the view shows it, on this thread.
    const reading::Placement placed = [&] {
      view.SetBook(book);
      return view.CurrentPlacement();
    }();
    const auto& rect = placed.pages.front().rect;
    QElapsedTimer clock;
    clock.start();
    (void)imaging::RenderPage(book->pages[1], book->pageWidth, book->pageHeight,
                              {static_cast<int>(rect.width), static_cast<int>(rect.height)});
    anchors.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);

    shell::PageView fresh;
    fresh.resize(1280, 800);
    fresh.show();
    QTest::qWait(50);
    clock.restart();
    fresh.SetBook(book);
    if (!WaitFinished(fresh, 10000)) std::fprintf(stderr, "first spread not shown in 10 s\n");
    opens.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);

    // Turning at a reader's pace: a turn every 0.4 s.
    Heartbeat beat;
    int readyTurns = 0;
    const int turns = 20;
    beat.Start();
    double paintMost = 0;
    const auto paint = [&] {
      QElapsedTimer frame;
      frame.start();
      fresh.Canvas()->repaint();
      paintMost = std::max(paintMost, static_cast<double>(frame.nsecsElapsed()) / 1e6);
    };
    for (int t = 0; t < turns; ++t) {
      fresh.NextSpread();
      Pump(110);  // halfway through the turn's animation
      paint();
      Pump(120);
      if (fresh.ShowsFinishedSpread()) ++readyTurns;
      paint();
      Pump(170);
    }
    paints.push_back(paintMost);
    beat.Stop();
    longest.push_back(beat.Longest());
    dropped.push_back(beat.Dropped());
    ready.push_back(100.0 * readyTurns / turns);
  }

  // Paging through the whole book, each spread waited for.
  long peakMiB = 0;
  {
    shell::PageView view;
    view.resize(1280, 800);
    view.show();
    view.SetBook(book);
    // Unseen, so that pages turn without their animation: the decoding is what is measured here.
    view.hide();
    QElapsedTimer clock;
    clock.start();
    const reading::Spreads spreads(count, reading::SpreadMode::Double);
    for (int s = 0; s < spreads.Count(); ++s) {
      view.GoToPage(spreads.At(s).first);
      WaitFinished(view, 10000);
      peakMiB = std::max(peakMiB, ResidentMiB());
    }
    std::printf("paged through %d pages in %.1f s\n", count, static_cast<double>(clock.elapsed()) / 1000.0);
  }
  const long afterMiB = ResidentMiB();
  std::filesystem::remove_all(scratch);

  std::printf("pages                       %d (A4, 300 dpi JPEG, view 1280 x 800)\n", count);
  std::printf("anchor: one page composed   %.1f ms (median of 5)\n", Median(anchors));
  std::printf("open to first spread        %.1f ms (median of 5), %.1f x anchor\n", Median(opens),
              Median(opens) / Median(anchors));
  std::printf("longest GUI stretch, turns  %.1f ms (median of 5 runs of 20 turns)\n", Median(longest));
  std::printf("longest frame's painting     %.1f ms (median of 5 runs)\n", Median(paints));
  std::printf("stretches over 16 ms        %.0f (median per run)\n", Median(dropped));
  std::printf("turns found decoded         %.0f %% (median)\n", Median(ready));
  std::printf("resident memory             %ld MiB before, %ld MiB peak while paging, %ld MiB after\n",
              baseMiB, peakMiB, afterMiB);
  return 0;
}
