#include "zip/zip_extract.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "paths/file_names.h"

namespace pagewend {
namespace {

using ReadArchive = std::unique_ptr<archive, int (*)(archive*)>;

std::string ErrorText(archive* a) {
  const char* text = archive_error_string(a);
  return text ? text : "unknown error";
}

ZipReport Extract(const std::filesystem::path& archivePath, const ZipLimits& limits) {
  ReadArchive reader(archive_read_new(), archive_read_free);
  ReadArchive writer(archive_write_disk_new(), archive_write_free);
  if (!reader || !writer) throw ZipError("libarchive could not start");
  archive_read_support_format_zip(reader.get());
  archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                   ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                   ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
  if (archive_read_open_filename(reader.get(), archivePath.c_str(), 64 * 1024) != ARCHIVE_OK)
    throw ZipError(fmt::format("{}: {}", archivePath.string(), ErrorText(reader.get())));

  ZipReport report;
  std::size_t entries = 0;
  for (;;) {
    archive_entry* entry = nullptr;
    const int rc = archive_read_next_header(reader.get(), &entry);
    if (rc == ARCHIVE_EOF) break;
    if (rc < ARCHIVE_WARN)
      throw ZipError(fmt::format("{}: damaged archive: {}", archivePath.string(), ErrorText(reader.get())));
    if (++entries > limits.maxEntries)
      throw ZipError(fmt::format("{}: more than {} entries", archivePath.string(), limits.maxEntries));

    const char* raw = archive_entry_pathname(entry);
    const std::string name = raw ? raw : "";
    const auto type = archive_entry_filetype(entry);
    if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_hardlink(entry)) {
      report.refused.push_back({name, "not a regular file or folder"});
      continue;
    }
    // Archives from Windows may separate with "\"; the name is normalised and checked here,
    // and libarchive's own checks stand behind it.
    const auto relative = JoinInside({}, name);
    if (!relative) {
      report.refused.push_back({name, "the name leaves the folder"});
      continue;
    }
    archive_entry_set_pathname(entry, relative->c_str());
    archive_entry_set_perm(entry, type == AE_IFDIR ? 0755 : 0644);
    if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) {
      report.refused.push_back({name, ErrorText(writer.get())});
      continue;
    }
    if (type == AE_IFREG) {
      const void* block = nullptr;
      std::size_t size = 0;
      la_int64_t offset = 0;
      for (;;) {
        const int data = archive_read_data_block(reader.get(), &block, &size, &offset);
        if (data == ARCHIVE_EOF) break;
        if (data < ARCHIVE_WARN)
          throw ZipError(
              fmt::format("{}: damaged entry {}: {}", archivePath.string(), name, ErrorText(reader.get())));
        report.bytes += static_cast<std::int64_t>(size);
        if (report.bytes > limits.maxTotalBytes)
          throw ZipError(
              fmt::format("{}: expands to more than {} bytes", archivePath.string(), limits.maxTotalBytes));
        if (archive_write_data_block(writer.get(), block, size, offset) < ARCHIVE_WARN)
          throw ZipError(
              fmt::format("{}: writing {}: {}", archivePath.string(), name, ErrorText(writer.get())));
      }
      ++report.files;
    }
    if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN)
      throw ZipError(fmt::format("{}: writing {}: {}", archivePath.string(), name, ErrorText(writer.get())));
  }
  return report;
}

}  // namespace

ZipReport ExtractZip(const std::filesystem::path& archive, const std::filesystem::path& folder,
                     const ZipLimits& limits) {
  const std::filesystem::path absoluteArchive = std::filesystem::absolute(archive);
  // libarchive writes relative to the working directory, and refuses absolute names. A thread
  // of its own, with a working directory of its own (unshare(CLONE_FS)), keeps the process's
  // directory untouched for every other thread.
  ZipReport report;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      if (::unshare(CLONE_FS) != 0)
        throw ZipError(
            fmt::format("cannot give the unpacking thread its own directory: {}", std::strerror(errno)));
      if (::chdir(folder.c_str()) != 0)
        throw ZipError(fmt::format("{}: {}", folder.string(), std::strerror(errno)));
      report = Extract(absoluteArchive, limits);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  worker.join();
  if (failure) std::rethrow_exception(failure);
  return report;
}

void ZipFolder(const std::filesystem::path& folder, const std::filesystem::path& archivePath) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && !entry.is_symlink()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());

  const std::unique_ptr<archive, int (*)(archive*)> writer(archive_write_new(), archive_write_free);
  archive_write_set_format_zip(writer.get());
  if (archive_write_open_filename(writer.get(), archivePath.c_str()) != ARCHIVE_OK)
    throw ZipError(fmt::format("{}: {}", archivePath.string(), ErrorText(writer.get())));
  std::vector<char> buffer(1 << 20);
  for (const fs::path& file : files) {
    const std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                         archive_entry_free);
    archive_entry_set_pathname(entry.get(), fs::relative(file, folder).generic_string().c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(fs::file_size(file)));
    if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK)
      throw ZipError(fmt::format("{}: {}", file.string(), ErrorText(writer.get())));
    std::ifstream in(file, std::ios::binary);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
      if (archive_write_data(writer.get(), buffer.data(), static_cast<std::size_t>(in.gcount())) < 0)
        throw ZipError(fmt::format("{}: {}", file.string(), ErrorText(writer.get())));
    if (in.bad()) throw ZipError(fmt::format("{}: read error", file.string()));
  }
  if (archive_write_close(writer.get()) != ARCHIVE_OK)
    throw ZipError(fmt::format("{}: {}", archivePath.string(), ErrorText(writer.get())));
}

}  // namespace pagewend
