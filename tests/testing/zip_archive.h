#pragma once

#include <archive_entry.h>

#include <filesystem>
#include <string>
#include <vector>

namespace pagewend::testing {

struct ZipEntry {
  std::string name;
  std::string data;
  unsigned type = AE_IFREG;
  std::string link = {};  // a symbolic link's target
};

// Writes a ZIP archive holding the entries, names and types exactly as given.
void MakeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries);

}  // namespace pagewend::testing
