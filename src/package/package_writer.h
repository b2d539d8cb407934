#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "package/package_format.h"
#include "support/unique_fd.h"

namespace pagewend::package {

// A file opened already (as the packer opens its sources, beneath their folder), read from its
// start; name is for messages.
struct OpenedFile {
  std::shared_ptr<const UniqueFd> fd;
  std::filesystem::path name;
};

// A payload held in memory or streamed from a file.
using Payload = std::variant<std::string, std::filesystem::path, OpenedFile>;

struct TypedPayload {
  std::uint32_t type = 0;
  Payload data;
};

// Writes a package: optionally a player stub, then records in the order they are added, and
// last the book and project documents. Each Add returns the reference the documents must
// store. Offsets are kept below 2 GiB, since readers take them as signed 32-bit values.
class PackageWriter {
 public:
  // Creates (or truncates) out and copies stub, when given, to its start; with a stub the
  // package is made executable.
  explicit PackageWriter(const std::filesystem::path& out, const std::filesystem::path& stub = {});

  RecordRef AddRecord(const Payload& payload);
  // Typed records in ascending type order, then a plain record holding infoIni.
  RecordRef AddGroup(std::vector<TypedPayload> records, std::string_view infoIni);
  // Writes both documents and closes the file; nothing may be added afterwards.
  void Finish(std::string_view bookXml, std::string_view projectXml);

  std::int64_t Offset() const { return offset_; }

 private:
  void AppendPayload(const Payload& payload);
  void AppendBytes(std::string_view bytes);
  void AppendUInt32(std::uint32_t value);
  void CheckOpen() const;

  std::filesystem::path path_;
  UniqueFd fd_;
  std::int64_t offset_ = 0;
};

// The plain record bytes for payload: payload, then its 32-bit length.
std::string PlainRecordBytes(std::string_view payload);

}  // namespace pagewend::package
