#include <fmt/format.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "model/project/pw_project.h"
#include "model/project/settings_listing.h"
#include "package/package_format.h"
#include "support/system_settings.h"
#include "tool/command.h"

namespace pagewend::tool {
namespace {

using model::project::PropertyValue;
using model::project::TPWBasicProject;
using model::project::TPWBasicProjects;

// A document starts, after an optional UTF-8 byte-order mark and white space, with '<', or with
// a UTF-16 or UTF-32 byte-order mark.
bool LooksLikeXml(std::string_view head) {
  using namespace std::string_view_literals;
  if (head.starts_with("\xFE\xFF"sv) || head.starts_with("\xFF\xFE"sv) ||
      head.starts_with("\x00\x00\xFE\xFF"sv))
    return true;
  if (head.starts_with("\xEF\xBB\xBF"sv)) head.remove_prefix(3);
  const std::size_t first = head.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && head[first] == '<';
}

std::string Head(const package::PackageFile& file, package::Slice slice) {
  return file.ReadText({slice.offset, std::min<std::int64_t>(slice.length, 64)}, "document start", 64);
}

// A package without a player stub may begin with an XML record, so a file that begins like a
// document is still a package when its two trailing records are documents. A bare document
// cannot pass for one: its last byte would have to be a control character for the trailing
// length to fit inside the file.
bool IsPackage(const package::PackageFile& file, std::string_view head) {
  if (!LooksLikeXml(head)) return true;
  try {
    const package::Documents docs = package::LocateDocuments(file);
    return LooksLikeXml(Head(file, docs.project)) && LooksLikeXml(Head(file, docs.book));
  } catch (const package::PackageError&) {
    return false;
  }
}

std::string ReadProjectDocument(const std::string& path) {
  const package::PackageFile file(path);  // its errors name the file already
  try {
    const std::string head = Head(file, {0, file.Size()});
    if (IsPackage(file, head)) {
      const package::Documents docs = package::LocateDocuments(file);
      return file.ReadText(docs.project, "project document", package::kMaxDocumentLength);
    }
    return file.ReadText({0, file.Size()}, "document", package::kMaxDocumentLength);
  } catch (const package::PackageError& e) {
    throw std::runtime_error(fmt::format("{}: {}", path, e.what()));
  }
}

nlohmann::ordered_json ToJson(const TPWBasicProject& object);

nlohmann::ordered_json ToJson(const PropertyValue& value) {
  return std::visit(
      [](const auto& v) -> nlohmann::ordered_json {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, const TPWBasicProject*>) {
          return ToJson(*v);
        } else if constexpr (std::is_same_v<V, const TPWBasicProjects*>) {
          nlohmann::ordered_json items = nlohmann::ordered_json::array();
          for (std::size_t i = 0; i < v->Count(); ++i) items.push_back(ToJson(v->Item(i)));
          return items;
        } else if constexpr (std::is_same_v<V, std::string_view>) {
          return std::string(v);
        } else {
          return v;
        }
      },
      value);
}

nlohmann::ordered_json ToJson(const TPWBasicProject& object) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  for (const auto& property : object.Properties())
    out[std::string(property.name)] = ToJson(object.Value(property));
  return out;
}

}  // namespace

Command AddSettingsCommand(CLI::App& app) {
  auto* sub = app.add_subcommand("settings",
                                 "Load the project settings of a book package or of a bare project "
                                 "document and print every setting in declaration order.");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto separator = std::make_shared<std::string>();
  sub->add_option("FILE", *file, "A book executable, a bare package, or a <project> XML document")
      ->required();
  sub->add_flag("--json", *json, "Print one JSON object, sections nested");
  sub->add_option("--decimal-separator", *separator,
                  "The decimal separator of the document's fractions (default: the locale's)")
      ->check([](const std::string& value) {
        return value.size() == 1 ? std::string() : std::string("a single character is expected");
      });

  return {
      sub, [file, json, separator] {
        SystemSettings system = SystemSettings::FromUserLocale();
        if (!separator->empty()) system.decimalSeparator = separator->front();
        const std::string document = ReadProjectDocument(*file);
        model::project::TPWProject project;
        try {
          project.LoadFromStream(std::string_view(document), system);
        } catch (const std::exception& e) {
          // The message may quote document text; escape it as the listing does.
          const std::string quoted = model::project::FormatSettingValue(std::string_view(e.what()), '.');
          throw std::runtime_error(fmt::format("{}: {}", *file, quoted.substr(1, quoted.size() - 2)));
        }
        if (*json) {
          std::cout << ToJson(project).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                    << '\n';
        } else {
          for (const auto& setting : model::project::ListSettings(project))
            std::cout << setting.path << " = "
                      << model::project::FormatSettingValue(setting.value, system.decimalSeparator) << '\n';
        }
        return kExitOk;
      }};
}

}  // namespace pagewend::tool
