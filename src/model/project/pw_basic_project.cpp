#include "model/project/pw_basic_project.h"

#include <fmt/format.h>

#include <charconv>
#include <functional>
#include <istream>
#include <iterator>
#include <optional>
#include <typeinfo>

#include "model/xml_source.h"

namespace pagewend::model::project {
namespace {

template <class T>
T& FieldOf(TPWBasicProject& object, const PropertyInfo& property) {
  return object.*std::get<T TPWBasicProject::*>(property.field);
}

template <class T>
const T& FieldOf(const TPWBasicProject& object, const PropertyInfo& property) {
  return object.*std::get<T TPWBasicProject::*>(property.field);
}

std::optional<std::int64_t> ParseInt64(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool IsSubObject(PropertyKind kind) { return kind == PropertyKind::Section || kind == PropertyKind::List; }

// An attribute's text may set an Int64; an element's never does (documents carry the alpha
// colour only to be ignored by the player).
enum class TextSource { Attribute, Element };

void SetFromText(TPWBasicProject& object, const PropertyInfo& property, std::string_view text,
                 const SystemSettings& system, TextSource source) {
  switch (property.kind) {
    case PropertyKind::Integer:
      FieldOf<std::int32_t>(object, property) = ParseInt32(text).value_or(0);
      break;
    case PropertyKind::Cardinal:
      // Read as a signed 32-bit value, as the documents' writer does; "-1" is 4294967295.
      FieldOf<std::uint32_t>(object, property) = static_cast<std::uint32_t>(ParseInt32(text).value_or(0));
      break;
    case PropertyKind::Int64:
      if (source == TextSource::Attribute)
        FieldOf<std::int64_t>(object, property) = ParseInt64(text).value_or(0);
      break;
    case PropertyKind::Boolean:
      if (text == "True") {
        FieldOf<bool>(object, property) = true;
      } else if (text == "False") {
        FieldOf<bool>(object, property) = false;
      } else {
        throw PropertyError(fmt::format("Invalid property element: {}", text));
      }
      break;
    case PropertyKind::Double:
      FieldOf<double>(object, property) = ParseDecimal(text, system.decimalSeparator).value_or(0.0);
      break;
    case PropertyKind::Text:
      FieldOf<std::string>(object, property) = Narrow8Bit(text, system.codePage);
      break;
    case PropertyKind::WideText:
      FieldOf<std::string>(object, property) = std::string(text);
      break;
    case PropertyKind::Section:
    case PropertyKind::List:
      break;
  }
}

// The text of an element that holds a value: its one text or CDATA child, or nothing.
std::string_view ValueText(const pugi::xml_node& element) {
  const pugi::xml_node first = element.first_child();
  if (!first) return {};
  const bool isText = first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata;
  if (!isText || first.next_sibling()) throw PropertyError("Element does not contain a single text node");
  return first.value();
}

}  // namespace

TPWBasicProject::~TPWBasicProject() = default;

const PropertyInfo* TPWBasicProject::FindProperty(std::string_view name) const {
  for (const PropertyInfo& property : Properties())
    if (property.name == name) return &property;
  return nullptr;
}

std::unique_ptr<TPWBasicProject> TPWBasicProject::NewInstance(TPWOwner owner) const {
  return std::make_unique<TPWBasicProject>(owner);
}

void TPWBasicProject::CreateSubObjects(std::span<const PropertyInfo> own) {
  for (const PropertyInfo& property : own) {
    if (property.kind == PropertyKind::Section) {
      FieldOf<std::unique_ptr<TPWBasicProject>>(*this, property) =
          std::get<ObjectFactory>(property.initial)(TPWOwner(this));
    } else if (property.kind == PropertyKind::List) {
      FieldOf<std::unique_ptr<TPWBasicProjects>>(*this, property) =
          std::make_unique<TPWBasicProjects>(TPWOwner(this), std::get<ObjectFactory>(property.initial));
    }
  }
}

void TPWBasicProject::SetDefaults(std::span<const PropertyInfo> own) {
  for (const PropertyInfo& property : own) {
    switch (property.kind) {
      case PropertyKind::Integer:
        FieldOf<std::int32_t>(*this, property) =
            static_cast<std::int32_t>(std::get<std::int64_t>(property.initial));
        break;
      case PropertyKind::Cardinal:
        FieldOf<std::uint32_t>(*this, property) =
            static_cast<std::uint32_t>(std::get<std::int64_t>(property.initial));
        break;
      case PropertyKind::Int64:
        FieldOf<std::int64_t>(*this, property) = std::get<std::int64_t>(property.initial);
        break;
      case PropertyKind::Boolean:
        FieldOf<bool>(*this, property) = std::get<bool>(property.initial);
        break;
      case PropertyKind::Double:
        FieldOf<double>(*this, property) = std::get<double>(property.initial);
        break;
      case PropertyKind::Text:
      case PropertyKind::WideText:
        FieldOf<std::string>(*this, property) = std::string(std::get<std::string_view>(property.initial));
        break;
      case PropertyKind::Section:
      case PropertyKind::List:
        break;
    }
  }
}

std::vector<PropertyInfo> TPWBasicProject::JoinProperties(std::span<const PropertyInfo> inherited,
                                                          std::span<const PropertyInfo> own) {
  std::vector<PropertyInfo> all(inherited.begin(), inherited.end());
  for (const PropertyInfo& property : own) {
    for (const PropertyInfo& earlier : all)
      if (earlier.name == property.name)
        throw std::logic_error(fmt::format("Property {} is declared twice", property.name));
    all.push_back(property);
  }
  return all;
}

void TPWBasicProject::LoadFromStream(std::string_view document, const SystemSettings& system) {
  const pugi::xml_document xml = LoadXmlDocument(document);
  LoadFromNode(xml.document_element(), system);
}

void TPWBasicProject::LoadFromStream(std::istream& in, const SystemSettings& system) {
  const std::string document{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  LoadFromStream(std::string_view(document), system);
}

void TPWBasicProject::LoadFromNode(const pugi::xml_node& element, const SystemSettings& system) {
  LoadAttributes(element, system);
  LoadElements(element, system);
}

void TPWBasicProject::LoadAttributes(const pugi::xml_node& element, const SystemSettings& system) {
  for (const pugi::xml_attribute& attribute : element.attributes()) {
    const PropertyInfo* property = FindProperty(attribute.name());
    if (property == nullptr || IsSubObject(property->kind)) continue;
    SetFromText(*this, *property, attribute.value(), system, TextSource::Attribute);
  }
}

void TPWBasicProject::LoadElements(const pugi::xml_node& element, const SystemSettings& system) {
  const std::span<const PropertyInfo> properties = Properties();
  // Documents list their elements in table order, so the search starts after the last match.
  std::size_t next = 0;
  for (const pugi::xml_node& child : element.children()) {
    if (child.type() != pugi::node_element) continue;
    const std::string_view name = child.name();
    const PropertyInfo* property = nullptr;
    for (std::size_t i = 0; i < properties.size() && property == nullptr; ++i) {
      const std::size_t at = (next + i) % properties.size();
      if (properties[at].name == name) {
        property = &properties[at];
        next = at + 1;
      }
    }
    if (property == nullptr) continue;
    switch (property->kind) {
      case PropertyKind::Section:
        FieldOf<std::unique_ptr<TPWBasicProject>>(*this, *property)->LoadFromNode(child, system);
        break;
      case PropertyKind::List:
        FieldOf<std::unique_ptr<TPWBasicProjects>>(*this, *property)->LoadFromNode(child, system);
        break;
      case PropertyKind::Int64:
        break;
      default:
        SetFromText(*this, *property, ValueText(child), system, TextSource::Element);
        break;
    }
  }
}

void TPWBasicProject::Assign(const TPWBasicProject& source) {
  if (&source == this) return;
  for (const PropertyInfo& property : Properties()) AssignProperty(property, source);
}

void TPWBasicProject::AssignProperty(const PropertyInfo& property, const TPWBasicProject& source) {
  const PropertyInfo* from = source.FindProperty(property.name);
  if (from == nullptr)
    throw PropertyError(
        fmt::format("Cannot assign property {}: the source has no such property", property.name));
  // The storage must agree; Text and WideText share it and copy into each other.
  if (from->field.index() != property.field.index())
    throw PropertyError(
        fmt::format("Cannot assign property {}: the source's is of another kind", property.name));
  std::visit(
      [&](auto member) {
        using Field = std::remove_cvref_t<decltype(this->*member)>;
        const Field& value = source.*std::get<decltype(member)>(from->field);
        if constexpr (std::is_same_v<Field, std::unique_ptr<TPWBasicProject>> ||
                      std::is_same_v<Field, std::unique_ptr<TPWBasicProjects>>) {
          (this->*member)->Assign(*value);
        } else {
          this->*member = value;
        }
      },
      property.field);
}

void TPWBasicProject::CheckOwnRow(const PropertyInfo& property) const {
  const std::span<const PropertyInfo> rows = Properties();
  const std::less<const PropertyInfo*> before;
  if (before(&property, rows.data()) || !before(&property, rows.data() + rows.size()))
    throw std::logic_error(fmt::format("Property {} is not a row of this object's table", property.name));
}

PropertyValue TPWBasicProject::Value(const PropertyInfo& property) const {
  CheckOwnRow(property);
  return std::visit(
      [&](auto member) -> PropertyValue {
        const auto& field = this->*member;
        using Field = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_same_v<Field, std::string>) {
          return std::string_view(field);
        } else if constexpr (std::is_same_v<Field, std::unique_ptr<TPWBasicProject>> ||
                             std::is_same_v<Field, std::unique_ptr<TPWBasicProjects>>) {
          return field.get();
        } else {
          return field;
        }
      },
      property.field);
}

TPWBasicProject& TPWBasicProjects::Add(std::unique_ptr<TPWBasicProject> item) {
  if (!item) throw std::invalid_argument("A settings list holds no empty items");
  items_.push_back(std::move(item));
  return *items_.back();
}

void TPWBasicProjects::LoadFromNode(const pugi::xml_node& element, const SystemSettings& system) {
  Clear();
  if (itemClass_ == nullptr) throw PropertyError("The list has no item class to load into");
  for (const pugi::xml_node& child : element.children()) {
    if (child.type() != pugi::node_element) continue;
    TPWBasicProject& item = Add(itemClass_(TPWOwner(this)));
    item.LoadFromNode(child, system);
  }
}

void TPWBasicProjects::Assign(const TPWBasicProjects& source) {
  if (&source == this) return;
  Clear();
  for (const auto& pointer : source.items_) {
    const TPWBasicProject& from = *pointer;
    TPWBasicProject& item = Add(from.NewInstance(TPWOwner(this)));
    // A class that forgot to declare itself would copy as its base and drop properties.
    if (typeid(item) != typeid(from))
      throw std::logic_error(fmt::format("{} does not create objects of its own class", typeid(from).name()));
    item.Assign(from);
  }
}

}  // namespace pagewend::model::project
