#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "log/run_log.h"
#include "model/xml_source.h"
#include "support/system_settings.h"

// The property engine of both document models. Every model class declares one table of
// published properties; that table alone decides what an object holds and how it loads, saves,
// copies and lists. The two documents differ only in their Convention.
namespace pagewend::model {

class Object;
class ObjectList;

// A value the document gives that cannot be taken; the message is the conversion's own.
class PropertyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What loading needs from outside: the user's locale (decimal separator and 8-bit code page)
// and the run log that receives attribute errors, if the run has one.
struct LoadOptions {
  LoadOptions() = default;
  LoadOptions(SystemSettings locale, const RunLog* runLog = nullptr)
      : settings(std::move(locale)), log(runLog) {}
  SystemSettings settings;
  const RunLog* log = nullptr;
};

// Integer = signed 32-bit, Cardinal = unsigned 32-bit, Int64 = signed 64-bit, Double = 64-bit
// float, Text = 8-bit text in the user's code page, WideText = any Unicode text (both texts held
// as UTF-8), Object = an owned sub-object, List = an owned list.
enum class PropertyKind { Integer, Cardinal, Int64, Boolean, Double, Text, WideText, Object, List };

using PropertyStorages = std::tuple<std::int32_t, std::uint32_t, std::int64_t, bool, double, std::string,
                                    std::string, std::unique_ptr<Object>, std::unique_ptr<ObjectList>>;
template <PropertyKind K>
using StorageOf = std::tuple_element_t<static_cast<std::size_t>(K), PropertyStorages>;

// Where a property's field lies, seen from the base class. Text and WideText share the string
// member pointer; the row's kind tells them apart.
using FieldPtr = std::variant<std::int32_t Object::*, std::uint32_t Object::*, std::int64_t Object::*,
                              bool Object::*, double Object::*, std::string Object::*,
                              std::unique_ptr<Object> Object::*, std::unique_ptr<ObjectList> Object::*>;

// One row of a class's property table: the name as the document spells it, kind and field.
struct PropertyInfo {
  std::string_view name;
  PropertyKind kind;
  FieldPtr field;
};

// A property's current value as the table reads it; texts and sub-objects point into the object.
using PropertyValue = std::variant<std::int32_t, std::uint32_t, std::int64_t, bool, double, std::string_view,
                                   const Object*, const ObjectList*>;

// How one kind of document writes its values. Each model's root class names its convention;
// every class below it follows it.
struct Convention {
  // Boolean texts as written; they are read in any letter case.
  std::string_view trueText, falseText;
  // Property names are compared ignoring ASCII case; otherwise exactly.
  bool namesAnyCase;
  // Decimals carry "." whatever the user's separator (which is accepted as well); otherwise they
  // carry the user's separator.
  bool pointDecimals;
  // An attribute that does not convert ends the load and is logged; otherwise a number that
  // does not convert reads as 0, as it always does in an element.
  bool strictAttributes;
  // Cardinals read as unsigned 32-bit numbers; otherwise as signed 32-bit ones whose bits are
  // kept ("-1" is 4294967295), as the settings' writer does.
  bool unsignedCardinals;
  // An element holding a value must hold one text node at most; otherwise its first text counts.
  bool singleTextNode;
  // Whether a whole document's nesting is checked before it loads.
  XmlDepthCheck depthCheck;
  // The message for a Boolean text that is neither; "{}" stands for the text.
  std::string_view badBoolean;
};

// Who created an object: nothing (a top-level object), the object whose sub-object it is, or
// the list that holds it. Never owning.
using ObjectOwner = std::variant<std::monostate, const Object*, const ObjectList*>;

// The run-time class of a model object: its name, its parent, how to make one, and the property
// table, inherited properties first, each class's own in declaration order.
class ObjectClass {
 public:
  using Factory = std::unique_ptr<Object> (*)(ObjectOwner owner);

  // A root class names the convention; any other takes its parent's. A name declared twice in
  // one table is refused.
  ObjectClass(std::string_view name, const ObjectClass* parent, Factory create,
              std::span<const PropertyInfo> own, const Convention* convention = nullptr);

  std::string_view Name() const { return name_; }
  const ObjectClass* Parent() const { return parent_; }
  bool InheritsFrom(const ObjectClass& other) const;
  std::span<const PropertyInfo> Properties() const { return properties_; }
  const Convention& Rules() const { return *convention_; }
  // Throws std::logic_error for a class that cannot be instantiated.
  std::unique_ptr<Object> Create(ObjectOwner owner) const;

  // The index of the property of that name, compared as the convention says; `hint` is tried
  // first, as documents mostly list properties in table order.
  std::optional<std::size_t> Find(std::string_view name, bool anyCase = false, std::size_t hint = 0) const;
  // The class name without its leading "T" and the character after it, lower-cased
  // ("TMPage" gives "page"): the element an item of this class is saved as.
  const std::string& ElementName() const { return elementName_; }

 private:
  std::string_view name_;
  const ObjectClass* parent_;
  Factory create_;
  const Convention* convention_;
  std::vector<PropertyInfo> properties_;
  std::string elementName_;
};

template <class T>
std::unique_ptr<Object> NewObject(ObjectOwner owner) {
  return std::make_unique<T>(owner);
}

// The base of every model object. Objects own their sub-objects and lists, which point back at
// them, so objects are neither copied nor moved: Assign makes a deep copy.
class Object {
 public:
  explicit Object(ObjectOwner owner = {}) : owner_(owner) {}
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  virtual const ObjectClass& Class() const = 0;
  ObjectOwner Owner() const { return owner_; }
  std::span<const PropertyInfo> Properties() const { return Class().Properties(); }
  // The row of exactly that name, or null.
  const PropertyInfo* FindProperty(std::string_view name) const;
  // The value of one row of Properties().
  PropertyValue Value(const PropertyInfo& property) const;

  // Parses a whole document (encoding from the document itself) and loads its root element,
  // whatever its name. Throws XmlError for a document that does not parse and PropertyError for
  // a value that cannot be taken; what loaded before the error keeps its new value.
  void LoadFromStream(std::string_view document, const LoadOptions& options);
  void LoadFromStream(std::istream& in, const LoadOptions& options);
  // The element's attributes, then its child elements in document order; unknown names are
  // ignored, and only children named after sub-objects and lists are descended into.
  void LoadFromXML(const pugi::xml_node& element, const LoadOptions& options);
  // Writes the values as attributes (fractions as the documents' writer does, in 15 significant
  // digits with ".") and the sub-objects and lists as child elements of the given, already
  // created element.
  void SaveToXML(pugi::xml_node element) const;
  // Copies every property of this object's table, deep for sub-objects and lists, from the
  // source's property of the same name. A source that lacks one, or holds it in another form,
  // throws std::invalid_argument before anything changes.
  void Assign(const Object& source);

  // Properties by their exact names; a wrong name or kind throws std::logic_error.
  std::int32_t GetInt32(std::string_view name) const;
  std::uint32_t GetUInt32(std::string_view name) const;
  std::int64_t GetInt64(std::string_view name) const;
  bool GetBool(std::string_view name) const;
  double GetFloat(std::string_view name) const;
  const std::string& GetString(std::string_view name) const;  // Text and WideText
  Object& GetObject(std::string_view name) const;
  ObjectList& GetList(std::string_view name) const;
  void SetInt32(std::string_view name, std::int32_t value);
  void SetUInt32(std::string_view name, std::uint32_t value);
  void SetInt64(std::string_view name, std::int64_t value);
  void SetBool(std::string_view name, bool value);
  void SetFloat(std::string_view name, double value);
  void SetString(std::string_view name, std::string value);

  // The element name an item of this object's class is saved under in a list.
  virtual std::string_view ElementName() const { return Class().ElementName(); }

 protected:
  // After a value is stored by a setter, a load or Assign (never for a default).
  virtual void Changed(std::string_view /*property*/) {}
  // Whether saving leaves out the property, given the value as it would be written.
  virtual bool LeftOut(std::string_view /*property*/, std::string_view /*text*/) const { return false; }

 private:
  friend class ObjectList;
  // narrow: Text kinds go through the user's 8-bit code page.
  void Store(const PropertyInfo& property, std::string_view text, const LoadOptions& options, bool narrow,
             const Convention& rules, bool attribute);
  std::string ValueText(const PropertyInfo& property, const Convention& rules) const;

  ObjectOwner owner_;
};

// An ordered list of model objects; every item's class descends from the list's item class.
class ObjectList {
 public:
  ObjectList(const ObjectClass& itemClass, Object& owner) : itemClass_(&itemClass), owner_(&owner) {}
  virtual ~ObjectList();
  ObjectList(const ObjectList&) = delete;
  ObjectList& operator=(const ObjectList&) = delete;

  Object& Owner() const { return *owner_; }
  const ObjectClass& ItemClass() const { return *itemClass_; }
  std::size_t Count() const { return items_.size(); }

  // Out-of-range indices throw std::out_of_range.
  Object& Items(std::size_t index) const;
  // Appends the item, which this list then owns, and returns its index. An item whose class
  // does not descend from the item class throws std::invalid_argument.
  std::size_t Add(std::unique_ptr<Object> item);
  Object& AddNew();
  void DeleteItem(std::size_t index);
  void ExchangeItems(std::size_t a, std::size_t b);
  // Removes the item at `from` and inserts it at `to`.
  void MoveItem(std::size_t from, std::size_t to);
  void ClearItems() { items_.clear(); }
  // Replaces the items by deep copies, each of its source item's own class; on an error the
  // list stays as it was.
  void AssignItems(const ObjectList& source);

  // Replaces the items by one per child element, whatever the element's name.
  void LoadFromXML(const pugi::xml_node& element, const LoadOptions& options);
  void SaveToXML(pugi::xml_node element) const;

 protected:
  // The class of the item that a child element of this name becomes.
  virtual const ObjectClass& ClassForElement(std::string_view /*name*/) const { return *itemClass_; }
  std::vector<std::unique_ptr<Object>>& Storage() { return items_; }

 private:
  // Refuses an item whose class does not descend from the item class (std::invalid_argument).
  void CheckHolds(const Object& item) const;

  const ObjectClass* itemClass_;
  Object* owner_;
  std::vector<std::unique_ptr<Object>> items_;
};

// A list whose items are T objects (or of classes descending from T).
template <class T>
class ListOf : public ObjectList {
 public:
  explicit ListOf(Object& owner) : ObjectList(T::ClassInfo(), owner) {}
  T& Items(std::size_t index) const { return static_cast<T&>(ObjectList::Items(index)); }
  T& AddNew() { return static_cast<T&>(ObjectList::AddNew()); }
};

namespace detail {
template <class T>
using GetterOf = std::conditional_t<std::is_arithmetic_v<T>, T, const T&>;

template <PropertyKind K, class C>
constexpr PropertyInfo Row(std::string_view name, StorageOf<K> C::*member) {
  using Field = StorageOf<K> Object::*;
  return {name, K, FieldPtr(std::in_place_type<Field>, static_cast<Field>(member))};
}
}  // namespace detail

}  // namespace pagewend::model

// A class's property list is a macro taking three callbacks, one row per property:
//   P(name, Kind, default)   a value property (Kind one of PropertyKind's value kinds); the
//                            default is any expression, evaluated for each new object
//   S(name, Class)           an owned sub-object of that class
//   L(name, ListClass)       an owned list (ListOf<Item> or a class derived from it)
// PAGEWEND_PROPERTIES(Type, Base, LIST) turns it into fields, an accessor name() and a setter
// set_name() per value property, the constructor, and the class's table. A class that gives an
// inherited property another default lists it with D(name, default) in a second macro and uses
// PAGEWEND_PROPERTIES_AND_DEFAULTS; the property keeps its inherited place in the table.

#define PAGEWEND_MODEL_FIELD_P(name, kind, initial) \
  ::pagewend::model::StorageOf<::pagewend::model::PropertyKind::kind> f_##name{initial};
#define PAGEWEND_MODEL_FIELD_S(name, cls)               \
  std::unique_ptr<::pagewend::model::Object> f_##name = \
      std::make_unique<cls>(::pagewend::model::ObjectOwner(this));
#define PAGEWEND_MODEL_FIELD_L(name, cls) \
  std::unique_ptr<::pagewend::model::ObjectList> f_##name = std::make_unique<cls>(*this);

#define PAGEWEND_MODEL_ACCESS_P(name, kind, initial)                                                       \
  ::pagewend::model::detail::GetterOf<::pagewend::model::StorageOf<::pagewend::model::PropertyKind::kind>> \
  name() const {                                                                                           \
    return f_##name;                                                                                       \
  }                                                                                                        \
  void set_##name(::pagewend::model::StorageOf<::pagewend::model::PropertyKind::kind> v) {                 \
    f_##name = std::move(v);                                                                               \
    Changed(#name);                                                                                        \
  }
#define PAGEWEND_MODEL_ACCESS_S(name, cls) \
  cls& name() const { return static_cast<cls&>(*f_##name); }
#define PAGEWEND_MODEL_ACCESS_L(name, cls) \
  cls& name() const { return static_cast<cls&>(*f_##name); }

#define PAGEWEND_MODEL_ROW_P(name, kind, initial) \
  ::pagewend::model::detail::Row<::pagewend::model::PropertyKind::kind>(#name, &Self::f_##name),
#define PAGEWEND_MODEL_ROW_S(name, cls) \
  ::pagewend::model::detail::Row<::pagewend::model::PropertyKind::Object>(#name, &Self::f_##name),
#define PAGEWEND_MODEL_ROW_L(name, cls) \
  ::pagewend::model::detail::Row<::pagewend::model::PropertyKind::List>(#name, &Self::f_##name),
#define PAGEWEND_MODEL_DEFAULT(name, initial) this->f_##name = initial;
#define PAGEWEND_MODEL_NO_DEFAULTS(D)

// The class's identity for the generic code: its run-time class and its constructor.
#define PAGEWEND_MODEL_IDENTITY(Type, Base, rows, DEFAULTS)                                      \
 public:                                                                                         \
  explicit Type(::pagewend::model::ObjectOwner owner = {}) : Base(owner) {                       \
    DEFAULTS(PAGEWEND_MODEL_DEFAULT)                                                             \
  }                                                                                              \
  static const ::pagewend::model::ObjectClass& ClassInfo() {                                     \
    static const ::pagewend::model::ObjectClass info(#Type, &Base::ClassInfo(),                  \
                                                     &::pagewend::model::NewObject<Type>, rows); \
    return info;                                                                                 \
  }                                                                                              \
  const ::pagewend::model::ObjectClass& Class() const override { return ClassInfo(); }

#define PAGEWEND_PROPERTIES_AND_DEFAULTS(Type, Base, LIST, DEFAULTS)              \
  PAGEWEND_MODEL_IDENTITY(Type, Base, OwnProperties(), DEFAULTS)                  \
  LIST(PAGEWEND_MODEL_ACCESS_P, PAGEWEND_MODEL_ACCESS_S, PAGEWEND_MODEL_ACCESS_L) \
  static std::span<const ::pagewend::model::PropertyInfo> OwnProperties() {       \
    using Self = Type;                                                            \
    static constexpr ::pagewend::model::PropertyInfo kRows[] = {                  \
        LIST(PAGEWEND_MODEL_ROW_P, PAGEWEND_MODEL_ROW_S, PAGEWEND_MODEL_ROW_L)};  \
    return kRows;                                                                 \
  }                                                                               \
                                                                                  \
 protected:                                                                       \
  LIST(PAGEWEND_MODEL_FIELD_P, PAGEWEND_MODEL_FIELD_S, PAGEWEND_MODEL_FIELD_L)    \
                                                                                  \
 public:

#define PAGEWEND_PROPERTIES(Type, Base, LIST) \
  PAGEWEND_PROPERTIES_AND_DEFAULTS(Type, Base, LIST, PAGEWEND_MODEL_NO_DEFAULTS)

// A class that adds no properties.
#define PAGEWEND_CLASS(Type, Base) PAGEWEND_MODEL_IDENTITY(Type, Base, {}, PAGEWEND_MODEL_NO_DEFAULTS)
