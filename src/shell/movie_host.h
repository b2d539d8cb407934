#pragma once

#include <QString>
#include <QWidget>
#include <filesystem>

namespace pagewend::shell {

// The area that plays the book's movie, in place of the Flash control: give it a movie file and
// it plays it; every call the movie makes to its container arrives as FlashCall with the
// ExternalInterface request XML. Nothing is ever returned to the movie.
class MovieHost : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  // Plays the movie at path; files the movie loads itself are looked up beside it.
  virtual void SetMovie(const std::filesystem::path& path) = 0;
  virtual std::filesystem::path Movie() const = 0;

 signals:
  void FlashCall(const QString& request);
};

}  // namespace pagewend::shell
