#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/folder_root.h"

namespace pagewend {

class ZipError : public std::runtime_error {
 public:
  explicit ZipError(const std::string& what, int code = 0) : std::runtime_error(what), code_(code) {}
  // The errno of a write that failed (a full disk); 0 when the archive itself is at fault.
  int Code() const { return code_; }

 private:
  int code_;
};

struct ZipLimits {
  std::size_t maxEntries = 10'000;
  std::int64_t maxTotalBytes = std::int64_t{1} << 30;
  // Entries deeper or with longer names are refused: every tool that walks the folder later
  // stays within these.
  std::size_t maxDepth = 64;
  std::size_t maxNameBytes = 1024;
};

struct ZipReport {
  std::size_t files = 0;
  std::int64_t bytes = 0;
  struct Refused {
    std::string name;
    std::string reason;
  };
  // Entries that were not written; a name is kept to its first kMaxRefusedName bytes.
  std::vector<Refused> refused;
  static constexpr std::size_t kMaxRefusedName = 256;
};

// Unpacks every entry of the ZIP archive open at archiveFd (read from where it stands; named
// archiveName in messages) into folder, keeping its path and overwriting. Only regular files and
// folders are written, through the folder's descriptor and never through a link; links, devices,
// names that are absolute or climb out with "..", and names deeper or longer than the limits are
// refused and listed. The archive may not hold more entries or expand to more bytes than the
// limits allow (counted as the data arrives, whatever the headers claim). Throws ZipError for an
// archive that cannot be read or a file that cannot be written.
ZipReport ExtractZip(int archiveFd, const std::filesystem::path& archiveName, const FolderRoot& folder,
                     const ZipLimits& limits = {});
// The same for an archive and a folder given by path.
ZipReport ExtractZip(const std::filesystem::path& archive, const std::filesystem::path& folder,
                     const ZipLimits& limits = {});

// Packs every regular file below folder into a new ZIP archive, with paths relative to folder
// and "/" between parts, in name order so that the same folder always gives the same entries.
// Files are opened beneath folder: a link that leads out of it is refused, one within it is
// followed. Writes to archiveFd from where it stands. Throws ZipError naming the file that
// cannot be read or written.
void ZipFolder(const FolderRoot& folder, int archiveFd);

}  // namespace pagewend
