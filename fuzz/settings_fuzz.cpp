// The settings document loader on arbitrary bytes, with either decimal separator, followed by
// what the tool does with a loaded document: a deep copy and the listing of every value.
#include <cstdint>
#include <string_view>

#include "model/project/pw_project.h"
#include "model/project/settings_listing.h"
#include "model/xml_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pagewend;
  using namespace pagewend::model::project;
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  for (const char separator : {'.', ','}) {
    SystemSettings system;
    system.decimalSeparator = separator;
    system.codePage = separator == '.' ? "UTF-8" : "WINDOWS-1252";
    TPWProject project;
    try {
      project.LoadFromStream(document, system);
    } catch (const model::XmlError&) {
      continue;
    } catch (const model::PropertyError&) {
      continue;
    }
    TPWProject copy;
    copy.Assign(project);
    for (const ListedSetting& setting : ListSettings(copy)) {
      volatile std::size_t length = FormatSettingValue(setting.value, separator).size();
      (void)length;
    }
  }
  return 0;
}
