#include <gtest/gtest.h>

#include <QApplication>

#include "shell/ruffle_movie_host.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (ctest's discovery, run without the tests' environment) needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  pagewend::shell::RuffleMovieHost::PrepareProcess();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
