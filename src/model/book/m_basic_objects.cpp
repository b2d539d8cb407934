#include "model/book/m_basic_objects.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

#include "model/xml_source.h"

namespace pagewend::model::book {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string LowerCopy(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), LowerAscii);
  return out;
}

bool IsUtf8(std::string_view codePage) {
  return EqualsIgnoringCase(codePage, "UTF-8") || EqualsIgnoringCase(codePage, "UTF8");
}

std::string_view KindName(PropKind kind) {
  switch (kind) {
    case PropKind::Int32:
      return "32-bit integer";
    case PropKind::UInt32:
      return "32-bit unsigned integer";
    case PropKind::Int64:
      return "64-bit integer";
    case PropKind::Boolean:
      return "Boolean";
    case PropKind::Float:
      return "float";
    case PropKind::String:
      return "string";
    case PropKind::WideString:
      return "wide string";
    case PropKind::Object:
      return "object";
    case PropKind::List:
      return "list";
  }
  return "?";
}

template <class Int>
std::optional<Int> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  Int value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<bool> ParseBoolean(std::string_view text) {
  if (EqualsIgnoringCase(text, "true")) return true;
  if (EqualsIgnoringCase(text, "false")) return false;
  return std::nullopt;
}

// The book writes decimals with "."; the user's separator is accepted as well, since the
// conversion reads the text in the user's format after "." has been mapped to it.
std::optional<double> ParseBookDecimal(std::string_view text, char separator) {
  if (separator == '.') return ParseDecimal(text, '.');
  std::string mapped(text);
  std::replace(mapped.begin(), mapped.end(), '.', separator);
  return ParseDecimal(mapped, separator);
}

std::string_view RangeOf(PropKind kind) {
  return kind == PropKind::UInt32 ? "unsigned 32-bit" : kind == PropKind::Int64 ? "64-bit" : "32-bit";
}

[[noreturn]] void ThrowNotConverted(const PropertyDef& def, std::string_view text) {
  switch (def.kind) {
    case PropKind::Boolean:
      throw TMLoadError(fmt::format("'{}' is not a valid Boolean value", text));
    case PropKind::Float:
      throw TMLoadError(fmt::format("'{}' is not a valid floating point value", text));
    default:
      throw TMLoadError(fmt::format("'{}' is not a valid {} integer value", text, RangeOf(def.kind)));
  }
}

// Stores the text into a number or string slot; strings reuse their buffer. `lenient` is the
// child element rule: numbers that do not parse read as 0.
void StoreText(std::int64_t* number, std::string* string, const PropertyDef& def, std::string_view text,
               const LoadOptions& options, bool lenient) {
  switch (def.kind) {
    case PropKind::Int32:
    case PropKind::UInt32:
    case PropKind::Int64: {
      std::optional<std::int64_t> value;
      if (def.kind == PropKind::Int32) {
        if (auto v = ParseInt32(text)) value = *v;
      } else if (def.kind == PropKind::UInt32) {
        if (auto v = ParseInteger<std::uint32_t>(text)) value = *v;
      } else {
        value = ParseInteger<std::int64_t>(text);
      }
      if (!value && !lenient) ThrowNotConverted(def, text);
      *number = value.value_or(0);
      return;
    }
    case PropKind::Boolean: {
      const auto value = ParseBoolean(text);
      if (!value) ThrowNotConverted(def, text);
      *number = *value ? 1 : 0;
      return;
    }
    case PropKind::Float: {
      const auto value = ParseBookDecimal(text, options.settings.decimalSeparator);
      if (!value && !lenient) ThrowNotConverted(def, text);
      *number = std::bit_cast<std::int64_t>(value.value_or(0.0));
      return;
    }
    case PropKind::String:
      if (!IsUtf8(options.settings.codePage)) {
        *string = Narrow8Bit(text, options.settings.codePage);
        return;
      }
      [[fallthrough]];
    case PropKind::WideString:
      string->assign(text);
      return;
    case PropKind::Object:
    case PropKind::List:
      break;
  }
}

// Attribute and child element names match property names ignoring ASCII case. Documents
// mostly list attributes in table order, so the property after the last match is tried first.
bool NameMatches(std::string_view property, const char* name) {
  for (std::size_t i = 0; i < property.size(); ++i) {
    const char c = name[i];
    if (c != property[i] && (c == '\0' || LowerAscii(c) != LowerAscii(property[i]))) return false;
  }
  return name[property.size()] == '\0';
}

std::optional<std::size_t> FindProperty(std::span<const PropertyDef> properties, const char* name,
                                        std::size_t hint) {
  if (hint < properties.size() && NameMatches(properties[hint].name, name)) return hint;
  for (std::size_t i = 0; i < properties.size(); ++i)
    if (i != hint && NameMatches(properties[i].name, name)) return i;
  return std::nullopt;
}

bool IsNumber(PropKind kind) { return kind != PropKind::String && kind != PropKind::WideString; }

std::int64_t NumberBits(const TMValue& value) {
  if (const auto* d = std::get_if<double>(&value)) return std::bit_cast<std::int64_t>(*d);
  return std::get<std::int64_t>(value);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Property definitions

PropertyDef PropertyDef::Generated(MakeValue make) const {
  PropertyDef copy = *this;
  copy.makeDefault = make;
  return copy;
}

PropertyDef PropertyDef::WithAfterSet(AfterSet hook) const {
  PropertyDef copy = *this;
  copy.afterSet = hook;
  return copy;
}

namespace prop {
namespace {
PropertyDef Scalar(std::string_view name, PropKind kind,
                   std::variant<std::int64_t, double, std::string> value) {
  PropertyDef def;
  def.name = name;
  def.kind = kind;
  def.defaultValue = std::move(value);
  return def;
}
}  // namespace

PropertyDef Int32(std::string_view name, std::int32_t value) {
  return Scalar(name, PropKind::Int32, std::int64_t{value});
}
PropertyDef UInt32(std::string_view name, std::uint32_t value) {
  return Scalar(name, PropKind::UInt32, std::int64_t{value});
}
PropertyDef Int64(std::string_view name, std::int64_t value) { return Scalar(name, PropKind::Int64, value); }
PropertyDef Boolean(std::string_view name, bool value) {
  return Scalar(name, PropKind::Boolean, std::int64_t{value ? 1 : 0});
}
PropertyDef Float(std::string_view name, double value) { return Scalar(name, PropKind::Float, value); }
PropertyDef String(std::string_view name, std::string_view value) {
  return Scalar(name, PropKind::String, std::string(value));
}
PropertyDef WideString(std::string_view name, std::string_view value) {
  return Scalar(name, PropKind::WideString, std::string(value));
}
}  // namespace prop

// ---------------------------------------------------------------------------------------------
// Classes

TMClass::TMClass(std::string name, const TMClass* parent, Factory create, std::vector<PropertyDef> own,
                 bool savedUnderTagName)
    : name_(std::move(name)), parent_(parent), create_(create), savedUnderTagName_(savedUnderTagName) {
  if (parent_) properties_ = parent_->properties_;
  for (PropertyDef& def : own) {
    auto same = std::find_if(properties_.begin(), properties_.end(),
                             [&](const PropertyDef& p) { return p.name == def.name; });
    if (same != properties_.end())
      *same = std::move(def);
    else
      properties_.push_back(std::move(def));
  }
  slots_.reserve(properties_.size());
  for (const PropertyDef& def : properties_) {
    switch (def.kind) {
      case PropKind::Object:
        slots_.push_back(objectCount_++);
        break;
      case PropKind::List:
        slots_.push_back(listCount_++);
        break;
      case PropKind::String:
      case PropKind::WideString:
        slots_.push_back(defaultStrings_.size());
        defaultStrings_.push_back(std::get<std::string>(def.defaultValue));
        break;
      default:
        slots_.push_back(defaultNumbers_.size());
        defaultNumbers_.push_back(NumberBits(def.defaultValue));
        break;
    }
  }
  defaultTagName_ = LowerCopy(std::string_view(name_).substr(std::min<std::size_t>(2, name_.size())));
  std::string_view element = name_;
  if (!element.empty() && element.front() == 'T')
    element.remove_prefix(std::min<std::size_t>(2, element.size()));
  classElementName_ = LowerCopy(element);
}

std::unique_ptr<TMBasicObject> TMClass::Create(TMBasicObjects* owner) const {
  if (!create_) throw std::logic_error(fmt::format("{} cannot be instantiated", name_));
  return create_(owner);
}

bool TMClass::InheritsFrom(const TMClass& other) const {
  for (const TMClass* c = this; c; c = c->parent_)
    if (c == &other) return true;
  return false;
}

std::optional<std::size_t> TMClass::Find(std::string_view name) const {
  for (std::size_t i = 0; i < properties_.size(); ++i)
    if (properties_[i].name == name) return i;
  return std::nullopt;
}

std::optional<std::size_t> TMClass::FindIgnoringCase(std::string_view name, std::size_t hint) const {
  const std::size_t n = properties_.size();
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t i = (hint + k) % n;
    if (EqualsIgnoringCase(properties_[i].name, name)) return i;
  }
  return std::nullopt;
}

std::size_t TMClass::IndexOf(std::string_view name) const {
  if (auto index = Find(name)) return *index;
  throw std::logic_error(fmt::format("{} has no property '{}'", name_, name));
}

bool IsSkippedValue(std::string_view name, std::string_view text) {
  if (name == "password" || name == "zoomsnap" || name == "gaaccount" || name == "gui") return text.empty();
  if (name == "zoominit") return text == "0.5" || text == "0.50";
  if (name == "startpage") return text == "1";
  if (name == "spinecolor") return text == "13421772";
  return false;
}

// ---------------------------------------------------------------------------------------------
// Objects

const TMClass& TMBasicObject::ClassInfo() {
  static const TMClass info("TMBasicObject", nullptr, nullptr, {});
  return info;
}

TMBasicObject::TMBasicObject(const TMClass& cls, TMBasicObjects* owner)
    : class_(&cls),
      owner_(owner),
      tagName_(cls.DefaultTagName()),
      numbers_(cls.defaultNumbers_),
      strings_(cls.defaultStrings_) {
  objects_.reserve(cls.objectCount_);
  lists_.reserve(cls.listCount_);
  const auto properties = cls.Properties();
  for (std::size_t i = 0; i < properties.size(); ++i) {
    const PropertyDef& def = properties[i];
    if (def.kind == PropKind::Object) {
      objects_.push_back(def.makeObject());
    } else if (def.kind == PropKind::List) {
      lists_.push_back(def.makeList(*this));
    } else if (def.makeDefault) {
      if (IsNumber(def.kind))
        numbers_[cls.Slot(i)] = NumberBits(def.makeDefault());
      else
        strings_[cls.Slot(i)] = std::get<std::string>(def.makeDefault());
    }
  }
}

TMBasicObject::~TMBasicObject() = default;

std::size_t TMBasicObject::CheckedIndex(std::string_view name, PropKind kind) const {
  const std::size_t index = class_->IndexOf(name);
  const PropKind actual = class_->Properties()[index].kind;
  const bool matches = actual == kind || (kind == PropKind::String && actual == PropKind::WideString);
  if (!matches)
    throw std::logic_error(fmt::format("Property '{}' of {} is a {}, not a {}", name, class_->Name(),
                                       KindName(actual), KindName(kind)));
  return index;
}

void TMBasicObject::AfterSet(std::size_t index) {
  if (auto hook = class_->Properties()[index].afterSet) hook(*this);
}

void TMBasicObject::SetIntAt(std::size_t index, std::int64_t value) {
  numbers_[class_->Slot(index)] = value;
  AfterSet(index);
}

void TMBasicObject::SetFloatAt(std::size_t index, double value) {
  numbers_[class_->Slot(index)] = std::bit_cast<std::int64_t>(value);
  AfterSet(index);
}

void TMBasicObject::SetStringAt(std::size_t index, std::string value) {
  strings_[class_->Slot(index)] = std::move(value);
  AfterSet(index);
}

std::int32_t TMBasicObject::GetInt32(std::string_view name) const {
  return static_cast<std::int32_t>(IntAt(CheckedIndex(name, PropKind::Int32)));
}
std::uint32_t TMBasicObject::GetUInt32(std::string_view name) const {
  return static_cast<std::uint32_t>(IntAt(CheckedIndex(name, PropKind::UInt32)));
}
std::int64_t TMBasicObject::GetInt64(std::string_view name) const {
  return IntAt(CheckedIndex(name, PropKind::Int64));
}
bool TMBasicObject::GetBool(std::string_view name) const {
  return IntAt(CheckedIndex(name, PropKind::Boolean)) != 0;
}
double TMBasicObject::GetFloat(std::string_view name) const {
  return FloatAt(CheckedIndex(name, PropKind::Float));
}
const std::string& TMBasicObject::GetString(std::string_view name) const {
  return StringAt(CheckedIndex(name, PropKind::String));
}
void TMBasicObject::SetInt32(std::string_view name, std::int32_t value) {
  SetIntAt(CheckedIndex(name, PropKind::Int32), value);
}
void TMBasicObject::SetUInt32(std::string_view name, std::uint32_t value) {
  SetIntAt(CheckedIndex(name, PropKind::UInt32), value);
}
void TMBasicObject::SetInt64(std::string_view name, std::int64_t value) {
  SetIntAt(CheckedIndex(name, PropKind::Int64), value);
}
void TMBasicObject::SetBool(std::string_view name, bool value) {
  SetIntAt(CheckedIndex(name, PropKind::Boolean), value ? 1 : 0);
}
void TMBasicObject::SetFloat(std::string_view name, double value) {
  SetFloatAt(CheckedIndex(name, PropKind::Float), value);
}
void TMBasicObject::SetString(std::string_view name, std::string value) {
  SetStringAt(CheckedIndex(name, PropKind::String), std::move(value));
}
TMBasicObject& TMBasicObject::GetObject(std::string_view name) const {
  return ObjectAt(CheckedIndex(name, PropKind::Object));
}
TMBasicObjects& TMBasicObject::GetList(std::string_view name) const {
  return ListAt(CheckedIndex(name, PropKind::List));
}

void TMBasicObject::Store(std::size_t index, std::string_view text, const LoadOptions& options,
                          bool lenient) {
  const PropertyDef& def = class_->Properties()[index];
  const std::size_t slot = class_->Slot(index);
  if (IsNumber(def.kind))
    StoreText(&numbers_[slot], nullptr, def, text, options, lenient);
  else
    StoreText(nullptr, &strings_[slot], def, text, options, lenient);
}

void TMBasicObject::LoadFromXML(const pugi::xml_node& element, const LoadOptions& options) {
  LoadAttributes(element, options);
  LoadChildren(element, options);
}

void TMBasicObject::LoadAttributes(const pugi::xml_node& element, const LoadOptions& options) {
  const auto properties = class_->Properties();
  std::size_t hint = 0;
  for (pugi::xml_attribute attr = element.first_attribute(); attr; attr = attr.next_attribute()) {
    const char* name = attr.name();
    const auto index = FindProperty(properties, name, hint);
    if (!index) continue;
    hint = *index + 1;
    while (hint < properties.size() && !properties[hint].IsScalar()) ++hint;
    const PropertyDef& def = properties[*index];
    if (!def.IsScalar()) continue;
    const std::string_view text = attr.value();
    try {
      Store(*index, text, options, /*lenient=*/false);
      AfterSet(*index);
    } catch (const std::exception& e) {
      WriteLog(options.log,
               fmt::format("Error on LoadXMLAttr:{}  PropName:{}  PropValue:{}", e.what(), name, text));
      throw TMLoadError(e.what());
    }
  }
}

void TMBasicObject::LoadChildren(const pugi::xml_node& element, const LoadOptions& options) {
  const auto properties = class_->Properties();
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    const auto index = FindProperty(properties, child.name(), 0);
    if (!index) continue;
    const PropertyDef& def = properties[*index];
    switch (def.kind) {
      case PropKind::Object:
        ObjectAt(*index).LoadFromXML(child, options);
        break;
      case PropKind::List:
        ListAt(*index).LoadFromXML(child, options);
        break;
      case PropKind::Int64:
        break;  // colours with alpha are read from attributes only
      default:
        Store(*index, child.text().get(), options, /*lenient=*/true);
        AfterSet(*index);
        break;
    }
  }
}

std::string TMBasicObject::ValueText(std::size_t index) const {
  const PropertyDef& def = class_->Properties()[index];
  switch (def.kind) {
    case PropKind::Int32:
    case PropKind::UInt32:
    case PropKind::Int64: {
      char buffer[24];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, IntAt(index));
      return std::string(buffer, result.ptr);
    }
    case PropKind::Boolean:
      return IntAt(index) != 0 ? "true" : "false";
    case PropKind::Float:
      return FormatDecimal(FloatAt(index), '.');
    case PropKind::String:
    case PropKind::WideString:
      return StringAt(index);
    case PropKind::Object:
    case PropKind::List:
      break;
  }
  return {};
}

void TMBasicObject::SaveToXML(pugi::xml_node element) const {
  const auto properties = class_->Properties();
  for (std::size_t i = 0; i < properties.size(); ++i) {
    const PropertyDef& def = properties[i];
    const std::string name(def.name);
    if (def.kind == PropKind::Object) {
      ObjectAt(i).SaveToXML(element.append_child(name.c_str()));
    } else if (def.kind == PropKind::List) {
      ListAt(i).SaveToXML(element.append_child(name.c_str()));
    } else {
      const std::string text = ValueText(i);
      if (IsSkippedValue(def.name, text)) continue;
      element.append_attribute(name.c_str()).set_value(text.c_str());
    }
  }
}

void TMBasicObject::Assign(const TMBasicObject& source) {
  if (&source == this) return;
  const auto properties = class_->Properties();
  const bool sameTable = source.class_ == class_;
  std::vector<std::size_t> from(properties.size());
  for (std::size_t i = 0; i < properties.size(); ++i) {
    if (sameTable) {
      from[i] = i;
      continue;
    }
    const auto index = source.class_->Find(properties[i].name);
    if (!index || source.class_->Properties()[*index].kind != properties[i].kind)
      throw std::invalid_argument(fmt::format("Cannot assign {} to {}: no property '{}' of the same kind",
                                              source.class_->Name(), class_->Name(), properties[i].name));
    from[i] = *index;
  }
  for (std::size_t i = 0; i < properties.size(); ++i) {
    switch (properties[i].kind) {
      case PropKind::Object:
        ObjectAt(i).Assign(source.ObjectAt(from[i]));
        break;
      case PropKind::List:
        ListAt(i).AssignItems(source.ListAt(from[i]));
        break;
      case PropKind::Float:
        SetFloatAt(i, source.FloatAt(from[i]));
        break;
      case PropKind::String:
      case PropKind::WideString:
        SetStringAt(i, source.StringAt(from[i]));
        break;
      default:
        SetIntAt(i, source.IntAt(from[i]));
        break;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Lists

TMBasicObjects::TMBasicObjects(const TMClass& itemClass, TMBasicObject& owner)
    : itemClass_(&itemClass), owner_(&owner) {}

TMBasicObjects::~TMBasicObjects() = default;

TMBasicObject& TMBasicObjects::Items(std::size_t index) const {
  if (index >= items_.size())
    throw std::out_of_range(
        fmt::format("List index out of bounds ({}), the list has {} items", index, items_.size()));
  return *items_[index];
}

std::size_t TMBasicObjects::Add(std::unique_ptr<TMBasicObject> item) {
  if (!item) throw std::invalid_argument("Cannot add an empty item to a list");
  if (!item->Class().InheritsFrom(*itemClass_))
    throw std::invalid_argument(
        fmt::format("A list of {} cannot hold a {}", itemClass_->Name(), item->Class().Name()));
  item->owner_ = this;
  items_.push_back(std::move(item));
  return items_.size() - 1;
}

TMBasicObject& TMBasicObjects::AddNew() { return Items(Add(itemClass_->Create(this))); }

void TMBasicObjects::DeleteItem(std::size_t index) {
  Items(index);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TMBasicObjects::ExchangeItems(std::size_t a, std::size_t b) {
  Items(a);
  Items(b);
  std::swap(items_[a], items_[b]);
}

void TMBasicObjects::MoveItem(std::size_t from, std::size_t to) {
  Items(from);
  Items(to);
  if (from == to) return;
  auto item = std::move(items_[from]);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(from));
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(to), std::move(item));
}

void TMBasicObjects::AssignItems(const TMBasicObjects& source) {
  if (&source == this) return;
  // Build the copies first, so a failing item leaves this list as it was.
  std::vector<std::unique_ptr<TMBasicObject>> copies;
  copies.reserve(source.items_.size());
  for (const auto& item : source.items_) {
    if (!item->Class().InheritsFrom(*itemClass_))
      throw std::invalid_argument(
          fmt::format("A list of {} cannot hold a {}", itemClass_->Name(), item->Class().Name()));
    auto copy = item->Class().Create(this);
    copy->Assign(*item);
    copies.push_back(std::move(copy));
  }
  items_ = std::move(copies);
}

const TMClass& TMBasicObjects::ClassForElement(std::string_view) const { return *itemClass_; }

void TMBasicObjects::LoadFromXML(const pugi::xml_node& element, const LoadOptions& options) {
  ClearItems();
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    auto item = ClassForElement(child.name()).Create(this);
    item->LoadFromXML(child, options);
    if (items_.capacity() == 0) items_.reserve(4);  // pages mostly hold a few elements
    items_.push_back(std::move(item));
  }
}

void TMBasicObjects::SaveToXML(pugi::xml_node element) const {
  for (const auto& item : items_) {
    const TMClass& cls = item->Class();
    const std::string& name = cls.SavedUnderTagName() ? item->TagName() : cls.ClassElementName();
    item->SaveToXML(element.append_child(name.c_str()));
  }
}

}  // namespace pagewend::model::book
