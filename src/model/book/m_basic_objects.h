#pragma once

#include <pugixml.hpp>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "log/run_log.h"
#include "support/system_settings.h"

// The base object and list of the book content model and their XML binding. Every model
// class declares one property table; loading, saving and Assign are driven by it alone.
namespace pagewend::model::book {

class TMBasicObject;
class TMBasicObjects;
class TMClass;

// An attribute value that cannot be converted, or a child Boolean that is no Boolean name.
// The message is the conversion's own.
class TMLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What loading needs from outside: the user's locale (decimal separator and 8-bit code page)
// and the run log that receives attribute errors, if the run has one.
struct LoadOptions {
  SystemSettings settings;
  const RunLog* log = nullptr;
};

enum class PropKind {
  Int32,
  UInt32,  // colours and package offsets
  Int64,   // colours with an alpha byte
  Boolean,
  Float,       // double precision
  String,      // 8-bit text: loaded through the user's code page
  WideString,  // kept as read
  Object,      // an owned sub-object
  List,        // an owned list
};

// A scalar default: int64 for every integer kind and Booleans, double, or UTF-8 text.
using TMValue = std::variant<std::int64_t, double, std::string>;

// One published property: its name as the XML spells it, its kind and its default.
struct PropertyDef {
  using MakeValue = TMValue (*)();
  using MakeObject = std::unique_ptr<TMBasicObject> (*)();
  using MakeList = std::unique_ptr<TMBasicObjects> (*)(TMBasicObject& owner);
  using AfterSet = void (*)(TMBasicObject& self);

  std::string_view name;
  PropKind kind = PropKind::Int32;
  // Scalar default, or generated afresh for each new object when makeDefault is set.
  TMValue defaultValue;
  MakeValue makeDefault = nullptr;
  MakeObject makeObject = nullptr;
  MakeList makeList = nullptr;
  // Runs after every store except the default's: load, Assign and the Set functions.
  AfterSet afterSet = nullptr;

  bool IsScalar() const { return kind != PropKind::Object && kind != PropKind::List; }
  PropertyDef Generated(MakeValue make) const;
  PropertyDef WithAfterSet(AfterSet hook) const;
};

// Builders for table lines; one line per property.
namespace prop {
PropertyDef Int32(std::string_view name, std::int32_t value = 0);
PropertyDef UInt32(std::string_view name, std::uint32_t value = 0);
PropertyDef Int64(std::string_view name, std::int64_t value = 0);
PropertyDef Boolean(std::string_view name, bool value);
PropertyDef Float(std::string_view name, double value);
PropertyDef String(std::string_view name, std::string_view value = {});
PropertyDef WideString(std::string_view name, std::string_view value = {});
template <class T>
PropertyDef Object(std::string_view name) {
  PropertyDef def;
  def.name = name;
  def.kind = PropKind::Object;
  def.makeObject = []() -> std::unique_ptr<TMBasicObject> { return std::make_unique<T>(); };
  return def;
}
template <class T>
PropertyDef List(std::string_view name) {
  PropertyDef def;
  def.name = name;
  def.kind = PropKind::List;
  def.makeList = [](TMBasicObject& owner) -> std::unique_ptr<TMBasicObjects> {
    return std::make_unique<T>(owner);
  };
  return def;
}
}  // namespace prop

// The run-time class of a model object: its name, its parent, how to make one, and the
// property table, inherited properties first. A property declared again by a subclass keeps
// its inherited position and takes the new default.
class TMClass {
 public:
  using Factory = std::unique_ptr<TMBasicObject> (*)(TMBasicObjects* owner);

  // savedUnderTagName: items of this class are saved in lists under their TagName (pages,
  // images and areas, whose setters may change it) rather than the class-derived name.
  TMClass(std::string name, const TMClass* parent, Factory create, std::vector<PropertyDef> own,
          bool savedUnderTagName = false);

  const std::string& Name() const { return name_; }
  const TMClass* Parent() const { return parent_; }
  bool InheritsFrom(const TMClass& other) const;
  std::span<const PropertyDef> Properties() const { return properties_; }
  // Where an object keeps each property: its index in the array of the property's storage
  // (numbers, strings, objects or lists).
  std::size_t Slot(std::size_t index) const { return slots_[index]; }
  // Throws std::logic_error for a class that cannot be instantiated.
  std::unique_ptr<TMBasicObject> Create(TMBasicObjects* owner) const;

  // Index of the property of exactly this name.
  std::optional<std::size_t> Find(std::string_view name) const;
  // Index of the property whose name matches ignoring ASCII case; looks at `hint` first, as
  // documents mostly list attributes in table order.
  std::optional<std::size_t> FindIgnoringCase(std::string_view name, std::size_t hint = 0) const;
  // Like Find, but a missing property is an error naming the class.
  std::size_t IndexOf(std::string_view name) const;

  // The class name without its first two characters, lower-cased ("TMPage" → "page").
  const std::string& DefaultTagName() const { return defaultTagName_; }
  // The name under which an item of this class is saved in a list when it does not use its
  // TagName: without a leading "T" and the character after it, lower-cased.
  const std::string& ClassElementName() const { return classElementName_; }
  bool SavedUnderTagName() const { return savedUnderTagName_; }

 private:
  std::string name_;
  const TMClass* parent_;
  Factory create_;
  std::vector<PropertyDef> properties_;
  std::vector<std::size_t> slots_;
  // The fixed defaults of numbers and strings, copied into each new object in one go.
  std::vector<std::int64_t> defaultNumbers_;
  std::vector<std::string> defaultStrings_;
  std::size_t objectCount_ = 0;
  std::size_t listCount_ = 0;
  friend class TMBasicObject;
  std::string defaultTagName_;
  std::string classElementName_;
  bool savedUnderTagName_;
};

// The factory of a concrete class, for its TMClass.
template <class T>
std::unique_ptr<TMBasicObject> MakeObject(TMBasicObjects* owner) {
  return std::make_unique<T>(owner);
}

// Whether saving leaves the property out, given the value as the book writes it.
bool IsSkippedValue(std::string_view name, std::string_view text);

// The base of every model object. Objects are not copyable; Assign copies the published
// properties, deep for sub-objects and lists.
class TMBasicObject {
 public:
  virtual ~TMBasicObject();
  TMBasicObject(const TMBasicObject&) = delete;
  TMBasicObject& operator=(const TMBasicObject&) = delete;

  static const TMClass& ClassInfo();
  const TMClass& Class() const { return *class_; }
  // The list that holds this object, or none.
  TMBasicObjects* Owner() const { return owner_; }
  const std::string& TagName() const { return tagName_; }
  void SetTagName(std::string name) { tagName_ = std::move(name); }

  virtual void LoadFromXML(const pugi::xml_node& element, const LoadOptions& options);
  // Writes the published properties into the given, already created element.
  virtual void SaveToXML(pugi::xml_node element) const;
  // Throws std::invalid_argument, changing nothing, when the source lacks one of this
  // object's properties.
  void Assign(const TMBasicObject& source);

  // Published properties by their exact names. A wrong name or kind throws std::logic_error.
  std::int32_t GetInt32(std::string_view name) const;
  std::uint32_t GetUInt32(std::string_view name) const;
  std::int64_t GetInt64(std::string_view name) const;
  bool GetBool(std::string_view name) const;
  double GetFloat(std::string_view name) const;
  const std::string& GetString(std::string_view name) const;  // String and WideString
  void SetInt32(std::string_view name, std::int32_t value);
  void SetUInt32(std::string_view name, std::uint32_t value);
  void SetInt64(std::string_view name, std::int64_t value);
  void SetBool(std::string_view name, bool value);
  void SetFloat(std::string_view name, double value);
  void SetString(std::string_view name, std::string value);
  TMBasicObject& GetObject(std::string_view name) const;
  TMBasicObjects& GetList(std::string_view name) const;

 protected:
  TMBasicObject(const TMClass& cls, TMBasicObjects* owner);

  // Typed access by table index, for the accessors of concrete classes.
  std::int64_t IntAt(std::size_t index) const { return numbers_[class_->Slot(index)]; }
  double FloatAt(std::size_t index) const { return std::bit_cast<double>(numbers_[class_->Slot(index)]); }
  const std::string& StringAt(std::size_t index) const { return strings_[class_->Slot(index)]; }
  TMBasicObject& ObjectAt(std::size_t index) const { return *objects_[class_->Slot(index)]; }
  TMBasicObjects& ListAt(std::size_t index) const { return *lists_[class_->Slot(index)]; }
  void SetIntAt(std::size_t index, std::int64_t value);
  void SetFloatAt(std::size_t index, double value);
  void SetStringAt(std::size_t index, std::string value);

  void LoadAttributes(const pugi::xml_node& element, const LoadOptions& options);
  void LoadChildren(const pugi::xml_node& element, const LoadOptions& options);
  // The value of a scalar property as the book writes it.
  std::string ValueText(std::size_t index) const;

 private:
  friend class TMBasicObjects;
  std::size_t CheckedIndex(std::string_view name, PropKind kind) const;
  void AfterSet(std::size_t index);
  // Converts a loaded text into a scalar property; lenient is the child element rule.
  void Store(std::size_t index, std::string_view text, const LoadOptions& options, bool lenient);

  const TMClass* class_;
  TMBasicObjects* owner_;
  std::string tagName_;
  // Integers and Booleans as int64, floats as the bits of a double.
  std::vector<std::int64_t> numbers_;
  std::vector<std::string> strings_;
  std::vector<std::unique_ptr<TMBasicObject>> objects_;
  std::vector<std::unique_ptr<TMBasicObjects>> lists_;
};

// The base of every list of the model. The list owns its items; every item's class descends
// from the list's item class.
class TMBasicObjects {
 public:
  TMBasicObjects(const TMClass& itemClass, TMBasicObject& owner);
  virtual ~TMBasicObjects();
  TMBasicObjects(const TMBasicObjects&) = delete;
  TMBasicObjects& operator=(const TMBasicObjects&) = delete;

  TMBasicObject& Owner() const { return *owner_; }
  const TMClass& ItemClass() const { return *itemClass_; }
  std::size_t Count() const { return items_.size(); }

  // Out-of-range indices throw std::out_of_range.
  TMBasicObject& Items(std::size_t index) const;
  // Appends the item, which this list then holds, and returns its index. An item whose class
  // does not descend from the item class throws std::invalid_argument.
  std::size_t Add(std::unique_ptr<TMBasicObject> item);
  // Appends a new item of the item class.
  TMBasicObject& AddNew();
  void DeleteItem(std::size_t index);
  void ExchangeItems(std::size_t a, std::size_t b);
  // Removes the item at `from` and inserts it at `to`.
  void MoveItem(std::size_t from, std::size_t to);
  void ClearItems() { items_.clear(); }
  // Replaces the items by copies of the source's, each of its source item's own class.
  void AssignItems(const TMBasicObjects& source);

  // Replaces the items by one per child element, whatever the element's name.
  virtual void LoadFromXML(const pugi::xml_node& element, const LoadOptions& options);
  void SaveToXML(pugi::xml_node element) const;

 protected:
  // The class of the item that a child element of this name becomes.
  virtual const TMClass& ClassForElement(std::string_view name) const;
  std::vector<std::unique_ptr<TMBasicObject>>& Storage() { return items_; }

 private:
  const TMClass* itemClass_;
  TMBasicObject* owner_;
  std::vector<std::unique_ptr<TMBasicObject>> items_;
};

// A list whose items are of one class T (or of classes descending from it).
template <class T>
class TMObjectList : public TMBasicObjects {
 public:
  explicit TMObjectList(TMBasicObject& owner) : TMBasicObjects(T::ClassInfo(), owner) {}
  T& Items(std::size_t index) const { return static_cast<T&>(TMBasicObjects::Items(index)); }
  T& AddNew() { return static_cast<T&>(TMBasicObjects::AddNew()); }
};

}  // namespace pagewend::model::book
