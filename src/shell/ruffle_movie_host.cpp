#include "shell/ruffle_movie_host.h"

#include <QCoreApplication>
#include <QFile>
#include <QGridLayout>
#include <QMimeDatabase>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <mutex>
#include <optional>

#include "paths/file_names.h"

namespace pagewend::shell {

namespace fs = std::filesystem;

namespace {

constexpr char kScheme[] = "pagewend";
constexpr char kHost[] = "book";
const QString kPageUrl = QStringLiteral("pagewend://book/player/index.html");

}  // namespace

std::optional<fs::path> ServedFileInside(const fs::path& root, const QString& relative) {
  if (root.empty()) return std::nullopt;
  const std::optional<fs::path> joined = JoinInside(root, relative.toStdString());
  if (!joined) return std::nullopt;
  std::error_code ec;
  const fs::path realRoot = fs::canonical(root, ec);
  if (ec) return std::nullopt;
  const fs::path realFile = fs::canonical(*joined, ec);
  if (ec || !fs::is_regular_file(realFile, ec)) return std::nullopt;
  const auto [rootEnd, fileIt] =
      std::mismatch(realRoot.begin(), realRoot.end(), realFile.begin(), realFile.end());
  if (rootEnd != realRoot.end()) return std::nullopt;
  return realFile;
}

namespace {

QByteArray MimeOf(const fs::path& file) {
  const std::string extension = file.extension().string();
  if (extension == ".html") return "text/html";
  if (extension == ".js") return "text/javascript";
  if (extension == ".wasm") return "application/wasm";
  if (extension == ".swf") return "application/x-shockwave-flash";
  return QMimeDatabase().mimeTypeForFile(QString::fromStdString(file.string())).name().toUtf8();
}

// Every request that is not for the book's scheme is refused: the book plays offline.
class OfflineInterceptor final : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QString scheme = info.requestUrl().scheme();
    if (scheme != QLatin1String(kScheme) && scheme != QLatin1String("data") &&
        scheme != QLatin1String("blob"))
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

// Serves pagewend://book/player/... (the page, then Ruffle's files) and pagewend://book/movie/...
// (the movie's folder). Runs on the GUI thread; the movie folder may change between requests.
class BookSchemeHandler final : public QWebEngineUrlSchemeHandler {
 public:
  BookSchemeHandler(fs::path ruffleFolder, QObject* parent)
      : QWebEngineUrlSchemeHandler(parent), ruffleFolder_(std::move(ruffleFolder)) {}

  void SetMovieFolder(fs::path folder) { movieFolder_ = std::move(folder); }

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QUrl url = job->requestUrl();
    if (url.host() != QLatin1String(kHost) || job->requestMethod() != "GET") {
      job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    }
    const QString path = url.path(QUrl::FullyDecoded);
    if (path == QLatin1String("/player/index.html") || path == QLatin1String("/player/host.js")) {
      ReplyResource(job, QStringLiteral(":/pagewend/page") + path.mid(7));
      return;
    }
    std::optional<fs::path> file;
    if (path.startsWith(QLatin1String("/player/ruffle/")))
      file = ServedFileInside(ruffleFolder_, path.mid(15));
    else if (path.startsWith(QLatin1String("/movie/")))
      file = ServedFileInside(movieFolder_, path.mid(7));
    if (!file) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    auto* device = new QFile(QString::fromStdString(file->string()), job);
    if (!device->open(QIODevice::ReadOnly)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    job->reply(MimeOf(*file), device);
  }

 private:
  static void ReplyResource(QWebEngineUrlRequestJob* job, const QString& resource) {
    auto* device = new QFile(resource, job);
    if (!device->open(QIODevice::ReadOnly)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    job->reply(MimeOf(resource.toStdString()), device);
  }

  fs::path ruffleFolder_;
  fs::path movieFolder_;
};

void PageBridge::SetMovie(const QString& url) {
  movie_ = url;
  emit movieChanged(url);
}

void PageBridge::flashCall(const QString& request) { emit FlashCall(request); }

void PageBridge::openLink(const QString& url) { emit LinkRequested(url); }

void PageBridge::movieStarted() { emit MovieStarted(); }

void PageBridge::playerReady() { emit PlayerReady(); }

void RuffleMovieHost::RegisterScheme() {
  static std::once_flag once;
  std::call_once(once, [] {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
  });
}

fs::path RuffleMovieHost::DefaultRuffleFolder() {
  return fs::path(QCoreApplication::applicationDirPath().toStdString()) / "ruffle";
}

RuffleMovieHost::RuffleMovieHost(fs::path ruffleFolder, QWidget* parent)
    : MovieHost(parent),
      // The view before the profile: children go in the order they came, and the view's page
      // must go before the profile it uses.
      view_(new QWebEngineView(this)),
      profile_(new QWebEngineProfile(this)),  // off the record: nothing of a book stays on disk
      scheme_(new BookSchemeHandler(std::move(ruffleFolder), this)),
      bridge_(new PageBridge(this)) {
  profile_->installUrlSchemeHandler(kScheme, scheme_);
  profile_->setUrlRequestInterceptor(new OfflineInterceptor(profile_));

  QFile channelScript(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  if (channelScript.open(QIODevice::ReadOnly)) {
    QWebEngineScript script;
    script.setName(QStringLiteral("qwebchannel"));
    script.setSourceCode(QString::fromUtf8(channelScript.readAll()));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    profile_->scripts()->insert(script);
  }

  auto* page = new MoviePage(profile_, bridge_, view_);
  auto* channel = new QWebChannel(page);
  channel->registerObject(QStringLiteral("host"), bridge_);
  page->setWebChannel(channel);
  page->setBackgroundColor(Qt::white);
  // A book's sounds play from the start, as they did in the Flash control.
  page->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
  view_->setPage(page);
  // The window's own popup menu replaces the page's: a right click is passed up as this
  // widget's request.
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (contextMenuPolicy() == Qt::CustomContextMenu) emit customContextMenuRequested(view_->mapTo(this, at));
  });
  connect(bridge_, &PageBridge::FlashCall, this, &MovieHost::FlashCall);
  connect(bridge_, &PageBridge::LinkRequested, this, &MovieHost::LinkRequested);
  connect(bridge_, &PageBridge::MovieStarted, this, &RuffleMovieHost::MovieStarted);
  connect(bridge_, &PageBridge::PlayerReady, this, &RuffleMovieHost::PlayerReady);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_, 0, 0);
  view_->load(QUrl(kPageUrl));
}

RuffleMovieHost::~RuffleMovieHost() = default;

void RuffleMovieHost::SetMovie(const fs::path& path) {
  movie_ = path;
  scheme_->SetMovieFolder(path.parent_path());
  QUrl url;
  url.setScheme(kScheme);
  url.setHost(kHost);
  url.setPath(QStringLiteral("/movie/") + QString::fromStdString(path.filename().string()));
  bridge_->SetMovie(url.toString(QUrl::FullyEncoded));
}

}  // namespace pagewend::shell
