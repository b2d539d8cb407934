#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/package_file.h"

namespace pagewend::package {

// Limits on what the reader takes into memory; records copied to files are streamed instead.
inline constexpr std::int64_t kMaxDocumentLength = 64 << 20;
inline constexpr std::int64_t kMaxInfoIniLength = 1 << 20;
inline constexpr std::size_t kMaxGroupRecords = 1024;

// A pos_/size_ pair as the documents store it: pos is the offset just past the record's length
// field, size the payload length + 4 (for a group, the whole group's length).
struct RecordRef {
  std::int64_t pos = 0;
  std::int64_t size = 0;
  bool Absent() const { return pos == 0 || size == 0; }
  friend bool operator==(const RecordRef&, const RecordRef&) = default;
};

// The two documents at the end of the package: the project document is the last record, the
// book document the one before it.
struct Documents {
  Slice book;
  Slice project;
};
Documents LocateDocuments(const PackageFile& file);
// The two halves of LocateDocuments: the project document from the file's end, then the book
// document that ends 4 bytes before the project document starts.
Slice ProjectDocument(const PackageFile& file);
Slice BookDocument(const PackageFile& file, std::int64_t projectStart);

// The payload of a plain record read through its length field (L at pos − 4, the payload the L
// bytes before it), which must agree with size. `what` names the reference in errors
// ("project.background").
Slice ResolvePlainRecord(const PackageFile& file, RecordRef ref, std::string_view what);
// The payload of a plain record read by pos and size alone: the size − 4 bytes from pos − size.
// Its length field is not consulted; LengthFieldMismatch tells the log when it disagrees.
Slice PlainRecordBySize(const PackageFile& file, RecordRef ref, std::string_view what);
std::optional<std::string> LengthFieldMismatch(const PackageFile& file, RecordRef ref, std::string_view what);

struct TypedRecord {
  std::uint32_t type = 0;
  Slice payload;
};

// A resource group walked backwards from its info.ini; records are in reading order (the
// highest type first, as writers store them ascending).
struct ResourceGroup {
  Slice info;
  std::vector<TypedRecord> records;
};
ResourceGroup ReadGroup(const PackageFile& file, RecordRef ref, std::string_view what);

struct GroupFile {
  std::string name;
  Slice payload;
};
// The files a group becomes: each record under nameOf(type), trimmed; an empty name is skipped.
// Where types share a name the last one read wins, as if each had been written in turn.
std::vector<GroupFile> GroupFiles(const ResourceGroup& group,
                                  const std::function<std::string(std::uint32_t type)>& nameOf);

// Section "info" of an info.ini, read as the Windows profile functions read it: names in any
// case (keys come out lower-cased), keys and values trimmed, one pair of surrounding quotes
// taken off a value, ';' a comment only as a line's first character, the first of two equal keys
// and the first [info] section winning, and an indented line a line like any other.
using IniSection = std::map<std::string, std::string, std::less<>>;
IniSection ParseInfoIni(std::string_view text);

// info.ini keys of the button group, by type.
inline constexpr std::array<std::string_view, 19> kButtonKeys = {
    "firstpage",  "lastpage",       "previous", "next",      "play",     "stop",  "thumbnail",
    "fullscreen", "exitfullscreen", "music",    "mute",      "download", "print", "toc",
    "zoomin",     "zoomout",        "share",    "bookmarks", "search"};

}  // namespace pagewend::package
