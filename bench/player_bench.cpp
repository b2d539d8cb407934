// Times the player over a generated book: window shown -> loaded, and loaded -> the movie's first
// frame (its first ExternalInterface call, made on frame 1). Two cases: the book is loaded as soon
// as it can be (Ruffle may still be compiling), and the book takes as long to unpack as Ruffle to
// start (the movie host is started with the window, so this is the usual case for a real book).
// Optionally saves a screenshot of the playing window.
//
//   player_bench [--runs N] [--screenshot FILE] [--book FILE]
//   player_bench --process [--runs N] [--book FILE]
//
// With --book the player unpacks and plays that book (the demo book, say) instead, and the
// first frame is the movie's start as the page reports it.
//
// With --process every run is a new process of this program, timed from the moment it is
// started: the window shown, the book loaded, the movie's first frame. In the same run the
// engine's floor: a bare web view, started the same way, showing a coloured page. Each kind runs
// first with an empty cache folder (XDG_CACHE_HOME), then again with the one it left. The books:
// --book (the demo book, say) and a generated 200-page book of A4 scans with a start movie.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <array>
#include <fstream>

#include "package/package_writer.h"
#include "page_generator.h"
#include "shell/main_window.h"
#include "shell/ruffle_movie_host.h"
#include "swf/swf_writer.h"

namespace {

using namespace pagewend;
namespace fs = std::filesystem;

constexpr std::int32_t kTwips = 20;

swf::SwfRect Box(int x, int y, int w, int h) {
  return {x * kTwips, (x + w) * kTwips, y * kTwips, (y + h) * kTwips};
}

// A two-page spread per frame with text lines, previous/next buttons and a full-screen button,
// the shape of a page-turning book's start movie.
std::string BookMovie() {
  swf::SwfWriter movie(10, Box(0, 0, 900, 600), 24);
  movie.SetBackgroundColor({0x3A, 0x3F, 0x4B});
  movie.DefineRectangle(1, Box(0, 0, 400, 520), {0xFB, 0xF8, 0xF0});  // page
  movie.DefineRectangle(2, Box(0, 0, 6, 520), {0x9A, 0x8F, 0x7E});    // spine
  movie.DefineRectangle(3, Box(0, 0, 300, 8), {0x8C, 0x8C, 0x94});    // text line
  movie.DefineRectangle(4, Box(0, 0, 300, 22), {0x2E, 0x5C, 0x8A});   // heading
  movie.DefineRectangle(5, Box(0, 0, 260, 150), {0xC9, 0xD8, 0xE8});  // picture
  movie.DefineRectangle(6, Box(0, 0, 44, 28), {0xE8, 0x9B, 0x3C});    // button face
  swf::SwfActions previous;
  previous.PreviousFrame();
  swf::SwfActions next;
  next.NextFrame();
  swf::SwfActions fullScreen;
  fullScreen.CallExternal("fullscreen_error");
  movie.DefineButton(7, 6, previous);
  movie.DefineButton(8, 6, next);
  movie.DefineButton(9, 6, fullScreen);

  std::uint16_t depth = 1;
  movie.PlaceObject(depth++, 1, 47 * kTwips, 30 * kTwips);
  movie.PlaceObject(depth++, 1, 453 * kTwips, 30 * kTwips);
  movie.PlaceObject(depth++, 2, 447 * kTwips, 30 * kTwips);
  movie.PlaceObject(depth++, 7, 330 * kTwips, 560 * kTwips);
  movie.PlaceObject(depth++, 8, 526 * kTwips, 560 * kTwips);
  movie.PlaceObject(depth++, 9, 840 * kTwips, 560 * kTwips);
  swf::SwfActions first;
  first.CallExternal("first_frame").Stop();
  const std::uint16_t pageDepth = depth;
  for (int spread = 0; spread < 3; ++spread) {
    std::uint16_t d = pageDepth;
    if (spread > 0)
      for (std::uint16_t r = pageDepth; r < pageDepth + 40; ++r) movie.RemoveObject(r);
    for (int side = 0; side < 2; ++side) {
      const int left = side == 0 ? 87 : 493;
      movie.PlaceObject(d++, 4, left * kTwips, 70 * kTwips);
      int y = 110;
      if ((spread + side) % 2 == 1) {
        movie.PlaceObject(d++, 5, (left + 20) * kTwips, y * kTwips);
        y += 170;
      }
      for (; y < 500 && d < pageDepth + 40; y += 20) movie.PlaceObject(d++, 3, left * kTwips, y * kTwips);
    }
    swf::SwfActions stop;
    stop.Stop();
    movie.DoAction(spread == 0 ? first : stop);
    movie.ShowFrame();
  }
  return movie.Finish();
}

struct Times {
  double loaded = 0;      // window shown -> loaded, ms
  double firstFrame = 0;  // loaded -> first call, ms
};

bool WaitFor(const bool& flag, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!flag && timer.elapsed() < timeoutMs)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return flag;
}

Times RunOnce(const fs::path& scratch, const std::string& movie, bool unpackAsLongAsRuffleStarts,
              const QString& screenshot, const fs::path& givenBook = {}) {
  const fs::path book = givenBook.empty() ? scratch / "book.bin" : givenBook;
  if (givenBook.empty()) {
    package::PackageWriter writer(book);
    writer.Finish(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><book><Chapters/></book>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><project><exetitle>A generated book</exetitle></project>");
  }
  shell::PlayerRun run;
  run.bookFile = book;
  run.programFolder = scratch;
  run.workingFolder = scratch / "run";
  std::shared_ptr<const RunLog> log;
  auto* host = new shell::RuffleMovieHost();
  shell::MainWindow window(run, host, log);
  bool ready = false;
  bool loaded = false;
  bool called = false;
  QElapsedTimer clock;
  qint64 loadedAt = 0;
  qint64 calledAt = 0;
  QObject::connect(host, &shell::RuffleMovieHost::PlayerReady, &window, [&] { ready = true; });
  if (givenBook.empty())
    QObject::connect(&window, &QWidget::windowTitleChanged, &window, [&] {
      // The start movie is in place before loaded, as the unpacker leaves it.
      std::ofstream(window.Paths() / layout::kStartMovie, std::ios::binary) << movie;
      if (unpackAsLongAsRuffleStarts) WaitFor(ready, 60000);
    });
  QObject::connect(&window, &shell::MainWindow::BookLoaded, &window, [&] {
    loaded = true;
    loadedAt = clock.elapsed();
  });
  const auto firstFrame = [&] {
    if (!called) calledAt = clock.elapsed();
    called = true;
  };
  if (givenBook.empty())
    QObject::connect(host, &shell::MovieHost::FlashCall, &window, firstFrame);
  else
    QObject::connect(host, &shell::RuffleMovieHost::MovieStarted, &window, firstFrame);
  clock.start();
  window.show();
  if (!WaitFor(loaded, 60000) || !WaitFor(called, 60000)) {
    std::fprintf(stderr, "player_bench: the book did not play\n");
    std::exit(1);
  }
  if (!screenshot.isEmpty()) {
    bool later = false;
    QTimer::singleShot(1500, [&] { later = true; });
    WaitFor(later, 5000);
    QPixmap shot = window.screen()->grabWindow(0);
    if (shot.isNull() || shot.toImage().pixelColor(10, 10) == QColor(Qt::black)) shot = window.grab();
    if (!shot.save(screenshot))
      std::fprintf(stderr, "player_bench: cannot save %s\n", qPrintable(screenshot));
  }
  return {static_cast<double>(loadedAt), static_cast<double>(calledAt - loadedAt)};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Milliseconds since the parent started this process.
double Since(std::int64_t startNs) { return static_cast<double>(MonotonicNs() - startNs) / 1e6; }

// A child: plays book, prints "shown loaded frame" in ms since start, and ends once the book is
// both loaded and playing.
int ChildPlay(const fs::path& book, std::int64_t startNs) {
  const fs::path scratch =
      fs::temp_directory_path() / ("pagewend-player-child-" + std::to_string(::getpid()));
  fs::create_directories(scratch);
  double shown = 0, loaded = 0, frame = 0;
  {
    shell::PlayerRun run;
    run.bookFile = book;
    run.programFolder = scratch;
    std::shared_ptr<const RunLog> log;
    auto* host = new shell::RuffleMovieHost();
    shell::MainWindow window(run, host, log);
    // The movie may start before the book is loaded (its page images still being made).
    QObject::connect(&window, &shell::MainWindow::BookLoaded, &window, [&] {
      loaded = Since(startNs);
      if (frame > 0) QCoreApplication::quit();
    });
    QObject::connect(host, &shell::MovieHost::MovieStarted, &window, [&] {
      if (frame == 0) frame = Since(startNs);
      if (loaded > 0) QCoreApplication::quit();
    });
    window.show();
    QTimer::singleShot(0, &window, [&] { shown = Since(startNs); });
    QTimer::singleShot(60000, &window, [] { QCoreApplication::quit(); });
    QApplication::exec();
  }
  std::error_code ec;
  fs::remove_all(scratch, ec);
  std::printf("%.1f %.1f %.1f\n", shown, loaded, frame);
  return frame > 0 ? 0 : 1;
}

// A child: the engine's floor, a web view that shows a coloured page, in an off-the-record
// profile as the movie host has; prints "shown 0 frame".
int ChildFloor(std::int64_t startNs) {
  double shown = 0, frame = 0;
  {
    QWebEngineProfile profile;
    QWebEngineView view;
    auto* page = new QWebEnginePage(&profile, &view);
    view.setPage(page);
    view.resize(900, 600);
    QObject::connect(page, &QWebEnginePage::loadFinished, &view, [&](bool ok) {
      if (ok && frame == 0) frame = Since(startNs);
      QCoreApplication::quit();
    });
    view.setHtml(QStringLiteral("<html><body style=\"background:#3a7f4b\"></body></html>"));
    view.show();
    QTimer::singleShot(0, &view, [&] { shown = Since(startNs); });
    QTimer::singleShot(60000, &view, [] { QCoreApplication::quit(); });
    QApplication::exec();
  }
  std::printf("%.1f 0 %.1f\n", shown, frame);
  return frame > 0 ? 0 : 1;
}

struct Start {
  double shown = 0, loaded = 0, frame = 0;
};

// Runs this program as a child of the given kind with a cache folder of its own; its figures.
Start RunChild(const std::vector<std::string>& childArgs, const fs::path& cache) {
  std::array<int, 2> pipe{};
  if (::pipe(pipe.data()) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe[0]);
  // The engine's start-up chatter would bury the figures.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const std::string self = QCoreApplication::applicationFilePath().toStdString();
  std::vector<std::string> args{self};
  args.insert(args.end(), childArgs.begin(), childArgs.end());
  args.push_back(std::to_string(MonotonicNs()));
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string_view(*e).substr(0, 15) != "XDG_CACHE_HOME=") env.emplace_back(*e);
  env.push_back("XDG_CACHE_HOME=" + cache.string());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) std::exit(1);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  std::string out;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
    out.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  Start start;
  if (std::sscanf(out.c_str(), "%lf %lf %lf", &start.shown, &start.loaded, &start.frame) != 3 ||
      start.frame <= 0 || (childArgs[0] == "--child-play" && start.loaded <= 0)) {
    std::fprintf(stderr, "player_bench: a run of %s did not show its first frame\n", childArgs[0].c_str());
    std::exit(1);
  }
  return start;
}

int ProcessStarts(const fs::path& demo, int runs) {
  const fs::path scratch =
      fs::temp_directory_path() / ("pagewend-player-bench-" + std::to_string(::getpid()));
  fs::create_directories(scratch);
  const fs::path generated = scratch / "generated.pagewend";
  bench::MakeBook(generated, 200, BookMovie());
  struct Kind {
    std::string name;
    std::vector<std::string> args;
    std::vector<Start> first, second;
  };
  std::vector<Kind> kinds{{"engine floor (a coloured page)", {"--child-floor"}, {}, {}},
                          {"generated 200-page book", {"--child-play", generated.string()}, {}, {}}};
  if (!demo.empty())
    kinds.insert(kinds.begin() + 1, Kind{demo.filename().string(), {"--child-play", demo.string()}, {}, {}});
  for (int run = 0; run < runs; ++run) {
    for (Kind& kind : kinds) {
      const fs::path cache = scratch / ("cache-" + std::to_string(run));
      fs::remove_all(cache);
      fs::create_directories(cache);
      kind.first.push_back(RunChild(kind.args, cache));
      kind.second.push_back(RunChild(kind.args, cache));
    }
  }
  const auto median = [](const std::vector<Start>& starts, double Start::*field) {
    std::vector<double> values;
    for (const Start& s : starts) values.push_back(s.*field);
    return Median(values);
  };
  std::printf(
      "process start -> ..., ms, median of %d (first start: empty cache; second: the same cache again)\n",
      runs);
  double floorFirst = 0, floorSecond = 0;
  for (const Kind& kind : kinds) {
    for (const bool second : {false, true}) {
      const auto& starts = second ? kind.second : kind.first;
      const double frame = median(starts, &Start::frame);
      if (kind.args[0] == "--child-floor") {
        (second ? floorSecond : floorFirst) = frame;
        std::printf("  %-34s %s start: page shown %.0f\n", kind.name.c_str(), second ? "second" : "first",
                    frame);
        continue;
      }
      const double floor = second ? floorSecond : floorFirst;
      const double shown = median(starts, &Start::shown);
      const double loaded = median(starts, &Start::loaded);
      std::vector<double> afterLoaded;
      for (const Start& s : starts) afterLoaded.push_back(s.frame - s.loaded);
      std::printf(
          "  %-34s %s start: window shown %.0f, loaded %.0f, first frame %.0f = %.2f x floor; "
          "loaded -> first frame %.0f = %.2f x unpacking (shown -> loaded; below 0: the movie started "
          "while the page images were being made)\n",
          kind.name.c_str(), second ? "second" : "first", shown, loaded, frame, frame / floor,
          Median(afterLoaded), Median(afterLoaded) / std::max(1.0, loaded - shown));
    }
  }
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  shell::RuffleMovieHost::PrepareProcess();
  QApplication app(argc, argv);
  if (argc == 4 && std::string_view(argv[1]) == "--child-play")
    return ChildPlay(argv[2], std::atoll(argv[3]));
  if (argc == 3 && std::string_view(argv[1]) == "--child-floor") return ChildFloor(std::atoll(argv[2]));
  int runs = 5;
  bool process = false;
  QString screenshot;
  fs::path book;
  const QStringList args = QCoreApplication::arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == "--process")
      process = true;
    else if (i + 1 == args.size())
      break;
    else if (args[i] == "--runs")
      runs = std::max(1, args[++i].toInt());
    else if (args[i] == "--screenshot")
      screenshot = args[++i];
    else if (args[i] == "--book")
      book = fs::absolute(args[++i].toStdString());
  }
  if (process) return ProcessStarts(book, runs);
  const fs::path scratch =
      fs::temp_directory_path() / ("pagewend-player-bench-" + std::to_string(::getpid()));
  fs::create_directories(scratch);
  const std::string movie = BookMovie();
  if (!book.empty()) {
    std::vector<double> loadedMs;
    std::vector<double> firstMs;
    for (int i = 0; i < runs; ++i) {
      const Times t = RunOnce(scratch, movie, false, i == runs - 1 ? screenshot : QString(), book);
      loadedMs.push_back(t.loaded);
      firstMs.push_back(t.firstFrame);
    }
    std::printf("%s, median of %d: shown->loaded %.0f ms, loaded->first frame %.0f ms (max %.0f)\n",
                book.filename().c_str(), runs, Median(loadedMs), Median(firstMs),
                *std::max_element(firstMs.begin(), firstMs.end()));
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return 0;
  }

  const Times cold = RunOnce(scratch, movie, false, {});
  std::printf(
      "cold start (first window of the process): shown->loaded %.0f ms, loaded->first frame %.0f ms\n",
      cold.loaded, cold.firstFrame);
  for (bool slowUnpack : {false, true}) {
    std::vector<double> loadedMs;
    std::vector<double> firstMs;
    for (int i = 0; i < runs; ++i) {
      const Times t =
          RunOnce(scratch, movie, slowUnpack, slowUnpack && i == runs - 1 ? screenshot : QString());
      loadedMs.push_back(t.loaded);
      firstMs.push_back(t.firstFrame);
    }
    std::printf("%s, median of %d: shown->loaded %.0f ms, loaded->first frame %.0f ms (max %.0f)\n",
                slowUnpack ? "unpacking lasts until Ruffle has started" : "loaded at once", runs,
                Median(loadedMs), Median(firstMs), *std::max_element(firstMs.begin(), firstMs.end()));
  }
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return 0;
}
