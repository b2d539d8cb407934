#include "package/package_format.h"
#include "support/text.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

namespace pagewend::package {
namespace {

std::string RefText(std::string_view what, RecordRef ref) {
  return fmt::format("{} (pos_ {}, size_ {})", what, ref.pos, ref.size);
}

// The range [pos − size, pos) of a reference, checked against the file.
Slice RecordExtent(const PackageFile& file, RecordRef ref, std::string_view what) {
  if (ref.Absent()) throw PackageError(RefText(what, ref) + ": the record is absent");
  if (ref.size < 4) throw PackageError(RefText(what, ref) + ": size_ is below 4");
  if (ref.pos - ref.size < 0) throw PackageError(RefText(what, ref) + ": starts before the file");
  if (ref.pos > file.Size())
    throw PackageError(
        fmt::format("{}: ends past the end of the file ({} bytes)", RefText(what, ref), file.Size()));
  return {ref.pos - ref.size, ref.size};
}

}  // namespace

Slice ProjectDocument(const PackageFile& file) {
  if (file.Size() < 8)
    throw PackageError(
        fmt::format("the file is {} bytes long, too short to hold a book package", file.Size()));
  const std::int64_t end = file.Size() - 4;
  const std::int64_t length = file.ReadUInt32(end, "project document length");
  if (length > end - 4)
    throw PackageError(fmt::format(
        "project document: length field {} at offset {} reaches before the start of the file", length, end));
  return {end - length, length};
}

Slice BookDocument(const PackageFile& file, std::int64_t projectStart) {
  const std::int64_t end = projectStart - 4;
  if (end < 0) throw PackageError("book document: no room for its length field before the project document");
  const std::int64_t length = file.ReadUInt32(end, "book document length");
  if (length > end)
    throw PackageError(fmt::format(
        "book document: length field {} at offset {} reaches before the start of the file", length, end));
  return {end - length, length};
}

Documents LocateDocuments(const PackageFile& file) {
  Documents docs;
  docs.project = ProjectDocument(file);
  docs.book = BookDocument(file, docs.project.offset);
  return docs;
}

Slice ResolvePlainRecord(const PackageFile& file, RecordRef ref, std::string_view what) {
  const Slice payload = PlainRecordBySize(file, ref, what);
  if (auto mismatch = LengthFieldMismatch(file, ref, what)) throw PackageError(*mismatch);
  return payload;
}

Slice PlainRecordBySize(const PackageFile& file, RecordRef ref, std::string_view what) {
  const Slice extent = RecordExtent(file, ref, what);
  return {extent.offset, extent.length - 4};
}

std::optional<std::string> LengthFieldMismatch(const PackageFile& file, RecordRef ref,
                                               std::string_view what) {
  const std::int64_t length = file.ReadUInt32(ref.pos - 4, what);
  if (length == ref.size - 4) return std::nullopt;
  return fmt::format("{}: length field {} disagrees with size_ (payload {} bytes)", RefText(what, ref),
                     length, ref.size - 4);
}

ResourceGroup ReadGroup(const PackageFile& file, RecordRef ref, std::string_view what) {
  const Slice extent = RecordExtent(file, ref, what);
  const std::int64_t start = extent.offset;
  ResourceGroup group;

  const std::int64_t infoLength = file.ReadUInt32(ref.pos - 4, what);
  if (infoLength > ref.pos - 4 - start)
    throw PackageError(fmt::format("{}: info.ini length {} reaches before the group's start {}",
                                   RefText(what, ref), infoLength, start));
  group.info = {ref.pos - 4 - infoLength, infoLength};

  std::int64_t cursor = group.info.offset;
  while (start < cursor) {
    if (cursor - 8 < start)
      throw PackageError(fmt::format("{}: {} stray bytes before the typed record at offset {}",
                                     RefText(what, ref), cursor - start, cursor));
    if (group.records.size() == kMaxGroupRecords)
      throw PackageError(
          fmt::format("{}: more than {} records in one group", RefText(what, ref), kMaxGroupRecords));
    const std::int64_t length = file.ReadUInt32(cursor - 4, what);
    const std::uint32_t type = file.ReadUInt32(cursor - 8, what);
    if (length > cursor - 8 - start)
      throw PackageError(
          fmt::format("{}: typed record {} ending at offset {} has length {}, reaching "
                      "before the group's start {}",
                      RefText(what, ref), type, cursor, length, start));
    cursor = cursor - 8 - length;
    group.records.push_back({type, {cursor, length}});
  }
  return group;
}

std::vector<GroupFile> GroupFiles(const ResourceGroup& group,
                                  const std::function<std::string(std::uint32_t type)>& nameOf) {
  std::vector<GroupFile> files;
  for (const TypedRecord& record : group.records) {
    std::string name = Trim(nameOf(record.type));
    if (name.empty()) continue;
    auto same = std::find_if(files.begin(), files.end(), [&](const GroupFile& f) { return f.name == name; });
    if (same != files.end())
      same->payload = record.payload;
    else
      files.push_back({std::move(name), record.payload});
  }
  return files;
}

IniSection ParseInfoIni(std::string_view text) {
  IniSection section;
  enum { Before, Inside, After } place = Before;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string line = Trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const bool info = close != std::string::npos && Lower(Trim(line.substr(1, close - 1))) == "info";
      place = info && place == Before ? Inside : place == Inside ? After : place;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (place != Inside || equals == std::string::npos) continue;
    std::string value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    if (std::string key = Lower(Trim(line.substr(0, equals))); !key.empty()) section.emplace(key, value);
  }
  return section;
}

}  // namespace pagewend::package
