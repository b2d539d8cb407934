#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "support/system_settings.h"

// The generic binding of the settings documents: every settings class declares one property
// table, and that table alone decides what the object creates, loads, copies and lists.

namespace pagewend::model::project {

class TPWBasicProject;
class TPWBasicProjects;

// A property text the document gives cannot be taken (an unknown Boolean name, an element
// with more than one text node), or two objects cannot be assigned property by property.
class PropertyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Integer = signed 32-bit, Cardinal = unsigned 32-bit, Int64 = signed 64-bit, Double = 64-bit
// float, Text = 8-bit text in the system code page, WideText = any Unicode text; both texts are
// held as UTF-8. Section and List are owned sub-objects.
enum class PropertyKind { Integer, Cardinal, Int64, Boolean, Double, Text, WideText, Section, List };

// Who created an object: nothing (a top-level object), the object whose section it is, or the
// list that holds it. Never owning.
using TPWOwner = std::variant<std::monostate, const TPWBasicProject*, const TPWBasicProjects*>;

// The virtual constructor of a settings class.
using ObjectFactory = std::unique_ptr<TPWBasicProject> (*)(TPWOwner owner);
template <class T>
std::unique_ptr<TPWBasicProject> NewObject(TPWOwner owner) {
  return std::make_unique<T>(owner);
}

template <PropertyKind K>
struct PropertyStorage;
template <>
struct PropertyStorage<PropertyKind::Integer> {
  using type = std::int32_t;
};
template <>
struct PropertyStorage<PropertyKind::Cardinal> {
  using type = std::uint32_t;
};
template <>
struct PropertyStorage<PropertyKind::Int64> {
  using type = std::int64_t;
};
template <>
struct PropertyStorage<PropertyKind::Boolean> {
  using type = bool;
};
template <>
struct PropertyStorage<PropertyKind::Double> {
  using type = double;
};
template <>
struct PropertyStorage<PropertyKind::Text> {
  using type = std::string;
};
template <>
struct PropertyStorage<PropertyKind::WideText> {
  using type = std::string;
};
template <>
struct PropertyStorage<PropertyKind::Section> {
  using type = std::unique_ptr<TPWBasicProject>;
};
template <>
struct PropertyStorage<PropertyKind::List> {
  using type = std::unique_ptr<TPWBasicProjects>;
};
template <PropertyKind K>
using StorageOf = typename PropertyStorage<K>::type;

// Where a property's field lies, as seen from the base class. Text and WideText share the
// string member pointer; the row's kind tells them apart.
using FieldPtr =
    std::variant<std::int32_t TPWBasicProject::*, std::uint32_t TPWBasicProject::*,
                 std::int64_t TPWBasicProject::*, bool TPWBasicProject::*, double TPWBasicProject::*,
                 std::string TPWBasicProject::*, std::unique_ptr<TPWBasicProject> TPWBasicProject::*,
                 std::unique_ptr<TPWBasicProjects> TPWBasicProject::*>;

// The value a constructor gives: a number, a Boolean, a text, or for a section the class of the
// sub-object and for a list the class of its items.
using PropertyDefault = std::variant<std::int64_t, bool, double, std::string_view, ObjectFactory>;

// One row of a class's property table.
struct PropertyInfo {
  std::string_view name;
  PropertyKind kind;
  FieldPtr field;
  PropertyDefault initial;
};

// A property's current value as the table reads it; texts and sub-objects point into the object.
using PropertyValue = std::variant<std::int32_t, std::uint32_t, std::int64_t, bool, double, std::string_view,
                                   const TPWBasicProject*, const TPWBasicProjects*>;

// Base of every settings object. It has no properties of its own; subclasses declare theirs
// with PAGEWEND_PW_PROPERTIES. Objects own their sub-objects and are neither copied nor moved,
// since sub-objects point back at their owner: use Assign for a deep copy.
class TPWBasicProject {
 public:
  explicit TPWBasicProject(TPWOwner owner = {}) : owner_(owner) {}
  virtual ~TPWBasicProject();
  TPWBasicProject(const TPWBasicProject&) = delete;
  TPWBasicProject& operator=(const TPWBasicProject&) = delete;

  TPWOwner Owner() const { return owner_; }

  // The class's table: inherited properties first, each class's in declaration order.
  static std::span<const PropertyInfo> AllProperties() { return {}; }
  virtual std::span<const PropertyInfo> Properties() const { return AllProperties(); }
  // The row of this object's table with exactly that name, or null.
  const PropertyInfo* FindProperty(std::string_view name) const;
  // A new default object of this object's own class.
  virtual std::unique_ptr<TPWBasicProject> NewInstance(TPWOwner owner) const;

  // Parses a whole document (encoding from the document itself) and loads its root element.
  // Throws XmlError for a document that does not parse and PropertyError for a value that
  // cannot be taken; properties loaded before the error keep their new values.
  void LoadFromStream(std::string_view document, const SystemSettings& system);
  void LoadFromStream(std::istream& in, const SystemSettings& system);
  // The element's attributes, then its child elements in document order.
  void LoadFromNode(const pugi::xml_node& element, const SystemSettings& system);

  // A deep copy: every property of this object's table is taken by name from source; sections
  // and lists are assigned into this object's own sub-objects.
  void Assign(const TPWBasicProject& source);

  // The value of one row of Properties().
  PropertyValue Value(const PropertyInfo& property) const;

 protected:
  // Each class's constructor calls both with its own rows, after its bases have done theirs.
  void CreateSubObjects(std::span<const PropertyInfo> own);
  void SetDefaults(std::span<const PropertyInfo> own);
  // Inherited rows followed by own rows; refuses a name that occurs twice.
  static std::vector<PropertyInfo> JoinProperties(std::span<const PropertyInfo> inherited,
                                                  std::span<const PropertyInfo> own);

 private:
  void LoadAttributes(const pugi::xml_node& element, const SystemSettings& system);
  void LoadElements(const pugi::xml_node& element, const SystemSettings& system);
  void AssignProperty(const PropertyInfo& property, const TPWBasicProject& source);
  void CheckOwnRow(const PropertyInfo& property) const;

  TPWOwner owner_;
};

// An ordered list of settings objects, created from ItemClass when the list loads.
class TPWBasicProjects {
 public:
  explicit TPWBasicProjects(TPWOwner owner = {}, ObjectFactory itemClass = nullptr)
      : owner_(owner), itemClass_(itemClass) {}
  TPWBasicProjects(const TPWBasicProjects&) = delete;
  TPWBasicProjects& operator=(const TPWBasicProjects&) = delete;

  TPWOwner Owner() const { return owner_; }
  ObjectFactory ItemClass() const { return itemClass_; }

  std::size_t Count() const { return items_.size(); }
  TPWBasicProject& Item(std::size_t index) { return *items_.at(index); }
  const TPWBasicProject& Item(std::size_t index) const { return *items_.at(index); }
  TPWBasicProject& Add(std::unique_ptr<TPWBasicProject> item);
  void Clear() { items_.clear(); }

  // Replaces the items with one ItemClass object per child element, each loaded from it.
  void LoadFromNode(const pugi::xml_node& element, const SystemSettings& system);
  // Replaces the items with deep copies, each of its source item's own class.
  void Assign(const TPWBasicProjects& source);

 private:
  TPWOwner owner_;
  ObjectFactory itemClass_;
  std::vector<std::unique_ptr<TPWBasicProject>> items_;
};

namespace detail {

template <PropertyKind K, class D>
constexpr PropertyDefault MakeDefault(D initial) {
  if constexpr (K == PropertyKind::Integer || K == PropertyKind::Cardinal || K == PropertyKind::Int64) {
    static_assert(std::is_integral_v<D> && !std::is_same_v<D, bool>, "an integer property needs an integer");
    return PropertyDefault(std::in_place_type<std::int64_t>, static_cast<std::int64_t>(initial));
  } else if constexpr (K == PropertyKind::Boolean) {
    static_assert(std::is_same_v<D, bool>, "a Boolean property needs true or false");
    return PropertyDefault(std::in_place_type<bool>, initial);
  } else if constexpr (K == PropertyKind::Double) {
    static_assert(std::is_floating_point_v<D>, "a Double property needs a floating-point literal");
    return PropertyDefault(std::in_place_type<double>, initial);
  } else if constexpr (K == PropertyKind::Text || K == PropertyKind::WideText) {
    return PropertyDefault(std::in_place_type<std::string_view>, std::string_view(initial));
  } else {
    return PropertyDefault(std::in_place_type<ObjectFactory>, initial);
  }
}

template <PropertyKind K, class C, class D>
constexpr PropertyInfo MakeProperty(std::string_view name, StorageOf<K> C::*member, D initial) {
  using Field = StorageOf<K> TPWBasicProject::*;
  return {name, K, FieldPtr(std::in_place_type<Field>, static_cast<Field>(member)), MakeDefault<K>(initial)};
}

template <class T>
using GetterOf = std::conditional_t<std::is_arithmetic_v<T>, T, const T&>;

}  // namespace detail

}  // namespace pagewend::model::project

// A class's property list is a macro taking three callbacks, one row per property:
//   P(name, Kind, default)   a value property (Kind one of PropertyKind's value kinds)
//   S(name, Class)           a section: an owned sub-object of Class
//   L(name, ItemClass)       an owned list whose items are ItemClass objects
// PAGEWEND_PW_PROPERTIES(Class, Base, LIST) turns it into fields, an accessor name() and a
// setter set_name() per value property, the constructor, and the class's table.

#define PAGEWEND_PW_FIELD_P(name, kind, initial) \
  ::pagewend::model::project::StorageOf<::pagewend::model::project::PropertyKind::kind> f_##name{};
#define PAGEWEND_PW_FIELD_S(name, cls) \
  ::pagewend::model::project::StorageOf<::pagewend::model::project::PropertyKind::Section> f_##name;
#define PAGEWEND_PW_FIELD_L(name, item) \
  ::pagewend::model::project::StorageOf<::pagewend::model::project::PropertyKind::List> f_##name;

#define PAGEWEND_PW_ACCESS_P(name, kind, initial)                                                            \
  ::pagewend::model::project::detail::GetterOf<                                                              \
      ::pagewend::model::project::StorageOf<::pagewend::model::project::PropertyKind::kind>>                 \
  name() const {                                                                                             \
    return f_##name;                                                                                         \
  }                                                                                                          \
  void set_##name(::pagewend::model::project::StorageOf<::pagewend::model::project::PropertyKind::kind> v) { \
    f_##name = std::move(v);                                                                                 \
  }
#define PAGEWEND_PW_ACCESS_S(name, cls)                \
  cls& name() { return static_cast<cls&>(*f_##name); } \
  const cls& name() const { return static_cast<const cls&>(*f_##name); }
#define PAGEWEND_PW_ACCESS_L(name, item)                                     \
  ::pagewend::model::project::TPWBasicProjects& name() { return *f_##name; } \
  const ::pagewend::model::project::TPWBasicProjects& name() const { return *f_##name; }

#define PAGEWEND_PW_ROW_P(name, kind, initial)                                                      \
  ::pagewend::model::project::detail::MakeProperty<::pagewend::model::project::PropertyKind::kind>( \
      #name, &Self::f_##name, initial),
#define PAGEWEND_PW_ROW_S(name, cls)                                                                   \
  ::pagewend::model::project::detail::MakeProperty<::pagewend::model::project::PropertyKind::Section>( \
      #name, &Self::f_##name, &::pagewend::model::project::NewObject<cls>),
#define PAGEWEND_PW_ROW_L(name, item)                                                               \
  ::pagewend::model::project::detail::MakeProperty<::pagewend::model::project::PropertyKind::List>( \
      #name, &Self::f_##name, &::pagewend::model::project::NewObject<item>),

#define PAGEWEND_PW_PROPERTIES(Class, Base, LIST)                                    \
 public:                                                                             \
  explicit Class(::pagewend::model::project::TPWOwner owner = {}) : Base(owner) {    \
    CreateSubObjects(OwnProperties());                                               \
    SetDefaults(OwnProperties());                                                    \
  }                                                                                  \
  LIST(PAGEWEND_PW_ACCESS_P, PAGEWEND_PW_ACCESS_S, PAGEWEND_PW_ACCESS_L)             \
  static std::span<const ::pagewend::model::project::PropertyInfo> OwnProperties() { \
    using Self = Class;                                                              \
    static constexpr ::pagewend::model::project::PropertyInfo kRows[] = {            \
        LIST(PAGEWEND_PW_ROW_P, PAGEWEND_PW_ROW_S, PAGEWEND_PW_ROW_L)};              \
    return kRows;                                                                    \
  }                                                                                  \
  static std::span<const ::pagewend::model::project::PropertyInfo> AllProperties() { \
    static const std::vector<::pagewend::model::project::PropertyInfo> all =         \
        JoinProperties(Base::AllProperties(), OwnProperties());                      \
    return all;                                                                      \
  }                                                                                  \
  PAGEWEND_PW_CLASS(Class)                                                           \
                                                                                     \
 private:                                                                            \
  LIST(PAGEWEND_PW_FIELD_P, PAGEWEND_PW_FIELD_S, PAGEWEND_PW_FIELD_L)                \
                                                                                     \
 public:

// The class's identity for the generic code; a class that adds no properties uses only this
// (and inherits its base's constructor and table).
#define PAGEWEND_PW_CLASS(Class)                                                          \
  std::span<const ::pagewend::model::project::PropertyInfo> Properties() const override { \
    return Class::AllProperties();                                                        \
  }                                                                                       \
  std::unique_ptr<::pagewend::model::project::TPWBasicProject> NewInstance(               \
      ::pagewend::model::project::TPWOwner owner) const override {                        \
    return std::make_unique<Class>(owner);                                                \
  }
