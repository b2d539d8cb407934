#include "tool/command.h"

#include <cstdio>
#include <iostream>

#include "support/guid.h"

namespace pagewend::tool {

FileCommand AddFileCommand(CLI::App& app, const std::string& name, const std::string& description,
                           const std::string& argName, const std::string& argHelp, const char* jsonHelp) {
  auto args = std::make_shared<FileArgs>();
  CLI::App* sub = app.add_subcommand(name, description);
  sub->add_option(argName, args->file, argHelp)->required();
  if (jsonHelp) sub->add_flag("--json", args->json, jsonHelp);
  return {sub, args};
}

Command FileCommand::With(std::function<int()> run) const {
  return {app, std::move(run), std::shared_ptr<const std::string>(args, &args->file), Input::File};
}

std::function<SystemSettings()> AddLocaleOption(CLI::App& app, const std::string& help) {
  auto separator = std::make_shared<std::string>();
  app.add_option("--decimal-separator", *separator, help)->check([](const std::string& value) {
    return value.size() == 1 ? std::string() : std::string("a single character is expected");
  });
  return [separator] {
    SystemSettings locale = SystemSettings::FromUserLocale();
    if (!separator->empty()) locale.decimalSeparator = separator->front();
    return locale;
  };
}

void PrintJson(const nlohmann::ordered_json& object) {
  nlohmann::ordered_json out{{"format", kJsonFormat}};
  for (const auto& [key, value] : object.items()) out[key] = value;
  std::cout << out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

std::filesystem::path PartialSibling(const std::filesystem::path& target) {
  std::filesystem::path absolute = std::filesystem::absolute(target).lexically_normal();
  if (!absolute.has_filename()) absolute = absolute.parent_path();  // "out/" names "out"
  const std::string guid = NewGuidText();
  return absolute.parent_path() /
         ("." + absolute.filename().string() + ".partial-" + guid.substr(1, guid.size() - 2));
}

void StderrNotifier::Notify(std::string_view message) {
  std::fprintf(stderr, "pagewend: %.*s\n", static_cast<int>(message.size()), message.data());
}

}  // namespace pagewend::tool
