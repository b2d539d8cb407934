#include "model/properties.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <functional>
#include <istream>
#include <iterator>
#include <typeinfo>

#include "support/text.h"

namespace pagewend::model {
namespace {

bool SameName(std::string_view a, std::string_view b, bool anyCase) {
  return anyCase ? EqualsIgnoringCase(a, b) : a == b;
}

bool IsValue(PropertyKind kind) { return kind != PropertyKind::Object && kind != PropertyKind::List; }

[[noreturn]] void NotConverted(PropertyKind kind, std::string_view text) {
  if (kind == PropertyKind::Double)
    throw PropertyError(fmt::format("'{}' is not a valid floating point value", text));
  const std::string_view range = kind == PropertyKind::Cardinal ? "unsigned 32-bit"
                                 : kind == PropertyKind::Int64  ? "64-bit"
                                                                : "32-bit";
  throw PropertyError(fmt::format("'{}' is not a valid {} integer value", text, range));
}

// The text of an element that holds a value.
std::string_view ElementText(const pugi::xml_node& element, const Convention& rules) {
  if (!rules.singleTextNode) return element.text().get();
  const pugi::xml_node first = element.first_child();
  if (!first) return {};
  const bool isText = first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata;
  if (!isText || first.next_sibling()) throw PropertyError("Element does not contain a single text node");
  return first.value();
}

// The field a row names, of the storage type T; a row of another storage throws.
template <class T>
T& FieldAs(const Object& object, const PropertyInfo* property, std::string_view name) {
  if (property == nullptr)
    throw std::logic_error(fmt::format("{} has no property '{}'", object.Class().Name(), name));
  const auto* member = std::get_if<T Object::*>(&property->field);
  if (member == nullptr)
    throw std::logic_error(
        fmt::format("Property '{}' of {} is of another kind", name, object.Class().Name()));
  return const_cast<Object&>(object).*(*member);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Classes

ObjectClass::ObjectClass(std::string_view name, const ObjectClass* parent, Factory create,
                         std::span<const PropertyInfo> own, const Convention* convention)
    : name_(name),
      parent_(parent),
      create_(create),
      convention_(convention != nullptr ? convention : parent->convention_) {
  if (parent_ != nullptr) properties_ = parent_->properties_;
  for (const PropertyInfo& property : own) {
    for (const PropertyInfo& earlier : properties_)
      if (earlier.name == property.name)
        throw std::logic_error(fmt::format("Property {} of {} is declared twice", property.name, name));
    properties_.push_back(property);
  }
  std::string_view element = name;
  if (!element.empty() && element.front() == 'T')
    element.remove_prefix(std::min<std::size_t>(2, element.size()));
  elementName_ = Lower(element);
}

bool ObjectClass::InheritsFrom(const ObjectClass& other) const {
  for (const ObjectClass* c = this; c != nullptr; c = c->parent_)
    if (c == &other) return true;
  return false;
}

std::unique_ptr<Object> ObjectClass::Create(ObjectOwner owner) const {
  if (create_ == nullptr) throw std::logic_error(fmt::format("{} cannot be instantiated", name_));
  return create_(owner);
}

std::optional<std::size_t> ObjectClass::Find(std::string_view name, bool anyCase, std::size_t hint) const {
  const std::size_t n = properties_.size();
  for (std::size_t i = hint; i < n; ++i)
    if (SameName(properties_[i].name, name, anyCase)) return i;
  for (std::size_t i = 0; i < hint && i < n; ++i)
    if (SameName(properties_[i].name, name, anyCase)) return i;
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Objects

Object::~Object() = default;

const PropertyInfo* Object::FindProperty(std::string_view name) const {
  const auto index = Class().Find(name, /*anyCase=*/false);
  return index ? &Properties()[*index] : nullptr;
}

PropertyValue Object::Value(const PropertyInfo& property) const {
  const std::span<const PropertyInfo> rows = Properties();
  const std::less<const PropertyInfo*> before;
  if (before(&property, rows.data()) || !before(&property, rows.data() + rows.size()))
    throw std::logic_error(fmt::format("Property {} is not a row of this object's table", property.name));
  return std::visit(
      [&](auto member) -> PropertyValue {
        const auto& field = this->*member;
        using Field = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_same_v<Field, std::string>) {
          return std::string_view(field);
        } else if constexpr (std::is_same_v<Field, std::unique_ptr<Object>> ||
                             std::is_same_v<Field, std::unique_ptr<ObjectList>>) {
          return field.get();
        } else {
          return field;
        }
      },
      property.field);
}

void Object::LoadFromStream(std::string_view document, const LoadOptions& options) {
  const pugi::xml_document xml = LoadXmlDocument(document, Class().Rules().depthCheck);
  const pugi::xml_node root = xml.document_element();
  if (!root) throw XmlError("The document has no root element");
  LoadFromXML(root, options);
}

void Object::LoadFromStream(std::istream& in, const LoadOptions& options) {
  const std::string document{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  LoadFromStream(std::string_view(document), options);
}

void Object::Store(const PropertyInfo& property, std::string_view text, const LoadOptions& options,
                   bool narrow, const Convention& rules, bool attribute) {
  const bool strict = attribute && rules.strictAttributes;
  const char separator = options.settings.decimalSeparator;
  auto number = [&](auto parsed) {
    if (!parsed && strict) NotConverted(property.kind, text);
    return parsed.value_or(0);
  };
  std::visit(
      [&](auto member) {
        auto& field = this->*member;
        using Field = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_same_v<Field, bool>) {
          if (EqualsIgnoringCase(text, rules.trueText)) {
            field = true;
          } else if (EqualsIgnoringCase(text, rules.falseText)) {
            field = false;
          } else {
            throw PropertyError(fmt::format(fmt::runtime(rules.badBoolean), text));
          }
        } else if constexpr (std::is_same_v<Field, std::uint32_t>) {
          field = rules.unsignedCardinals
                      ? number(ParseInteger<std::uint32_t>(text))
                      : static_cast<std::uint32_t>(number(ParseInteger<std::int32_t>(text)));
        } else if constexpr (std::is_integral_v<Field>) {
          field = number(ParseInteger<Field>(text));
        } else if constexpr (std::is_same_v<Field, double>) {
          if (rules.pointDecimals && separator != '.') {
            std::string mapped(text);
            std::replace(mapped.begin(), mapped.end(), '.', separator);
            field = number(ParseDecimal(mapped, separator));
          } else {
            field = number(ParseDecimal(text, separator));
          }
        } else if constexpr (std::is_same_v<Field, std::string>) {
          // Texts in a UTF-8 locale are kept as read, into the buffer the field already has.
          if (property.kind == PropertyKind::Text && narrow)
            field = Narrow8Bit(text, options.settings.codePage);
          else
            field.assign(text);
        }
      },
      property.field);
  Changed(property.name);
}

void Object::LoadFromXML(const pugi::xml_node& element, const LoadOptions& options) {
  const ObjectClass& cls = Class();
  const Convention& rules = cls.Rules();
  const std::span<const PropertyInfo> rows = cls.Properties();
  const bool narrow = !IsUtf8CodePage(options.settings.codePage);
  std::size_t hint = 0;
  for (const pugi::xml_attribute& attribute : element.attributes()) {
    const auto index = cls.Find(attribute.name(), rules.namesAnyCase, hint);
    if (!index) continue;
    hint = *index + 1;
    if (!IsValue(rows[*index].kind)) continue;
    try {
      Store(rows[*index], attribute.value(), options, narrow, rules, /*attribute=*/true);
    } catch (const std::exception& e) {
      if (!rules.strictAttributes) throw;
      WriteLog(options.log, fmt::format("Error on LoadXMLAttr:{}  PropName:{}  PropValue:{}", e.what(),
                                        attribute.name(), attribute.value()));
      throw PropertyError(e.what());
    }
  }
  hint = 0;
  for (const pugi::xml_node& child : element.children()) {
    if (child.type() != pugi::node_element) continue;
    const auto index = cls.Find(child.name(), rules.namesAnyCase, hint);
    if (!index) continue;
    hint = *index + 1;
    const PropertyInfo& property = rows[*index];
    if (property.kind == PropertyKind::Object)
      (this->*std::get<std::unique_ptr<Object> Object::*>(property.field))->LoadFromXML(child, options);
    else if (property.kind == PropertyKind::List)
      (this->*std::get<std::unique_ptr<ObjectList> Object::*>(property.field))->LoadFromXML(child, options);
    else if (property.kind != PropertyKind::Int64)  // never read from an element
      Store(property, ElementText(child, rules), options, narrow, rules, /*attribute=*/false);
  }
}

std::string Object::ValueText(const PropertyInfo& property, const Convention& rules) const {
  return std::visit(
      [&](const auto& value) -> std::string {
        using V = std::remove_cvref_t<decltype(value)>;
        if constexpr (std::is_same_v<V, bool>) {
          return std::string(value ? rules.trueText : rules.falseText);
        } else if constexpr (std::is_same_v<V, double>) {
          return FormatGeneral15(value, '.');
        } else if constexpr (std::is_same_v<V, std::string_view>) {
          return std::string(value);
        } else if constexpr (std::is_integral_v<V>) {
          char buffer[24];
          return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
        } else {
          return {};
        }
      },
      Value(property));
}

void Object::SaveToXML(pugi::xml_node element) const {
  const Convention& rules = Class().Rules();
  for (const PropertyInfo& property : Properties()) {
    const std::string name(property.name);
    if (property.kind == PropertyKind::Object) {
      (this->*std::get<std::unique_ptr<Object> Object::*>(property.field))
          ->SaveToXML(element.append_child(name.c_str()));
    } else if (property.kind == PropertyKind::List) {
      (this->*std::get<std::unique_ptr<ObjectList> Object::*>(property.field))
          ->SaveToXML(element.append_child(name.c_str()));
    } else {
      const std::string text = ValueText(property, rules);
      if (!LeftOut(property.name, text)) element.append_attribute(name.c_str()).set_value(text.c_str());
    }
  }
}

void Object::Assign(const Object& source) {
  if (&source == this) return;
  const std::span<const PropertyInfo> rows = Properties();
  const bool sameClass = &source.Class() == &Class();
  std::vector<const PropertyInfo*> from(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    from[i] = sameClass ? &source.Properties()[i] : source.FindProperty(rows[i].name);
    if (from[i] == nullptr || from[i]->field.index() != rows[i].field.index())
      throw std::invalid_argument(fmt::format("Cannot assign {} to {}: no property '{}' of the same kind",
                                              source.Class().Name(), Class().Name(), rows[i].name));
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::visit(
        [&](auto member) {
          using Field = std::remove_cvref_t<decltype(this->*member)>;
          const Field& value = source.*std::get<decltype(member)>(from[i]->field);
          if constexpr (std::is_same_v<Field, std::unique_ptr<Object>>) {
            (this->*member)->Assign(*value);
          } else if constexpr (std::is_same_v<Field, std::unique_ptr<ObjectList>>) {
            (this->*member)->AssignItems(*value);
          } else {
            this->*member = value;
            Changed(rows[i].name);
          }
        },
        rows[i].field);
  }
}

std::int32_t Object::GetInt32(std::string_view name) const {
  return FieldAs<std::int32_t>(*this, FindProperty(name), name);
}
std::uint32_t Object::GetUInt32(std::string_view name) const {
  return FieldAs<std::uint32_t>(*this, FindProperty(name), name);
}
std::int64_t Object::GetInt64(std::string_view name) const {
  return FieldAs<std::int64_t>(*this, FindProperty(name), name);
}
bool Object::GetBool(std::string_view name) const { return FieldAs<bool>(*this, FindProperty(name), name); }
double Object::GetFloat(std::string_view name) const {
  return FieldAs<double>(*this, FindProperty(name), name);
}
const std::string& Object::GetString(std::string_view name) const {
  return FieldAs<std::string>(*this, FindProperty(name), name);
}
Object& Object::GetObject(std::string_view name) const {
  return *FieldAs<std::unique_ptr<Object>>(*this, FindProperty(name), name);
}
ObjectList& Object::GetList(std::string_view name) const {
  return *FieldAs<std::unique_ptr<ObjectList>>(*this, FindProperty(name), name);
}

#define PAGEWEND_MODEL_SET_BY_NAME(Function, T)                     \
  void Object::Function(std::string_view name, T value) {           \
    FieldAs<T>(*this, FindProperty(name), name) = std::move(value); \
    Changed(name);                                                  \
  }
PAGEWEND_MODEL_SET_BY_NAME(SetInt32, std::int32_t)
PAGEWEND_MODEL_SET_BY_NAME(SetUInt32, std::uint32_t)
PAGEWEND_MODEL_SET_BY_NAME(SetInt64, std::int64_t)
PAGEWEND_MODEL_SET_BY_NAME(SetBool, bool)
PAGEWEND_MODEL_SET_BY_NAME(SetFloat, double)
PAGEWEND_MODEL_SET_BY_NAME(SetString, std::string)
#undef PAGEWEND_MODEL_SET_BY_NAME

// ---------------------------------------------------------------------------------------------
// Lists

ObjectList::~ObjectList() = default;

Object& ObjectList::Items(std::size_t index) const {
  if (index >= items_.size())
    throw std::out_of_range(
        fmt::format("List index out of bounds ({}), the list has {} items", index, items_.size()));
  return *items_[index];
}

void ObjectList::CheckHolds(const Object& item) const {
  if (!item.Class().InheritsFrom(*itemClass_))
    throw std::invalid_argument(
        fmt::format("A list of {} cannot hold a {}", itemClass_->Name(), item.Class().Name()));
}

std::size_t ObjectList::Add(std::unique_ptr<Object> item) {
  if (!item) throw std::invalid_argument("Cannot add an empty item to a list");
  CheckHolds(*item);
  item->owner_ = this;
  items_.push_back(std::move(item));
  return items_.size() - 1;
}

Object& ObjectList::AddNew() { return Items(Add(itemClass_->Create(this))); }

void ObjectList::DeleteItem(std::size_t index) {
  Items(index);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

void ObjectList::ExchangeItems(std::size_t a, std::size_t b) {
  Items(a);
  Items(b);
  std::swap(items_[a], items_[b]);
}

void ObjectList::MoveItem(std::size_t from, std::size_t to) {
  Items(from);
  Items(to);
  auto item = std::move(items_[from]);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(from));
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(to), std::move(item));
}

void ObjectList::AssignItems(const ObjectList& source) {
  if (&source == this) return;
  std::vector<std::unique_ptr<Object>> copies;
  copies.reserve(source.items_.size());
  for (const auto& item : source.items_) {
    CheckHolds(*item);
    auto copy = item->Class().Create(this);
    // A class that forgot to declare itself would copy as its base and drop properties.
    const Object& made = *copy;
    const Object& from = *item;
    if (typeid(made) != typeid(from))
      throw std::logic_error(fmt::format("{} does not create objects of its own class", typeid(from).name()));
    copy->Assign(*item);
    copies.push_back(std::move(copy));
  }
  items_ = std::move(copies);
}

void ObjectList::LoadFromXML(const pugi::xml_node& element, const LoadOptions& options) {
  ClearItems();
  for (const pugi::xml_node& child : element.children()) {
    if (child.type() != pugi::node_element) continue;
    auto item = ClassForElement(child.name()).Create(this);
    item->LoadFromXML(child, options);
    items_.push_back(std::move(item));
  }
}

void ObjectList::SaveToXML(pugi::xml_node element) const {
  for (const auto& item : items_)
    item->SaveToXML(element.append_child(std::string(item->ElementName()).c_str()));
}

}  // namespace pagewend::model
