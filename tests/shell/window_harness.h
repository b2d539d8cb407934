#pragma once

#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "shell/main_window.h"
#include "shell/shell_fixtures.h"
#include "testing/temp_dir.h"

namespace pagewend::shell::testing {

// A main window over a generated book, with a fake movie area; everything lives in one temporary
// folder.
struct WindowHarness {
  explicit WindowHarness(bool screenSaver = false, std::string bookBytes = {}) {
    const std::filesystem::path book = dir / "book.exe";
    if (bookBytes.empty())
      WriteBookPackage(book);
    else
      pagewend::testing::WriteFile(book, bookBytes);
    run.bookFile = book;
    run.screenSaver = screenSaver;
    run.programFolder = dir / "program";
    run.workingFolder = dir / "{RUN}";
    Rebuild();
  }

  // A new window (not yet shown) for run as it is now.
  void Rebuild() {
    window.reset();
    host = new FakeMovieHost;
    window = std::make_unique<MainWindow>(run, host, log);
  }

  // Shows the window and waits until the book is loaded.
  bool ShowLoaded() {
    QSignalSpy loaded(window.get(), &MainWindow::BookLoaded);
    window->show();
    return loaded.count() > 0 || loaded.wait(20000);
  }

  pagewend::testing::TempDir dir;
  PlayerRun run;
  std::shared_ptr<const RunLog> log;
  FakeMovieHost* host = nullptr;
  std::unique_ptr<MainWindow> window;
};

}  // namespace pagewend::shell::testing
