#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <optional>

#include "shell/movie_host.h"

class QWebEngineProfile;
class QWebEnginePage;
class QWebEngineView;

namespace pagewend::shell {

class BookSchemeHandler;

// What the page may tell the player. The page has no object of the player's to call: it sends
// its few messages as requests for pagewend://book/bridge/TOKEN/KIND?TEXT, which only the page's
// own script can name (the token is written into it as it is served, and no movie reads it).
class PageBridge : public QObject {
  Q_OBJECT

 public:
  explicit PageBridge(QObject* parent);
  const QString& Token() const { return token_; }
  const QString& Movie() const { return movie_; }
  void SetMovie(const QString& url) { movie_ = url; }
  // One message of the page: "call" (a movie's ExternalInterface call, as XML), "link", "ready",
  // "started", "failed" (the emulator gave up on the movie) or "movie" (which asks for the movie's URL). The
  // reply's body; nothing for a kind the page does not send.
  std::optional<QByteArray> Receive(const QString& kind, const QString& text);

 signals:
  void PlayerReady();
  void FlashCall(const QString& request);
  void LinkRequested(const QString& url);
  void MovieStarted();
  void MovieFailed(const QString& reason);

 private:
  QString token_;
  QString movie_;
};

// Plays movies with Ruffle's web build in a web view. The page, Ruffle and the movie come over
// the "pagewend" scheme, which serves only the page's own files and the movie's folder; every
// other request is refused, so a book plays offline and cannot read other files. The page and
// Ruffle start at construction, so a movie set later starts at once.
class RuffleMovieHost final : public MovieHost {
  Q_OBJECT

 public:
  // Once per process, before the application object exists: registers the book's scheme and
  // closes the engine's own ways out (WebRTC's UDP, background requests).
  static void PrepareProcess();

  explicit RuffleMovieHost(QWidget* parent = nullptr);
  ~RuffleMovieHost() override;

  void SetMovie(const std::filesystem::path& path) override;
  std::filesystem::path Movie() const override { return movie_; }
  void AwaitFiles(std::shared_ptr<const book::FilesInMaking> files) override;
  void SetBackground(const QColor& colour) override;

 signals:
  // Ruffle's core is compiled: a movie set from now on starts at once.
  void PlayerReady();

 private:
  std::filesystem::path movie_;
  QWebEngineView* view_;
  QWebEngineProfile* profile_;
  PageBridge* bridge_;
  BookSchemeHandler* scheme_;
  QWebEnginePage* page_;
};

}  // namespace pagewend::shell
