// The package reader on arbitrary bytes: both documents located and parsed, then every pos_/size_
// pair they hold read as a plain record and as a group, the way the extraction would drive them.
// A few references are also taken straight from the input's first bytes, so that the record
// and group walkers see hostile numbers even when the documents do not parse.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "model/xml_source.h"
#include "package/package_format.h"
#include "paths/file_names.h"

namespace {

using namespace pagewend;
using package::RecordRef;

std::int64_t Number(const char* text) {
  // The documents store offsets as signed 32-bit decimals; anything else reads as 0 (absent).
  const auto value = model::ParseInt32(text);
  return value ? *value : 0;
}

// Every element pos_X with a sibling size_X (X may be empty), and every such pair of attributes,
// in document order.
void CollectRefs(const pugi::xml_node& root, std::vector<RecordRef>& refs) {
  for (pugi::xml_attribute attribute = root.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    const std::string name = attribute.name();
    if (name.rfind("pos_", 0) != 0) continue;
    if (pugi::xml_attribute size = root.attribute(("size_" + name.substr(4)).c_str()))
      refs.push_back({Number(attribute.value()), Number(size.value())});
  }
  for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
    if (node.type() != pugi::node_element) continue;
    const std::string name = node.name();
    if (name.rfind("pos_", 0) == 0) {
      const std::string sizeName = "size_" + name.substr(4);
      if (pugi::xml_node size = root.child(sizeName.c_str()))
        refs.push_back({Number(node.child_value()), Number(size.child_value())});
    }
    CollectRefs(node, refs);
    if (refs.size() > 64) return;
  }
}

void ReadRef(const package::PackageFile& file, RecordRef ref) {
  try {
    const package::Slice plain = package::ResolvePlainRecord(file, ref, "record");
    file.ReadText(plain, "record", 1 << 20);
  } catch (const package::PackageError&) {
  }
  try {
    const package::ResourceGroup group = package::ReadGroup(file, ref, "group");
    const package::IniSection ini =
        package::ParseInfoIni(file.ReadText(group.info, "info.ini", package::kMaxInfoIniLength));
    const auto files = package::GroupFiles(group, [&](std::uint32_t type) {
      auto key =
          ini.find(type < package::kButtonKeys.size() ? package::kButtonKeys[type] : std::to_string(type));
      return key == ini.end() ? std::string() : key->second;
    });
    for (const package::GroupFile& f : files) {
      file.CheckInside(f.payload, f.name);
      // A group's names come from the package: they must never lead out of the folder.
      if (const auto inside = JoinInside("/w", f.name)) {
        const std::string text = inside->lexically_normal().string();
        if (text.rfind("/w/", 0) != 0) __builtin_trap();
      }
    }
  } catch (const package::PackageError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::MemoryFile input;
  input.Assign(data, size);
  package::PackageFile file(input.Path());

  std::vector<RecordRef> refs;
  for (std::size_t i = 0; i + 8 <= size && i < 32; i += 8) {
    std::int32_t pos = 0, length = 0;
    std::memcpy(&pos, data + i, 4);
    std::memcpy(&length, data + i + 4, 4);
    refs.push_back({pos, length});
  }
  try {
    const package::Documents docs = package::LocateDocuments(file);
    for (const package::Slice& doc : {docs.book, docs.project}) {
      try {
        const pugi::xml_document xml =
            model::LoadXmlDocument(file.ReadText(doc, "document", package::kMaxDocumentLength));
        CollectRefs(xml, refs);
      } catch (const model::XmlError&) {
      }
    }
  } catch (const package::PackageError&) {
  }
  for (const RecordRef& ref : refs) ReadRef(file, ref);
  return 0;
}
