#include "package/package_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "support/file_copy.h"

namespace pagewend::package {
namespace {

constexpr std::int64_t kMaxPackageEnd = std::numeric_limits<std::int32_t>::max();

std::string LittleEndian32(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::int64_t PayloadLength(const Payload& payload) {
  if (const auto* bytes = std::get_if<std::string>(&payload)) return static_cast<std::int64_t>(bytes->size());
  if (const auto* file = std::get_if<OpenedFile>(&payload)) {
    struct stat st {};
    if (::fstat(file->fd->Get(), &st) != 0)
      throw PackageError(fmt::format("{}: {}", file->name.string(), std::strerror(errno)));
    return static_cast<std::int64_t>(st.st_size);
  }
  const auto& path = std::get<std::filesystem::path>(payload);
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) throw PackageError(fmt::format("{}: {}", path.string(), ec.message()));
  return static_cast<std::int64_t>(size);
}

}  // namespace

std::string PlainRecordBytes(std::string_view payload) {
  std::string bytes(payload);
  bytes += LittleEndian32(static_cast<std::uint32_t>(payload.size()));
  return bytes;
}

PackageWriter::PackageWriter(const std::filesystem::path& out, const std::filesystem::path& stub)
    : path_(out) {
  try {
    fd_ = CreateOutputFile(out);
  } catch (const FileError& e) {
    throw PackageError(e.what());
  }
  if (!stub.empty()) {
    AppendPayload(stub);
    if (::fchmod(fd_.Get(), 0755) != 0)
      throw PackageError(
          fmt::format("{}: cannot make it executable: {}", out.string(), std::strerror(errno)));
  }
}

void PackageWriter::CheckOpen() const {
  if (!fd_.Valid()) throw PackageError(fmt::format("{}: the package is already finished", path_.string()));
}

void PackageWriter::AppendBytes(std::string_view bytes) {
  CheckOpen();
  if (static_cast<std::int64_t>(bytes.size()) > kMaxPackageEnd - offset_)
    throw PackageError(fmt::format("{}: the package would grow past 2 GiB", path_.string()));
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(fd_.Get(), bytes.data() + done, bytes.size() - done,
                         static_cast<off_t>(offset_ + static_cast<std::int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw PackageError(fmt::format("{}: write error: {}", path_.string(), std::strerror(errno)));
    done += static_cast<std::size_t>(n);
  }
  offset_ += static_cast<std::int64_t>(bytes.size());
}

void PackageWriter::AppendUInt32(std::uint32_t value) { AppendBytes(LittleEndian32(value)); }

void PackageWriter::AppendPayload(const Payload& payload) {
  if (const auto* bytes = std::get_if<std::string>(&payload)) {
    AppendBytes(*bytes);
    return;
  }
  CheckOpen();
  const auto* opened = std::get_if<OpenedFile>(&payload);
  const std::filesystem::path& path = opened ? opened->name : std::get<std::filesystem::path>(payload);
  const std::int64_t length = PayloadLength(payload);
  if (length > kMaxPackageEnd - offset_)
    throw PackageError(
        fmt::format("{}: adding {} would grow the package past 2 GiB", path_.string(), path.string()));
  UniqueFd own;
  if (!opened) {
    own = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!own.Valid())
      throw PackageError(fmt::format("{}: cannot open: {}", path.string(), std::strerror(errno)));
  }
  try {
    CopyRange(opened ? opened->fd->Get() : own.Get(), 0, length, fd_.Get(), offset_);
  } catch (const FileError& e) {
    throw PackageError(fmt::format("{}: copying into {}: {}", path.string(), path_.string(), e.what()));
  }
  offset_ += length;
}

RecordRef PackageWriter::AddRecord(const Payload& payload) {
  const std::int64_t start = offset_;
  const std::int64_t length = PayloadLength(payload);
  if (length > std::numeric_limits<std::uint32_t>::max())
    throw PackageError(
        fmt::format("{}: a record of {} bytes does not fit a length field", path_.string(), length));
  AppendPayload(payload);
  AppendUInt32(static_cast<std::uint32_t>(length));
  return {offset_, offset_ - start};
}

RecordRef PackageWriter::AddGroup(std::vector<TypedPayload> records, std::string_view infoIni) {
  std::stable_sort(records.begin(), records.end(),
                   [](const TypedPayload& a, const TypedPayload& b) { return a.type < b.type; });
  const std::int64_t start = offset_;
  for (const TypedPayload& record : records) {
    const std::int64_t length = PayloadLength(record.data);
    AppendPayload(record.data);
    AppendUInt32(record.type);
    AppendUInt32(static_cast<std::uint32_t>(length));
  }
  AppendBytes(infoIni);
  AppendUInt32(static_cast<std::uint32_t>(infoIni.size()));
  return {offset_, offset_ - start};
}

void PackageWriter::Finish(std::string_view bookXml, std::string_view projectXml) {
  AppendBytes(PlainRecordBytes(bookXml));
  AppendBytes(PlainRecordBytes(projectXml));
  // A failed close is the last place a full disk shows, so it is checked rather than dropped.
  if (::close(fd_.Release()) != 0)
    throw PackageError(fmt::format("{}: {}", path_.string(), std::strerror(errno)));
}

}  // namespace pagewend::package
