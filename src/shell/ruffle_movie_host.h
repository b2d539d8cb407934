#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <optional>

#include "shell/movie_host.h"

class QWebEngineProfile;
class QWebEngineView;

namespace pagewend::shell {

class BookSchemeHandler;

// The file that a request for relative (already percent-decoded) names below root, or nothing
// when it would leave root: "..", absolute names, missing files and links that lead out of the
// folder are all refused.
std::optional<std::filesystem::path> ServedFileInside(const std::filesystem::path& root,
                                                      const QString& relative);

// What the page sees of the player over the web channel.
class PageBridge : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString movie READ movie NOTIFY movieChanged)

 public:
  using QObject::QObject;
  QString movie() const { return movie_; }
  void SetMovie(const QString& url);

 public slots:
  void flashCall(const QString& request);
  void openLink(const QString& url);
  void movieStarted();
  void playerReady();

 signals:
  void PlayerReady();
  void movieChanged(const QString& url);
  void FlashCall(const QString& request);
  void LinkRequested(const QString& url);
  void MovieStarted();

 private:
  QString movie_;
};

// Plays movies with Ruffle's web build in a web view. The page, Ruffle and the movie come over
// the "pagewend" scheme, which serves only the page's own files and the movie's folder; every
// other request is refused, so a book plays offline and cannot read other files. The page and
// Ruffle start at construction, so a movie set later starts at once.
class RuffleMovieHost final : public MovieHost {
  Q_OBJECT

 public:
  // Once per process, before the application object exists.
  static void RegisterScheme();

  // ruffleFolder holds ruffle.js, its core chunks and wasm files.
  explicit RuffleMovieHost(std::filesystem::path ruffleFolder, QWidget* parent = nullptr);
  ~RuffleMovieHost() override;

  void SetMovie(const std::filesystem::path& path) override;
  std::filesystem::path Movie() const override { return movie_; }

  // The folder next to the running program that the build copies Ruffle into.
  static std::filesystem::path DefaultRuffleFolder();

 signals:
  // The movie's first frame is ready (Ruffle's "loadedmetadata").
  void MovieStarted();
  // Ruffle's core is compiled: a movie set from now on starts at once.
  void PlayerReady();

 private:
  std::filesystem::path movie_;
  QWebEngineView* view_;
  QWebEngineProfile* profile_;
  BookSchemeHandler* scheme_;
  PageBridge* bridge_;
};

}  // namespace pagewend::shell
