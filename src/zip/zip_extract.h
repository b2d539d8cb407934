#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace pagewend {

class ZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ZipLimits {
  std::size_t maxEntries = 10'000;
  std::int64_t maxTotalBytes = std::int64_t{1} << 30;
};

struct ZipReport {
  std::size_t files = 0;
  std::int64_t bytes = 0;
  struct Refused {
    std::string name;
    std::string reason;
  };
  // Entries that were not written.
  std::vector<Refused> refused;
};

// Unpacks every entry of a ZIP archive into folder, keeping its path and overwriting. Only
// regular files and folders are written; links, devices and names that are absolute or climb
// out with ".." are refused and listed. The archive may not hold more entries or expand to more
// bytes than the limits allow (counted as the data arrives, whatever the headers claim).
// Throws ZipError for an archive that cannot be read.
ZipReport ExtractZip(const std::filesystem::path& archive, const std::filesystem::path& folder,
                     const ZipLimits& limits = {});

// Packs every regular file below folder into a new ZIP archive, with paths relative to folder
// and "/" between parts, in name order so that the same folder always gives the same entries.
// Throws ZipError naming the file that cannot be read or written.
void ZipFolder(const std::filesystem::path& folder, const std::filesystem::path& archive);

}  // namespace pagewend
