#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace pagewend {

// The run log: one line per call, "YYYY-MM-DD HH:NN:SS" local time, four spaces, the text.
// Every write opens the file, appends one whole line and closes it, so the GUI thread and the
// loader may both write without a lock.
class RunLog {
 public:
  // Creates an empty file when none exists yet.
  explicit RunLog(std::filesystem::path fileName);

  void WriteLine(std::string_view text) const;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  const std::filesystem::path& FileName() const { return fileName_; }

 private:
  std::filesystem::path fileName_;
  bool enabled_ = true;
};

// Writes to the run's log where it has one, and does nothing where it has none.
void WriteLog(const RunLog* log, std::string_view text);

// Shifts logFolder/log1.txt .. log9.txt up by one number; log10.txt is deleted.
void RotateLogs(const std::filesystem::path& logFolder);

// Copies the log to logFolder/log1.txt after rotating the folder's logs, so that a failed run's
// log outlives the run's folder. The copy's path, or nothing when it could not be made.
std::optional<std::filesystem::path> KeepLog(const RunLog& log, const std::filesystem::path& logFolder);

}  // namespace pagewend
