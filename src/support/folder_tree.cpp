#include "support/folder_tree.h"

#include <system_error>

namespace pagewend {

namespace fs = std::filesystem;

namespace {

bool DeleteEntries(const fs::path& folder) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return false;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    const fs::path entry = it->path();
    // symlink_status: a link to a folder is a link here, not a folder to descend into.
    const fs::file_status status = fs::symlink_status(entry, ec);
    if (ec) return false;
    if (fs::is_directory(status)) {
      if (!DeleteEntries(entry)) return false;
    } else {
      // A read-only file in a writable folder needs no attribute change on Linux; only the
      // folder's permissions matter.
    }
    if (!fs::remove(entry, ec) || ec) return false;
  }
  return !ec;
}

}  // namespace

bool DeleteFolderTree(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (!fs::is_directory(status)) return !fs::exists(status);
  if (!DeleteEntries(path)) return false;
  return fs::remove(path, ec) && !ec;
}

}  // namespace pagewend
