#include "testing/zip_archive.h"

#include <archive.h>

#include <memory>
#include <stdexcept>

namespace pagewend::testing {

void MakeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries) {
  const std::unique_ptr<archive, int (*)(archive*)> a(archive_write_new(), archive_write_free);
  archive_write_set_format_zip(a.get());
  if (archive_write_open_filename(a.get(), path.c_str()) != ARCHIVE_OK)
    throw std::runtime_error("cannot write " + path.string());
  for (const ZipEntry& e : entries) {
    const std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                         archive_entry_free);
    archive_entry_set_pathname(entry.get(), e.name.c_str());
    archive_entry_set_filetype(entry.get(), e.type);
    archive_entry_set_perm(entry.get(), 0644);
    if (!e.link.empty()) archive_entry_set_symlink(entry.get(), e.link.c_str());
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(e.data.size()));
    archive_write_header(a.get(), entry.get());
    if (!e.data.empty()) archive_write_data(a.get(), e.data.data(), e.data.size());
  }
  archive_write_close(a.get());
}

}  // namespace pagewend::testing
