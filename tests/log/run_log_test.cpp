#include "log/run_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "testing/temp_dir.h"

namespace pagewend {
namespace {

TEST(RunLog, CreatesTheFileAndAppendsStampedLines) {
  testing::TempDir dir;
  RunLog log(dir / "log1.txt");
  EXPECT_TRUE(std::filesystem::exists(dir / "log1.txt"));
  EXPECT_EQ(testing::ReadFile(dir / "log1.txt"), "");
  log.WriteLine("Page Count: 3");
  WriteLog(&log, "second");
  WriteLog(nullptr, "nowhere");
  log.SetEnabled(false);
  log.WriteLine("not written");
  const std::string text = testing::ReadFile(dir / "log1.txt");
  EXPECT_THAT(
      text, ::testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}    Page Count: 3\n"
                                    "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}    second\n"));
}

TEST(RunLog, KeepsAnExistingFileAndWholeLinesFromManyThreads) {
  testing::TempDir dir;
  testing::WriteFile(dir / "log.txt", "old\n");
  RunLog log(dir / "log.txt");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < 50; ++i)
        log.WriteLine("thread " + std::to_string(t) + " line " + std::string(200, 'x'));
    });
  for (auto& thread : threads) thread.join();
  const std::string text = testing::ReadFile(dir / "log.txt");
  EXPECT_EQ(text.rfind("old\n", 0), 0u);
  std::size_t lines = 0;
  for (std::size_t at = 4; at < text.size(); ++lines) {
    const std::size_t end = text.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(end - at, 19 + 4 + 14 + 200u) << "a line was torn";
    at = end + 1;
  }
  EXPECT_EQ(lines, 200u);
}

TEST(RotateLogs, ShiftsNumbersUpAndDropsTheTenth) {
  namespace fs = std::filesystem;
  using testing::WriteFile;
  testing::TempDir dir;
  fs::create_directory(dir / "Log");
  for (int n : {1, 2, 9, 10})
    WriteFile(dir / "Log" / ("log" + std::to_string(n) + ".txt"), std::to_string(n));
  RotateLogs(dir / "Log");
  EXPECT_FALSE(fs::exists(dir / "Log" / "log1.txt"));
  EXPECT_EQ(pagewend::testing::ReadFile(dir / "Log" / "log2.txt"), "1");
  EXPECT_EQ(pagewend::testing::ReadFile(dir / "Log" / "log3.txt"), "2");
  EXPECT_EQ(pagewend::testing::ReadFile(dir / "Log" / "log10.txt"), "9");
  EXPECT_FALSE(fs::exists(dir / "Log" / "log11.txt"));
  RotateLogs(dir / "no-such-program-folder" / "Log");  // nothing there, nothing happens
}

}  // namespace
}  // namespace pagewend
