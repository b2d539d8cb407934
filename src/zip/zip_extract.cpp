#include "zip/zip_extract.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "paths/file_names.h"

namespace pagewend {
namespace {

using ReadArchive = std::unique_ptr<archive, int (*)(archive*)>;

std::string ErrorText(archive* a) {
  const char* text = archive_error_string(a);
  return text ? text : "unknown error";
}

void Refuse(ZipReport& report, const std::string& name, std::string reason) {
  std::string kept =
      name.size() > ZipReport::kMaxRefusedName ? name.substr(0, ZipReport::kMaxRefusedName) + "..." : name;
  report.refused.push_back({std::move(kept), std::move(reason)});
}

void WriteAll(int fd, const void* data, std::size_t size, std::int64_t offset, const std::string& what) {
  const char* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n =
        ::pwrite(fd, bytes + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      throw ZipError(fmt::format("{}: {}", what, std::strerror(error)), error);
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

ZipReport ExtractZip(int archiveFd, const std::filesystem::path& archiveName, const FolderRoot& folder,
                     const ZipLimits& limits) {
  const std::string archivePath = archiveName.string();
  ReadArchive reader(archive_read_new(), archive_read_free);
  if (!reader) throw ZipError("libarchive could not start");
  archive_read_support_format_zip(reader.get());
  if (archive_read_open_fd(reader.get(), archiveFd, 64 * 1024) != ARCHIVE_OK)
    throw ZipError(fmt::format("{}: {}", archivePath, ErrorText(reader.get())));

  ZipReport report;
  std::size_t entries = 0;
  for (;;) {
    archive_entry* entry = nullptr;
    const int rc = archive_read_next_header(reader.get(), &entry);
    if (rc == ARCHIVE_EOF) break;
    if (rc < ARCHIVE_WARN)
      throw ZipError(fmt::format("{}: damaged archive: {}", archivePath, ErrorText(reader.get())));
    if (++entries > limits.maxEntries)
      throw ZipError(fmt::format("{}: more than {} entries", archivePath, limits.maxEntries));

    const char* raw = archive_entry_pathname(entry);
    const std::string name = raw ? raw : "";
    const auto type = archive_entry_filetype(entry);
    if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_hardlink(entry)) {
      Refuse(report, name, "not a regular file or folder");
      continue;
    }
    // Archives from Windows may separate with "\"; the name is normalised and checked here.
    const auto relative = JoinInside({}, name);
    if (!relative) {
      Refuse(report, name, "the name leaves the folder");
      continue;
    }
    if (relative->native().size() > limits.maxNameBytes) {
      Refuse(report, name, fmt::format("the name is longer than {} bytes", limits.maxNameBytes));
      continue;
    }
    const auto parts = static_cast<std::size_t>(std::distance(relative->begin(), relative->end()));
    if ((type == AE_IFDIR ? parts : parts - 1) > limits.maxDepth) {
      Refuse(report, name, fmt::format("it lies more than {} folders deep", limits.maxDepth));
      continue;
    }
    if (relative->empty()) continue;  // the folder itself
    UniqueFd out;
    try {
      if (type == AE_IFDIR) {
        folder.MakeFolders(*relative);
        continue;
      }
      if (relative->has_parent_path()) folder.MakeFolders(relative->parent_path());
      out = folder.CreateFile(*relative);
    } catch (const FileError& e) {
      Refuse(report, name, e.what());
      continue;
    }
    const std::string writing = fmt::format("{}: writing {}", archivePath, name);
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
      const int data = archive_read_data_block(reader.get(), &block, &size, &offset);
      if (data == ARCHIVE_EOF) break;
      if (data < ARCHIVE_WARN)
        throw ZipError(fmt::format("{}: damaged entry {}: {}", archivePath, name, ErrorText(reader.get())));
      report.bytes += static_cast<std::int64_t>(size);
      if (report.bytes > limits.maxTotalBytes)
        throw ZipError(fmt::format("{}: expands to more than {} bytes", archivePath, limits.maxTotalBytes));
      WriteAll(out.Get(), block, size, offset, writing);
    }
    // A file that ends in a hole has its length from the header.
    if (archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0 &&
        archive_entry_size(entry) <= limits.maxTotalBytes) {
      struct stat st {};
      if (::fstat(out.Get(), &st) == 0 && st.st_size < archive_entry_size(entry))
        if (::ftruncate(out.Get(), static_cast<off_t>(archive_entry_size(entry))) != 0)
          throw ZipError(fmt::format("{}: {}", writing, std::strerror(errno)), errno);
    }
    ++report.files;
  }
  return report;
}

ZipReport ExtractZip(const std::filesystem::path& archive, const std::filesystem::path& folder,
                     const ZipLimits& limits) {
  const UniqueFd fd(::open(archive.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) throw ZipError(fmt::format("{}: {}", archive.string(), std::strerror(errno)));
  try {
    return ExtractZip(fd.Get(), archive, FolderRoot(folder), limits);
  } catch (const FileError& e) {
    throw ZipError(e.what());
  }
}

void ZipFolder(const FolderRoot& folder, int archiveFd) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder.Path(), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    // A link to a file is listed as the file; opening it refuses one that leads out.
    if (it->is_regular_file(ec)) files.push_back(it->path().lexically_relative(folder.Path()));
  }
  if (ec) throw ZipError(fmt::format("{}: {}", folder.Path().string(), ec.message()));
  std::sort(files.begin(), files.end());

  const std::unique_ptr<archive, int (*)(archive*)> writer(archive_write_new(), archive_write_free);
  archive_write_set_format_zip(writer.get());
  if (archive_write_open_fd(writer.get(), archiveFd) != ARCHIVE_OK)
    throw ZipError(fmt::format("{}: {}", folder.Path().string(), ErrorText(writer.get())));
  std::vector<char> buffer(1 << 20);
  for (const fs::path& file : files) {
    const std::string shown = (folder.Path() / file).string();
    UniqueFd in;
    try {
      in = folder.OpenRead(file, /*linksInside=*/true);
    } catch (const FileError& e) {
      throw ZipError(e.what());
    }
    struct stat st {};
    if (::fstat(in.Get(), &st) != 0) throw ZipError(fmt::format("{}: {}", shown, std::strerror(errno)));
    const std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                         archive_entry_free);
    archive_entry_set_pathname(entry.get(), file.generic_string().c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(st.st_size));
    if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK)
      throw ZipError(fmt::format("{}: {}", shown, ErrorText(writer.get())));
    for (;;) {
      const ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw ZipError(fmt::format("{}: read error: {}", shown, std::strerror(errno)));
      if (n == 0) break;
      if (archive_write_data(writer.get(), buffer.data(), static_cast<std::size_t>(n)) < 0)
        throw ZipError(fmt::format("{}: {}", shown, ErrorText(writer.get())));
    }
  }
  if (archive_write_close(writer.get()) != ARCHIVE_OK)
    throw ZipError(fmt::format("{}: {}", folder.Path().string(), ErrorText(writer.get())));
}

}  // namespace pagewend
