#include "log/run_log.h"

#include "support/unique_fd.h"

#include <fcntl.h>
#include <fmt/format.h>

#include <ctime>
#include <string>
#include <utility>

namespace pagewend {
namespace {

std::string TimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(buffer, n);
}

}  // namespace

RunLog::RunLog(std::filesystem::path fileName) : fileName_(std::move(fileName)) {
  UniqueFd fd(::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600));
}

void RunLog::WriteLine(std::string_view text) const {
  if (!enabled_) return;
  std::string line = TimeStamp();
  line += "    ";
  line += text;
  line += '\n';
  UniqueFd fd(::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.Get() < 0) return;  // a log that cannot be written must not fail the run
  // One write of the whole line: O_APPEND keeps lines from two threads apart.
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::write(fd.Get(), line.data() + done, line.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void WriteLog(const RunLog* log, std::string_view text) {
  if (log) log->WriteLine(text);
}

void RotateLogs(const std::filesystem::path& logFolder) {
  namespace fs = std::filesystem;
  for (int n = 10; n >= 1; --n) {
    const fs::path file = logFolder / fmt::format("log{}.txt", n);
    std::error_code ec;
    if (!fs::exists(file, ec)) continue;
    if (n == 10)
      fs::remove(file, ec);
    else
      fs::rename(file, logFolder / fmt::format("log{}.txt", n + 1), ec);
  }
}

std::optional<std::filesystem::path> KeepLog(const RunLog& log, const std::filesystem::path& logFolder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(logFolder, ec);
  if (ec) return std::nullopt;
  RotateLogs(logFolder);
  const fs::path kept = logFolder / "log1.txt";
  if (!fs::copy_file(log.FileName(), kept, fs::copy_options::overwrite_existing, ec) || ec)
    return std::nullopt;
  return kept;
}

}  // namespace pagewend
