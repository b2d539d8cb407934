#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <fstream>

#include "player/flash_request_parser.h"
#include "shell/main_window.h"
#include "shell/movie_input.h"
#include "shell/ruffle_movie_host.h"
#include "shell/viewer_book.h"
#include "testing/temp_dir.h"

namespace pagewend::shell {
namespace {

using player::FlashRequestParser;

namespace fs = std::filesystem;

// A book whose movies are programs like the viewers real books carry (tests/movies/), played the
// whole way: unpacked, its preloader loading the framework, the framework loading the rest.
class ViewerMovie : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef PAGEWEND_SANITIZED
    GTEST_SKIP() << "Chromium (QtWebEngine) is not built for AddressSanitizer";
#endif
  }

  void Play(bool withSecondImage) {
    testing::WriteViewerBook(dir_ / "book.exe", withSecondImage);
    run_.bookFile = dir_ / "book.exe";
    run_.programFolder = dir_ / "program";
    run_.workingFolder = dir_ / "{RUN}";
    host_ = new RuffleMovieHost();
    calls_ = std::make_unique<QSignalSpy>(host_, &MovieHost::FlashCall);
    window_ = std::make_unique<MainWindow>(run_, host_, log_);
    window_->show();
  }

  // The calls named name so far, as their arguments.
  std::vector<std::vector<std::string>> Calls(const std::string& name) const {
    std::vector<std::vector<std::string>> out;
    for (const QList<QVariant>& call : *calls_) {
      const FlashRequestParser request(call[0].toString().toStdString());
      if (request.GetName() == name) out.push_back(request.Arguments());
    }
    return out;
  }

  // Waits for the framework's verdict: ok, or the step that failed and why.
  std::vector<std::string> Verdict() {
    for (int i = 0; i < 240 && Calls("pagewend_test").empty(); ++i) calls_->wait(500);
    const auto verdicts = Calls("pagewend_test");
    return verdicts.empty() ? std::vector<std::string>{"no verdict"} : verdicts.front();
  }

  pagewend::testing::TempDir dir_;
  PlayerRun run_;
  std::shared_ptr<const RunLog> log_;
  RuffleMovieHost* host_ = nullptr;
  std::unique_ptr<QSignalSpy> calls_;
  std::unique_ptr<MainWindow> window_;
};

// Every step a real viewer takes succeeds: the framework by a name relative to the start movie,
// the kept book document, a language file from the book's archive, the pages' images by the book's
// Windows names and by a name in other case and separators, a sound, a bookmark and a call to the
// player; then the reader's keys turn its pages.
TEST_F(ViewerMovie, ARealViewerFindsEveryFileOfItsBookAndTurnsPages) {
  Play(true);
  ASSERT_EQ(Verdict(), std::vector<std::string>{"ok"});
  EXPECT_EQ(Calls("fullscreen_error").size(), 1u);
  QTest::keyClick(&testing::MovieInput(*host_), Qt::Key_Right);
  for (int i = 0; i < 20 && Calls("pagewend_page").empty(); ++i) calls_->wait(500);
  ASSERT_FALSE(Calls("pagewend_page").empty());
  EXPECT_EQ(Calls("pagewend_page").back(), std::vector<std::string>{"2"});
}

// A page image the book names but does not hold fails the framework's own way, at once.
TEST_F(ViewerMovie, AMissingPageImageIsTheViewersFailureNotAHang) {
  Play(false);
  const std::vector<std::string> verdict = Verdict();
  ASSERT_GE(verdict.size(), 2u) << verdict.front();
  EXPECT_EQ(verdict[0], "failed");
  EXPECT_EQ(verdict[1], "images");
}

}  // namespace
}  // namespace pagewend::shell
