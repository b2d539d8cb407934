#include "shell/ruffle_movie_host.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeDatabase>
#include <QPointer>
#include <QRandomGenerator>
#include <QResource>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <array>
#include <functional>
#include <future>
#include <mutex>
#include <optional>

#include "paths/book_file_lookup.h"
#include "paths/file_names.h"

namespace pagewend::shell {

namespace fs = std::filesystem;

namespace {

constexpr char kScheme[] = "pagewend";
constexpr char kHost[] = "book";
const QString kPageUrl = QStringLiteral("pagewend://book/player/index.html");

}  // namespace

namespace {

QByteArray MimeOf(const fs::path& file) {
  const std::string extension = file.extension().string();
  if (extension == ".html") return "text/html";
  if (extension == ".js") return "text/javascript";
  if (extension == ".wasm") return "application/wasm";
  if (extension == ".swf") return "application/x-shockwave-flash";
  return QMimeDatabase().mimeTypeForFile(QString::fromStdString(file.string())).name().toUtf8();
}

// Every request that is not for the book's scheme is refused: the book plays offline. The page
// and its script are loaded as a page and a script only: the script holds the bridge's token, and
// whatever a movie loads (a movie, an image, a text) comes as a request of another type.
class OfflineInterceptor final : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QUrl url = info.requestUrl();
    const QString scheme = url.scheme();
    if (scheme != QLatin1String(kScheme) && scheme != QLatin1String("data") &&
        scheme != QLatin1String("blob")) {
      info.block(true);
      return;
    }
    const QString path = url.path(QUrl::FullyDecoded);
    if (scheme == QLatin1String(kScheme) && path.startsWith(QLatin1String("/player/")) &&
        !path.startsWith(QLatin1String("/player/ruffle/")) &&
        info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame &&
        info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeScript)
      info.block(true);
  }
};

// The movie's page: it stays on itself. A navigation anywhere else (a movie's link opened in its
// own window) is handed to the player as a link request, and no new window is ever made.
class MoviePage final : public QWebEnginePage {
 public:
  MoviePage(QWebEngineProfile* profile, PageBridge* bridge, QObject* parent)
      : QWebEnginePage(profile, parent), bridge_(bridge) {}

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
    if (isMainFrame && url == QUrl(kPageUrl)) return true;
    emit bridge_->LinkRequested(url.toString(QUrl::FullyEncoded));
    return false;
  }
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

 private:
  PageBridge* bridge_;
};

}  // namespace

// Serves pagewend://book/player/... (the page, then Ruffle's files, both compiled in),
// pagewend://book/movie/... (the movie's folder) and the page's messages to the bridge. Runs on the GUI
// thread; the movie folder may change between requests.
class BookSchemeHandler final : public QWebEngineUrlSchemeHandler {
 public:
  BookSchemeHandler(PageBridge* bridge, QObject* parent)
      : QWebEngineUrlSchemeHandler(parent), bridge_(bridge) {
    // The core is stored compressed; unpacking it here would hold up this thread, and with it
    // every other request of the page, for tens of milliseconds just as the page asks for it.
    if (*PAGEWEND_RUFFLE_CORE != '\0')
      core_ = std::async(std::launch::async, [] {
        return QResource(QStringLiteral(":/pagewend/ruffle/" PAGEWEND_RUFFLE_CORE)).uncompressedData();
      });
  }

  void SetMovieFolder(fs::path folder) { movieFolder_ = std::move(folder); }
  ~BookSchemeHandler() override {
    if (inMaking_) inMaking_->DropWaiters(this);
  }

  void AwaitFiles(std::shared_ptr<const book::FilesInMaking> files) {
    if (inMaking_) inMaking_->DropWaiters(this);
    inMaking_ = std::move(files);
  }

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QUrl url = job->requestUrl();
    if (url.host() != QLatin1String(kHost) || job->requestMethod() != "GET") {
      job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    }
    const QString path = url.path(QUrl::FullyDecoded);
    if (path == QLatin1String("/player/index.html")) {
      ReplyResource(job, QStringLiteral(":/pagewend/page/index.html"));
      return;
    }
    if (path == QLatin1String("/player/host.js")) {
      QFile script(QStringLiteral(":/pagewend/page/host.js"));
      if (!script.open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
      }
      Reply(job, "text/javascript",
            script.readAll()
                .replace("@BRIDGE_TOKEN@", bridge_->Token().toLatin1())
                .replace("@RUFFLE_CORE@", PAGEWEND_RUFFLE_CORE));
      return;
    }
    const QString bridgePrefix = QStringLiteral("/bridge/") + bridge_->Token() + QLatin1Char('/');
    if (path.startsWith(bridgePrefix)) {
      const auto reply = bridge_->Receive(path.mid(bridgePrefix.size()), url.query(QUrl::FullyDecoded));
      if (reply)
        Reply(job, "text/plain", *reply);
      else
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    }
    if (path.startsWith(QLatin1String("/player/ruffle/"))) {
      // Ruffle's files are compiled in; a name is one of them or nothing.
      const QString name = path.mid(15);
      if (name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.')))
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      else if (name == QLatin1String(PAGEWEND_RUFFLE_CORE) && core_.valid())
        Reply(job, "application/wasm", core_.get());
      else
        ReplyResource(job, QStringLiteral(":/pagewend/ruffle/") + name);
      return;
    }
    std::optional<BookFileMatch> file;
    if (path.startsWith(QLatin1String("/movie/"))) {
      const QString name = path.mid(7);
      if (AwaitMaking(job, name)) return;
      file = FindBookFile(movieFolder_, name.toStdString());
      if (!file)
        Note(QStringLiteral("the movie asked for \"%1\", which is not among the book's files").arg(name));
      else if (!file->ambiguity.empty())
        Note(QStringLiteral("the movie asked for \"%1\": %2")
                 .arg(name, QString::fromStdString(file->ambiguity)));
    }
    if (!file) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    auto* device = new QFile(QString::fromStdString(file->file.string()), job);
    if (!device->open(QIODevice::ReadOnly)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    job->reply(MimeOf(file->file), device);
  }

  // Where the requests' notes go; the run log, through the host.
  std::function<void(const QString&)> onNote;

 private:
  // A request for a file still being made waits for it, and is asked again once it is made (by
  // one of the loader's workers, which reaches this thread through the event queue). True when
  // the request waits, or has failed because too many already do.
  bool AwaitMaking(QWebEngineUrlRequestJob* job, const QString& relative) {
    if (!inMaking_ || movieFolder_.empty()) return false;
    const std::optional<fs::path> joined = JoinInside(movieFolder_, relative.toStdString());
    if (!joined || !inMaking_->ContainsIgnoringCase(*joined)) return false;
    if (waiting_ >= kMaxWaiting) {
      Note(QStringLiteral("the movie asked for \"%1\" while %2 of its requests wait for files in making; "
                          "it is refused")
               .arg(relative)
               .arg(waiting_));
      job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return true;
    }
    const auto waiting = QPointer<QWebEngineUrlRequestJob>(job);
    const bool waits = inMaking_->WhenDone(*joined, this, [this, waiting] {
      QMetaObject::invokeMethod(
          this,
          [this, waiting] {
            --waiting_;
            if (waiting) requestStarted(waiting);
          },
          Qt::QueuedConnection);
    });
    if (!waits) return false;
    ++waiting_;
    return true;
  }

  // A movie that asks for the same missing file every frame must not fill the log.
  void Note(const QString& note) {
    if (notes_ < kMaxNotes && onNote) onNote(note);
    if (++notes_ == kMaxNotes && onNote) onNote(QStringLiteral("further requests of the movie go unlogged"));
  }

  static void ReplyResource(QWebEngineUrlRequestJob* job, const QString& resource) {
    auto* device = new QFile(resource, job);
    if (!device->open(QIODevice::ReadOnly)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    job->reply(MimeOf(resource.toStdString()), device);
  }

  static void Reply(QWebEngineUrlRequestJob* job, const QByteArray& type, const QByteArray& body) {
    auto* device = new QBuffer(job);
    device->setData(body);
    device->open(QIODevice::ReadOnly);
    job->reply(type, device);
  }

  static constexpr int kMaxNotes = 100;
  // A movie may ask for every page's images at once; more than this many waiting is no book's.
  static constexpr int kMaxWaiting = 1000;
  int waiting_ = 0;
  fs::path movieFolder_;
  PageBridge* bridge_;
  int notes_ = 0;
  std::shared_ptr<const book::FilesInMaking> inMaking_;
  // Ruffle's core, unpacked ahead and handed to the page's one request for it.
  std::future<QByteArray> core_;
};

PageBridge::PageBridge(QObject* parent) : QObject(parent) {
  std::array<quint32, 4> random;
  QRandomGenerator::system()->fillRange(random.data(), random.size());
  for (const quint32 word : random) token_ += QString::number(word, 16).rightJustified(8, QLatin1Char('0'));
}

std::optional<QByteArray> PageBridge::Receive(const QString& kind, const QString& text) {
  if (kind == QLatin1String("call"))
    emit FlashCall(text);
  else if (kind == QLatin1String("link"))
    emit LinkRequested(text);
  else if (kind == QLatin1String("started"))
    emit MovieStarted();
  else if (kind == QLatin1String("ready"))
    emit PlayerReady();
  else if (kind == QLatin1String("failed"))
    emit MovieFailed(text);
  else if (kind == QLatin1String("movie"))
    return movie_.toUtf8();
  else
    return std::nullopt;
  return QByteArray();
}

void RuffleMovieHost::PrepareProcess() {
  static std::once_flag once;
  std::call_once(once, [] {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
    // Paths the request interceptor never sees: WebRTC may send UDP to any address and port
    // (STUN) without a request, and the engine makes requests of its own in the background.
    // UDP only through a proxy, and there is none.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags +=
        " --force-webrtc-ip-handling-policy=disable_non_proxied_udp --disable-background-networking"
        " --no-pings --disable-domain-reliability --disable-component-update";
    // Ruffle's core is 14 MB of WebAssembly. At the engine's own budget, the functions that run
    // while a movie starts are optimised at once, on the cores that start the movie, and the
    // first frame comes about 0.4 s later; at this one only code that stays busy is optimised.
    if (!flags.contains("--js-flags=")) flags += " --js-flags=--wasm-tiering-budget=1000000000";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
  });
}

RuffleMovieHost::RuffleMovieHost(QWidget* parent)
    : MovieHost(parent),
      // The view before the profile: children go in the order they came, and the view's page
      // must go before the profile it uses.
      view_(new QWebEngineView(this)),
      profile_(new QWebEngineProfile(this)),  // off the record: nothing of a book stays on disk
      bridge_(new PageBridge(this)),
      scheme_(new BookSchemeHandler(bridge_, this)),
      page_(new MoviePage(profile_, bridge_, view_)) {
  profile_->installUrlSchemeHandler(kScheme, scheme_);
  scheme_->onNote = [this](const QString& note) { emit FileNote(note); };
  profile_->setUrlRequestInterceptor(new OfflineInterceptor(profile_));

  // Nothing the page needs, and each a way for it to reach further than its own files.
  QWebEngineSettings* settings = page_->settings();
  settings->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
  settings->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
  settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
  settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
  settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  page_->setBackgroundColor(Qt::white);
  // A book's sounds play from the start, as they did in the Flash control.
  settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
  view_->setPage(page_);
  // The window's own menu is the only one: the engine's never opens, whatever the page does.
  view_->setContextMenuPolicy(Qt::PreventContextMenu);
  // Keys reach the movie without a click into it first: the movie area's focus is the page's,
  // and the page gives it to the movie (see host.js).
  setFocusProxy(view_);
  connect(bridge_, &PageBridge::MovieStarted, this, [this] { setFocus(Qt::OtherFocusReason); });
  connect(bridge_, &PageBridge::FlashCall, this, &MovieHost::FlashCall);
  connect(bridge_, &PageBridge::LinkRequested, this, &MovieHost::LinkRequested);
  connect(bridge_, &PageBridge::MovieStarted, this, &MovieHost::MovieStarted);
  connect(bridge_, &PageBridge::MovieFailed, this, &MovieHost::MovieFailed);
  connect(bridge_, &PageBridge::PlayerReady, this, &RuffleMovieHost::PlayerReady);
  connect(bridge_, &PageBridge::PlayerReady, this,
          [this] { emit FileNote(QStringLiteral("the emulator is ready")); });

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_, 0, 0);
  view_->load(QUrl(kPageUrl));
}

RuffleMovieHost::~RuffleMovieHost() = default;

void RuffleMovieHost::AwaitFiles(std::shared_ptr<const book::FilesInMaking> files) {
  scheme_->AwaitFiles(std::move(files));
}

void RuffleMovieHost::SetBackground(const QColor& colour) {
  // The page itself is transparent: until the movie's first drawing reaches the screen, the
  // engine shows this, not a white page.
  page_->setBackgroundColor(colour);
}

void RuffleMovieHost::SetMovie(const fs::path& path) {
  movie_ = path;
  scheme_->SetMovieFolder(path.parent_path());
  QUrl url;
  url.setScheme(kScheme);
  url.setHost(kHost);
  url.setPath(QStringLiteral("/movie/") + QString::fromStdString(path.filename().string()));
  bridge_->SetMovie(url.toString(QUrl::FullyEncoded));
  // A page that has asked for its movie already is told; one that has not asks when it starts.
  const QString argument =
      QString::fromUtf8(QJsonDocument(QJsonArray{bridge_->Movie()}).toJson(QJsonDocument::Compact));
  page_->runJavaScript(
      QStringLiteral("window.pagewendHost && window.pagewendHost.load(%1[0]);").arg(argument));
}

}  // namespace pagewend::shell
