// Loading a full project document, next to pugixml parsing the same text, in one run.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <pugixml.hpp>

#include <sstream>
#include <string>

#include "model/project/pw_project.h"
#include "model/project/settings_listing.h"
#include "model/xml_source.h"

namespace {

using namespace pagewend::model::project;
using pagewend::model::Object;
using pagewend::model::PropertyInfo;
using pagewend::model::PropertyValue;

// Every property of the object as an element, in table order, as the authoring tool writes them.
void WriteElements(const Object& object, pugi::xml_node parent) {
  for (const PropertyInfo& property : object.Properties()) {
    pugi::xml_node element = parent.append_child(std::string(property.name).c_str());
    const PropertyValue value = object.Value(property);
    if (const auto* section = std::get_if<const Object*>(&value)) {
      WriteElements(**section, element);
    } else if (const auto* text = std::get_if<std::string_view>(&value)) {
      element.text().set(std::string(*text).c_str());
    } else {
      const std::string formatted = FormatSettingValue(value, '.');
      element.text().set(formatted.c_str());
    }
  }
}

const std::string& Document() {
  static const std::string document = [] {
    TPWProject project;
    project.set_exetitle("A book with a longer caption \u00E9\u20AC");
    project.title().set_value("The title of the book");
    project.set_gaaccount("UA-0000000-1");
    pugi::xml_document doc;
    WriteElements(project, doc.append_child("project"));
    std::ostringstream out;
    doc.save(out, "  ");
    return out.str();
  }();
  return document;
}

void BM_LoadProject(benchmark::State& state) {
  const pagewend::SystemSettings system{state.range(0) == 0 ? "UTF-8" : "WINDOWS-1252", '.'};
  const std::string& document = Document();
  for (auto _ : state) {
    TPWProject project;
    project.LoadFromStream(document, system);
    benchmark::DoNotOptimize(project.swfht());
  }
  state.SetLabel(fmt::format("{} bytes, code page {}", document.size(), system.codePage));
}
BENCHMARK(BM_LoadProject)->Arg(0)->Arg(1)->Iterations(1000)->Unit(benchmark::kMicrosecond);

void BM_SharedXmlLoad(benchmark::State& state) {
  const std::string& document = Document();
  for (auto _ : state) {
    pugi::xml_document doc = pagewend::model::LoadXmlDocument(document);
    benchmark::DoNotOptimize(doc.first_child());
  }
}
BENCHMARK(BM_SharedXmlLoad)->Iterations(1000)->Unit(benchmark::kMicrosecond);

void BM_PugixmlParse(benchmark::State& state) {
  const std::string& document = Document();
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_buffer(document.data(), document.size()));
  }
}
BENCHMARK(BM_PugixmlParse)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

void BM_Construct(benchmark::State& state) {
  for (auto _ : state) {
    TPWProject project;
    benchmark::DoNotOptimize(project.swfht());
  }
}
BENCHMARK(BM_Construct)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
