#pragma once

#include <QTest>
#include <QWebEngineView>

#include "shell/ruffle_movie_host.h"

namespace pagewend::shell::testing {

// Where the reader's input reaches the movie: the web view's own input widget, inside the host.
inline QWidget& MovieInput(RuffleMovieHost& host) {
  auto* view = host.findChild<QWebEngineView*>();
  return view && view->focusProxy() ? *view->focusProxy() : host;
}

// A left click at a point of the host, as the reader's mouse gives it: the pointer arrives, then
// the button goes down and up, each a moment apart as a hand makes them; sent all at once, the
// movie missed such clicks now and then.
inline void ClickMovie(RuffleMovieHost& host, QPoint at) {
  QWidget& target = MovieInput(host);
  at = target.mapFrom(&host, at);
  QTest::mouseMove(&target, at);
  QTest::qWait(50);
  QTest::mousePress(&target, Qt::LeftButton, {}, at);
  QTest::qWait(50);
  QTest::mouseRelease(&target, Qt::LeftButton, {}, at);
}

}  // namespace pagewend::shell::testing
