#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "player/flash_request_parser.h"
#include "shell/main_window.h"
#include "shell/page_view.h"
#include "shell/movie_input.h"
#include "shell/ruffle_movie_host.h"
#include "shell/shell_fixtures.h"
#include "testing/temp_dir.h"

namespace pagewend::shell {
namespace {

using player::FlashRequestParser;

namespace fs = std::filesystem;

class MoviePlay : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef PAGEWEND_SANITIZED
    GTEST_SKIP() << "Chromium (QtWebEngine) is not built for AddressSanitizer";
#endif
  }

  // A window about to play a generated book whose start movie is `movie`.
  MainWindow& Player(std::string movie) {
    testing::WriteBookPackage(dir_ / "book.exe", "Test book", std::move(movie));
    run_.bookFile = dir_ / "book.exe";
    run_.programFolder = dir_ / "program";
    run_.workingFolder = dir_ / "{RUN}";
    host_ = new RuffleMovieHost();
    window_ = std::make_unique<MainWindow>(run_, host_, log_);
    return *window_;
  }

  pagewend::testing::TempDir dir_;
  PlayerRun run_;
  std::shared_ptr<const RunLog> log_;
  RuffleMovieHost* host_ = nullptr;
  std::unique_ptr<MainWindow> window_;
};

// The whole way: a generated book, unpacked by the loader, its start movie played by Ruffle; the
// movie's calls reach the window, known or not.
TEST_F(MoviePlay, BookMovieCallsReachTheWindowAndToggleIt) {
  MainWindow& window = Player(testing::CallingMovie());
  RuffleMovieHost* host = host_;
  QSignalSpy calls(host, &MovieHost::FlashCall);
  QSignalSpy loaded(&window, &MainWindow::BookLoaded);
  QSignalSpy started(host, &MovieHost::MovieStarted);
  window.show();
  ASSERT_TRUE(loaded.count() > 0 || loaded.wait(20000));
  EXPECT_TRUE(window.BorderNone());
  for (int i = 0; i < 120 && calls.count() < 2; ++i) calls.wait(500);
  ASSERT_EQ(calls.count(), 2);
  const FlashRequestParser first(calls[0][0].toString().toStdString());
  EXPECT_EQ(first.GetName(), "fullscreen_error");
  EXPECT_TRUE(first.Arguments().empty());
  // The first call took the window out of full screen again.
  EXPECT_FALSE(window.BorderNone());
  const QString second = calls[1][0].toString();
  EXPECT_EQ(second,
            "<invoke name=\"nothing_defines_this\" returntype=\"xml\"><arguments><number>42</number>"
            "<true/><string>&lt;&amp;&quot;</string></arguments></invoke>");
  EXPECT_EQ(FlashRequestParser(second.toStdString()).Arguments(),
            (std::vector<std::string>{"42", "", "<&\""}));
  // The movie drew its blue rectangle (the frame may reach the screen a little after the calls).
  bool blue = false;
  for (int attempt = 0; attempt < 50 && !blue; ++attempt) {
    QTest::qWait(100);
    const QImage frame = host->grab().toImage();
    for (int y = 0; y < frame.height() && !blue; y += 4)
      for (int x = 0; x < frame.width() && !blue; x += 4)
        blue = frame.pixelColor(x, y) == QColor(0x33, 0x66, 0xCC);
  }
  EXPECT_TRUE(blue);
  // The book's movie started once; the page's own warm-up movie never counts as its start.
  EXPECT_EQ(started.count(), 1);
}

// A movie's links leave for the desktop's opener only on the reader's click, one a click, http(s)
// and mailto only, and never move the movie's own page; script and file URLs and a mail link's
// attachment go nowhere.
TEST_F(MoviePlay, LinksLeaveOnlyOnTheReadersClick) {
  MainWindow& window = Player(testing::LinkingMovie());
  RuffleMovieHost* host = host_;
  QStringList opened;
  window.SetLinkOpener([&](const QUrl& url) { opened << url.toString(QUrl::FullyEncoded); });
  QSignalSpy calls(host, &MovieHost::FlashCall);
  window.show();
  const auto callNamed = [&](const char* name) {
    const auto seen = [&] {
      for (const QList<QVariant>& call : calls)
        if (FlashRequestParser(call[0].toString().toStdString()).GetName() == name) return true;
      return false;
    };
    for (int i = 0; i < 120 && !seen(); ++i) calls.wait(500);
    return seen();
  };
  ASSERT_TRUE(callNamed("links_ready"));
  // The stage of 400 x 300, shown whole and centred: its left half, then its right.
  const auto click = [&](double x) {
    const double scale = std::min(host->width() / 400.0, host->height() / 300.0);
    testing::ClickMovie(
        *host, {static_cast<int>((host->width() - 400 * scale) / 2 + x * scale), host->height() / 2});
  };
  click(100);
  ASSERT_TRUE(callNamed("links_done"));
  click(300);
  ASSERT_TRUE(callNamed("mail_done"));
  // A link in the movie's own window comes as the page's navigation, which may follow the call.
  for (int i = 0; i < 100 && opened.size() < 2; ++i) QTest::qWait(50);
  EXPECT_EQ(opened.join(' ').toStdString(),
            "https://example.org/new-window mailto:someone@example.org?subject=Hello");
  // The page is still the movie's.
  EXPECT_EQ(host->Movie().filename(), "book.swf");
}

// Were a script to run in the page after all, it would find no object of the player's, no WebRTC
// and no token for the player's requests; and WebRTC, from any script at all, sends no packet.
TEST_F(MoviePlay, ThePageHoldsNoWayOutForAScript) {
  RuffleMovieHost host;
  QSignalSpy ready(&host, &RuffleMovieHost::PlayerReady);
  QSignalSpy started(&host, &MovieHost::MovieStarted);
  QSignalSpy calls(&host, &MovieHost::FlashCall);
  host.resize(400, 300);
  host.show();
  ASSERT_TRUE(ready.count() > 0 || ready.wait(30000));
  QWebEnginePage* page = host.findChild<QWebEngineView*>()->page();
  const auto run = [page](const QString& script, quint32 world) {
    QVariant result;
    bool done = false;
    page->runJavaScript(script, world, [&](const QVariant& value) {
      result = value;
      done = true;
    });
    for (int i = 0; i < 100 && !done; ++i) QTest::qWait(50);
    return result.toString();
  };
  EXPECT_EQ(run(QStringLiteral("[typeof qt, typeof QWebChannel, typeof RTCPeerConnection,"
                               " typeof webkitRTCPeerConnection].join()"),
                QWebEngineScript::MainWorld),
            QStringLiteral("undefined,undefined,undefined,undefined"));
  // The page's own script, which holds the token, is no file for a movie: Ruffle loads a movie's
  // files the way this request does.
  for (const char* path : {"player/host.js", "player/index.html", "player/./host.js", "player/%68ost.js"})
    EXPECT_EQ(
        run(QStringLiteral("(() => { const x = new XMLHttpRequest();"
                           " x.open('GET', 'pagewend://book/%1', false);"
                           " try { x.send(); return x.responseText.includes('bridge/') ? 'read' : 'empty'; }"
                           " catch (e) { return 'refused'; } })()")
                .arg(QLatin1String(path)),
            QWebEngineScript::MainWorld),
        QStringLiteral("refused"))
        << path;
  // A request for the player's bridge without the page's token is refused, and nothing arrives.
  EXPECT_EQ(
      run(QStringLiteral("(() => { const x = new XMLHttpRequest();"
                         " x.open('GET', 'pagewend://book/bridge/guess/call?forged', false);"
                         " try { x.send(); return String(x.status); } catch (e) { return 'refused'; } })()"),
          QWebEngineScript::MainWorld),
      QStringLiteral("refused"));

  // A world of its own still has WebRTC; it gathers no candidates over UDP.
  QUdpSocket stun;
  ASSERT_TRUE(stun.bind(QHostAddress::LocalHost, 0));
  const QString made = run(QStringLiteral("(() => { const pc = new RTCPeerConnection({iceServers: [{urls:"
                                          " 'stun:127.0.0.1:%1'}]}); pc.createDataChannel('d');"
                                          " pc.createOffer().then((o) => pc.setLocalDescription(o));"
                                          " window.keep = pc; return 'made'; })()")
                               .arg(stun.localPort()),
                           QWebEngineScript::ApplicationWorld);
  EXPECT_EQ(made, QStringLiteral("made"));
  // Once the candidates are gathered, any request to the STUN server would have been sent.
  QString gathering;
  for (int i = 0; i < 200 && gathering != QLatin1String("complete"); ++i) {
    QTest::qWait(25);
    gathering = run(QStringLiteral("window.keep.iceGatheringState"), QWebEngineScript::ApplicationWorld);
  }
  EXPECT_EQ(gathering, QStringLiteral("complete"));
  QCoreApplication::processEvents();
  EXPECT_FALSE(stun.hasPendingDatagrams());
  EXPECT_EQ(calls.count(), 0);
  // A page with no movie plays only its warm-up movie, which is no start of the book's.
  EXPECT_EQ(started.count(), 0);
}

// A movie the emulator cannot play (a compressed body that is not one) gives way as soon as
// the emulator shows its error, not when the wait for a first frame runs out.
TEST_F(MoviePlay, ADamagedMovieGivesWayAtOnce) {
  std::string damaged("CWS\x0a\x00\x10\x00\x00", 8);
  damaged += std::string(4000, '\x5a');
  run_.movieStartMs = 60000;
  MainWindow& window = Player(damaged);
  QSignalSpy failed(host_, &MovieHost::MovieFailed);
  window.show();
  ASSERT_TRUE(failed.count() > 0 || failed.wait(20000));
  EXPECT_TRUE(failed[0][0].toString().contains(QStringLiteral("cannot play the movie")))
      << failed[0][0].toString().toStdString();
  // The pages when the book has any, else the window's sentence.
  for (int i = 0; i < 200 && !window.Failed() && !window.ShowsPages(); ++i) QTest::qWait(25);
  const QString said = window.Failed() ? window.ProblemText() : window.Pages()->Note();
  EXPECT_TRUE(said.contains(QStringLiteral("could not be played"))) << said.toStdString();
}

// The movie may start before the book's page images are all made: its request for one still in
// making waits and then gets the image, while a file that is simply missing is refused at once.
TEST_F(MoviePlay, ARequestForAnImageInMakingWaitsForIt) {
  RuffleMovieHost host;
  QSignalSpy ready(&host, &RuffleMovieHost::PlayerReady);
  host.resize(400, 300);
  host.show();
  const fs::path folder = dir_ / "files";
  fs::create_directories(folder / "res/thumbnails");
  pagewend::testing::WriteFile(folder / "book.swf", testing::CallingMovie());
  auto inMaking = std::make_shared<book::FilesInMaking>();
  inMaking->Add(folder / "res/thumbnails/thumb_0.png");
  host.AwaitFiles(inMaking);
  host.SetMovie(folder / "book.swf");
  ASSERT_TRUE(ready.count() > 0 || ready.wait(30000));

  QWebEnginePage* page = host.findChild<QWebEngineView*>()->page();
  QStringList answers;
  const auto ask = [&](const QString& name) {
    page->runJavaScript(
        QStringLiteral("(() => { const x = new XMLHttpRequest();"
                       " x.open('GET', 'pagewend://book/movie/%1');"
                       " x.onloadend = () => document.title = x.status + ' ' + x.responseText;"
                       " x.send(); })()")
            .arg(name));
  };
  QObject::connect(page, &QWebEnginePage::titleChanged, [&](const QString& title) { answers << title; });
  ask(QStringLiteral("res/thumbnails/missing.png"));
  for (int i = 0; i < 100 && answers.isEmpty(); ++i) QTest::qWait(50);
  ASSERT_EQ(answers.size(), 1);
  EXPECT_FALSE(answers[0].startsWith(QLatin1String("200"))) << answers[0].toStdString();

  // Named as a movie made on Windows may name it.
  ask(QStringLiteral("RES/Thumbnails/Thumb_0.PNG"));
  for (int i = 0; i < 200 && inMaking->Waiting() == 0; ++i) QTest::qWait(25);
  ASSERT_EQ(inMaking->Waiting(), 1u);
  QCoreApplication::processEvents();
  EXPECT_EQ(answers.size(), 1);  // still waiting
  pagewend::testing::WriteFile(folder / "res/thumbnails/thumb_0.png", "MADE");
  inMaking->Done(folder / "res/thumbnails/thumb_0.png");
  for (int i = 0; i < 100 && answers.size() < 2; ++i) QTest::qWait(50);
  ASSERT_EQ(answers.size(), 2);
  EXPECT_EQ(answers[1], QStringLiteral("200 MADE"));
}

// Old books' ActionScript 2 movies load their own files by names relative to the movie's folder,
// some written on Windows with "\": each way they load them gets the file's content, and a file
// the book lacks is refused rather than answered with something else.
TEST_F(MoviePlay, As2MovieLoadsItsFilesByRelativeNames) {
  QImage image(37, 23, QImage::Format_RGB32);
  image.fill(QColor(0xCC, 0x33, 0x33));
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(image.save(&buffer, "JPEG"));
  for (const bool withList : {true, false}) {
    SCOPED_TRACE(withList ? "every file" : "no data/list.xml");
    std::vector<std::pair<std::string, std::string>> files = {{"vars.txt", "greeting=hello&count=3"},
                                                              {"pic.jpg", jpeg.toStdString()}};
    if (withList)
      files.emplace_back(
          "data/list.xml",
          "<?xml version=\"1.0\"?>\n<list>\n  <item name=\"first\"/>\n  <item name=\"second\"/>\n</list>\n");
    const fs::path folder = dir_ / (withList ? "whole" : "without-list");
    fs::create_directories(folder);
    testing::WriteBookWithFiles(folder / "book.exe", testing::LoadingMovie(), files);
    run_.bookFile = folder / "book.exe";
    run_.programFolder = folder / "program";
    run_.workingFolder = folder / "{RUN}";
    window_.reset();
    host_ = new RuffleMovieHost();
    window_ = std::make_unique<MainWindow>(run_, host_, log_);
    QSignalSpy calls(host_, &MovieHost::FlashCall);
    window_->show();
    for (int i = 0; i < 120 && calls.count() < 1; ++i) calls.wait(500);
    ASSERT_EQ(calls.count(), 1);
    const FlashRequestParser call(calls[0][0].toString().toStdString());
    EXPECT_EQ(call.GetName(), "pagewend_as2");
    // LoadVars, loadVariables into a clip, XML with white space ignored, loadMovie of a JPEG.
    const std::vector<std::string> expected = withList ? std::vector<std::string>{"hello", "3", "first", "37"}
                                                       : std::vector<std::string>{"failed", "data\\list.xml"};
    EXPECT_EQ(call.Arguments(), expected);
  }
}

}  // namespace
}  // namespace pagewend::shell
