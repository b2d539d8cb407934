#include <fmt/format.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "model/project/pw_project.h"
#include "model/project/settings_listing.h"
#include "package/package_format.h"
#include "support/system_settings.h"
#include "support/text.h"
#include "tool/book_source.h"
#include "tool/command.h"

namespace pagewend::tool {
namespace {

using model::Object;
using model::ObjectList;
using model::PropertyValue;

nlohmann::ordered_json ToJson(const Object& object);

nlohmann::ordered_json ToJson(const PropertyValue& value) {
  return std::visit(
      [](const auto& v) -> nlohmann::ordered_json {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, const Object*>) {
          return ToJson(*v);
        } else if constexpr (std::is_same_v<V, const ObjectList*>) {
          nlohmann::ordered_json items = nlohmann::ordered_json::array();
          for (std::size_t i = 0; i < v->Count(); ++i) items.push_back(ToJson(v->Items(i)));
          return items;
        } else if constexpr (std::is_same_v<V, std::string_view>) {
          return std::string(v);
        } else {
          return v;
        }
      },
      value);
}

nlohmann::ordered_json ToJson(const Object& object) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  for (const auto& property : object.Properties())
    out[std::string(property.name)] = ToJson(object.Value(property));
  return out;
}

}  // namespace

Command AddSettingsCommand(CLI::App& app) {
  const FileCommand c =
      AddFileCommand(app, "settings",
                     "Load the project settings of a book package or of a bare project "
                     "document and print every setting in declaration order.",
                     "FILE", "A book executable, a bare package, or a <project> XML document",
                     "Print one JSON object, the settings under \"project\", sections nested");
  const auto locale =
      AddLocaleOption(*c.app, "The decimal separator of the document's fractions (default: the locale's)");

  return c.With([args = c.args, locale] {
    const SystemSettings system = locale();
    const std::string document = ReadDocument(args->file, Document::Project);
    model::project::TPWProject project;
    try {
      project.LoadFromStream(std::string_view(document), system);
    } catch (const std::exception& e) {
      // The message may quote document text; escape it as the listing does.
      const std::string quoted = model::project::FormatSettingValue(std::string_view(e.what()), '.');
      throw std::runtime_error(quoted.substr(1, quoted.size() - 2));
    }
    if (args->json) {
      PrintJson({{"file", args->file}, {"project", ToJson(project)}});
    } else {
      for (const auto& setting : model::project::ListSettings(project))
        std::cout << setting.path << " = "
                  << ForTerminal(model::project::FormatSettingValue(setting.value, system.decimalSeparator))
                  << '\n';
    }
    return kExitOk;
  });
}

}  // namespace pagewend::tool
