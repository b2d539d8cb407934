// Times the player over a generated book: window shown -> loaded, and loaded -> the movie's first
// frame (its first ExternalInterface call, made on frame 1). Two cases: the book is loaded as soon
// as it can be (Ruffle may still be compiling), and the book takes as long to unpack as Ruffle to
// start (the movie host is started with the window, so this is the usual case for a real book).
// Optionally saves a screenshot of the playing window.
//
//   player_bench [--runs N] [--screenshot FILE] [--book FILE]
//
// With --book the player unpacks and plays that book (the demo book, say) instead, and the
// first frame is the movie's start as the page reports it.
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

#include <fstream>
#include "package/package_writer.h"
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
      std::ofstream(window.Paths().StartMovie(true), std::ios::binary) << movie;
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

}  // namespace

int main(int argc, char** argv) {
  shell::RuffleMovieHost::PrepareProcess();
  QApplication app(argc, argv);
  int runs = 5;
  QString screenshot;
  fs::path book;
  const QStringList args = QCoreApplication::arguments();
  for (qsizetype i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--runs")
      runs = std::max(1, args[++i].toInt());
    else if (args[i] == "--screenshot")
      screenshot = args[++i];
    else if (args[i] == "--book")
      book = fs::absolute(args[++i].toStdString());
  }
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
