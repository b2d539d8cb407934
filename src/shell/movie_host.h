#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <memory>

#include "book/files_in_making.h"

namespace pagewend::shell {

// The area that plays the book's movie, in place of the Flash control: give it a movie file and
// it plays it; every call the movie makes to its container arrives as FlashCall with the
// ExternalInterface request XML, and every link it asks to open as LinkRequested, whatever its
// scheme (the window decides). Nothing is ever returned to the movie, and the movie's own page
// never navigates away.
class MovieHost : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  // Plays the movie at path. Every name the movie and the movies it loads ask for is relative to
  // path's folder and found there by the book's name rule; nothing outside it is ever served.
  virtual void SetMovie(const std::filesystem::path& path) = 0;
  virtual std::filesystem::path Movie() const = 0;
  // Files the movie may ask for before they are made (a book's page images, when its movie
  // starts before they are all made): a request for one waits until it is made.
  virtual void AwaitFiles(std::shared_ptr<const book::FilesInMaking> files) { (void)files; }
  // What the area shows where the movie has not drawn yet: the book's own background.
  virtual void SetBackground(const QColor& colour) { (void)colour; }

 signals:
  void FlashCall(const QString& request);
  void LinkRequested(const QString& url);
  // The movie's first frame is ready.
  void MovieStarted();
  // The emulator could not play the movie.
  void MovieFailed(const QString& reason);
  // Something the run log should know of the movie: a request for a name not among the book's
  // files, or one that matched several but for case; that the emulator is ready for it.
  void FileNote(const QString& note);
};

}  // namespace pagewend::shell
