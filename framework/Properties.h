// Published properties: a table per class of named properties with getters, setters and stored
// defaults. Form descriptions (FormText.h) write a property only when it differs from its stored
// default and load values through the setters, in declaration order.
#pragma once

#include <windows.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/StringList.h"

namespace framework {

class TIcon;

// A property value as a form description holds it.
struct FormValue {
  enum class Kind { Identifier, Integer, String, Strings, Binary };
  Kind kind = Kind::Identifier;
  std::string text;  // identifier, string bytes, or binary data
  // For binary data that is an icon held without its file bytes: its handle, which the writer
  // encodes (the programs that only read forms link no encoder).
  long long number = 0;
  std::vector<std::string> strings;

  static FormValue Identifier(std::string name) { return {Kind::Identifier, std::move(name), 0, {}}; }
  static FormValue Integer(long long value) { return {Kind::Integer, {}, value, {}}; }
  static FormValue String(std::string text) { return {Kind::String, std::move(text), 0, {}}; }
  static FormValue Strings(std::vector<std::string> strings) { return {Kind::Strings, {}, 0, std::move(strings)}; }
  static FormValue Binary(std::string bytes, HICON icon = nullptr) {
    return {Kind::Binary, std::move(bytes), static_cast<long long>(reinterpret_cast<INT_PTR>(icon)), {}};
  }
};

// A form description that cannot be read or applied.
class EFormError : public Exception {
 public:
  using Exception::Exception;
};

// What a load needs beyond the component itself: the root (whose methods events bind to and whose
// components references name) and the references to resolve once every component exists.
class LoadContext {
 public:
  explicit LoadContext(TComponent& root) : root_(root) {}
  TComponent& Root() const { return root_; }
  void Defer(std::function<void()> fixup) { fixups_.push_back(std::move(fixup)); }
  void RunFixups();

 private:
  TComponent& root_;
  std::vector<std::function<void()>> fixups_;
};

class PropertyInfo {
 public:
  // Names are literals in the class tables; the string is made here, not at each table entry.
  explicit PropertyInfo(const char* name);
  virtual ~PropertyInfo() = default;
  const std::string& Name() const { return name_; }

  // Whether a form description carries the property: its value differs from the stored default.
  virtual bool IsStored(const TComponent& component) const = 0;
  virtual FormValue Get(const TComponent& component) const = 0;
  // Applies a value read from a form description; throws EFormError when it does not fit.
  virtual void Load(TComponent& component, const FormValue& value, LoadContext& context) const = 0;

 protected:
  [[noreturn]] void Mismatch() const;
  // For event properties: the root's method a value names (nullptr when none); throws for a value
  // that is no name.
  const PublishedMethod* FindMethod(const FormValue& value, const LoadContext& context) const;
  [[noreturn]] void NoMethod(const std::string& method) const;

 private:
  std::string name_;
};

// How the tables reach a class's getters and setters: one property class per kind, not per
// component class. Each property keeps its member function pointers as plain bytes and calls them
// through small functions instantiated per value type, which the properties of every class share;
// this keeps the code each component's table adds small.
namespace detail {
template <class T>
struct NonDeduced {
  using Type = T;
};

// A getter and a setter, with the functions that call them for the value as the table keeps it.
template <class Value, class SetValue = Value>
struct Access {
  MemberFunction get;
  Value (*callGet)(const TComponent&, const MemberFunction&);
  MemberFunction set;
  void (*callSet)(TComponent&, const MemberFunction&, SetValue);
};
using StringAccess = Access<std::string, const std::string&>;
// The setters of references and events report whether the value had the right type.
struct ReferenceAccess {
  MemberFunction get;
  TComponent* (*callGet)(const TComponent&, const MemberFunction&);
  MemberFunction set;
  bool (*callSet)(TComponent&, const MemberFunction&, TComponent* referenced);
};
struct EventAccess {
  MemberFunction get;
  const std::string& (*callGetName)(const TComponent&, const MemberFunction&);
  MemberFunction set;
  bool (*callSet)(TComponent&, const MemberFunction&, const PublishedMethod& method, const std::string& methodName);
};
}  // namespace detail

class PropertyTable {
 public:
  PropertyTable(std::string className, const PropertyTable* parent)
      : className_(std::move(className)), parent_(parent) {}

  const std::string& ClassName() const { return className_; }
  const PropertyTable* Parent() const { return parent_; }
  const PropertyInfo* Find(std::string_view name) const;
  // Inherited properties first, each class's in declaration order.
  std::vector<const PropertyInfo*> All() const;
  // Position in All(), or -1.
  int IndexOf(std::string_view name) const;

  template <class C, class A>
  PropertyTable& Boolean(const char* name, bool (C::*get)() const, void (C::*set)(A),
                         std::optional<bool> storedDefault = std::nullopt);
  template <class C, class T, class A>
  PropertyTable& Integer(const char* name, T (C::*get)() const, void (C::*set)(A),
                         std::optional<long long> storedDefault = std::nullopt);
  template <class C, class E, class A>
  PropertyTable& Enumeration(const char* name, E (C::*get)() const, void (C::*set)(A),
                             std::initializer_list<const char*> names,
                             std::optional<typename detail::NonDeduced<E>::Type> storedDefault = std::nullopt);
  // Strings are stored when not empty; storedNever leaves them out of every description.
  template <class C, class R, class A>
  PropertyTable& String(const char* name, R (C::*get)() const, void (C::*set)(A), bool storedNever = false);
  // A string list: a description loads straight into the owned list, not through a setter.
  template <class C>
  PropertyTable& Strings(const char* name, TStringList& (C::*list)());
  // An owned icon, stored with its image data when it holds one; a description loads it through
  // the setter (which copies it).
  template <class C>
  PropertyTable& Icon(const char* name, TIcon& (C::*icon)(), void (C::*set)(const TIcon*));
  // A reference to another component of the same root, resolved after all are created.
  template <class C, class T>
  PropertyTable& Reference(const char* name, T* (C::*get)() const, void (C::*set)(T*));
  template <class C, class... Args>
  PropertyTable& EventHandler(const char* name, const Event<Args...>& (C::*get)() const,
                              void (C::*set)(Event<Args...>));

 private:
  // Out of the templates, so each table entry's code is only the filling of its access record.
  PropertyTable& AddBoolean(const char* name, const detail::Access<bool>& access, std::optional<bool> storedDefault);
  PropertyTable& AddInteger(const char* name, const detail::Access<long long>& access,
                            std::optional<long long> storedDefault);
  PropertyTable& AddEnumeration(const char* name, const detail::Access<size_t>& access,
                                std::initializer_list<const char*> names, std::optional<size_t> storedDefault);
  PropertyTable& AddString(const char* name, const detail::StringAccess& access, bool storedNever);
  PropertyTable& AddStrings(const char* name, const detail::MemberFunction& list,
                            TStringList& (*callList)(TComponent&, const detail::MemberFunction&));
  PropertyTable& AddIcon(const char* name, const detail::MemberFunction& icon, const detail::MemberFunction& set);
  PropertyTable& AddReference(const char* name, const detail::ReferenceAccess& access);
  PropertyTable& AddEvent(const char* name, const detail::EventAccess& access);
  PropertyTable& Add(PropertyInfo* property);

  std::string className_;
  const PropertyTable* parent_;
  std::vector<std::unique_ptr<PropertyInfo>> own_;
};

// ---- implementation of the table builders ----

namespace detail {

// The tables keep every getter and setter as a member of TComponent: converting a derived class's
// member to one of its base is well defined, and so is calling it on an object of that class. So the
// calls below depend on the value type only, and all component classes share them.
template <class Member, class C>
MemberFunction OfComponent(Member C::*member) {
  static_assert(std::is_base_of_v<TComponent, C>, "published members belong to components");
  return MemberFunction(static_cast<Member TComponent::*>(member));
}

// The calls, one instance per value type.
template <class R, class V>
V CallGetter(const TComponent& component, const MemberFunction& get) {
  return static_cast<V>((component.*get.As<R (TComponent::*)() const>())());
}
template <class A, class V>
void CallSetter(TComponent& component, const MemberFunction& set, V value) {
  (component.*set.As<void (TComponent::*)(A)>())(static_cast<std::decay_t<A>>(value));
}
template <class R>
std::string CallStringGetter(const TComponent& component, const MemberFunction& get) {
  return std::string((component.*get.As<R (TComponent::*)() const>())());
}
template <class A>
void CallStringSetter(TComponent& component, const MemberFunction& set, const std::string& value) {
  (component.*set.As<void (TComponent::*)(A)>())(value);
}
TStringList& CallList(TComponent& component, const MemberFunction& list);
template <class T>
TComponent* CallReferenceGetter(const TComponent& component, const MemberFunction& get) {
  return (component.*get.As<T* (TComponent::*)() const>())();
}
template <class T>
bool CallReferenceSetter(TComponent& component, const MemberFunction& set, TComponent* referenced) {
  T* typed = ComponentAs<T>(referenced);
  if (typed == nullptr) return false;
  (component.*set.As<void (TComponent::*)(T*)>())(typed);
  return true;
}
template <class... Args>
const std::string& CallEventNameGetter(const TComponent& component, const MemberFunction& get) {
  return (component.*get.As<const Event<Args...>& (TComponent::*)() const>())().MethodName();
}
template <class... Args>
bool CallEventSetter(TComponent& component, const MemberFunction& set, const PublishedMethod& method,
                     const std::string& methodName) {
  std::function<void(Args...)> function = method.As<Args...>();
  if (!function) return false;
  (component.*set.As<void (TComponent::*)(Event<Args...>)>())(Event<Args...>(std::move(function), methodName));
  return true;
}

// The calls most classes' tables use, made once in Properties.cpp rather than in every component's
// source: the linker drops the copies, but not their unwind table entries.
extern template bool CallGetter<bool, bool>(const TComponent&, const MemberFunction&);
extern template void CallSetter<bool, bool>(TComponent&, const MemberFunction&, bool);
extern template long long CallGetter<int, long long>(const TComponent&, const MemberFunction&);
extern template void CallSetter<int, long long>(TComponent&, const MemberFunction&, long long);
extern template std::string CallStringGetter<const std::string&>(const TComponent&, const MemberFunction&);
extern template void CallStringSetter<const std::string&>(TComponent&, const MemberFunction&, const std::string&);
extern template const std::string& CallEventNameGetter<TObject*>(const TComponent&, const MemberFunction&);
extern template bool CallEventSetter<TObject*>(TComponent&, const MemberFunction&, const PublishedMethod&,
                                               const std::string&);

}  // namespace detail

template <class C, class A>
PropertyTable& PropertyTable::Boolean(const char* name, bool (C::*get)() const, void (C::*set)(A),
                                      std::optional<bool> storedDefault) {
  return AddBoolean(name,
                    {detail::OfComponent(get), &detail::CallGetter<bool, bool>, detail::OfComponent(set),
                     &detail::CallSetter<A, bool>},
                    storedDefault);
}

template <class C, class T, class A>
PropertyTable& PropertyTable::Integer(const char* name, T (C::*get)() const, void (C::*set)(A),
                                      std::optional<long long> storedDefault) {
  return AddInteger(name,
                    {detail::OfComponent(get), &detail::CallGetter<T, long long>, detail::OfComponent(set),
                     &detail::CallSetter<A, long long>},
                    storedDefault);
}

template <class C, class E, class A>
PropertyTable& PropertyTable::Enumeration(const char* name, E (C::*get)() const, void (C::*set)(A),
                                          std::initializer_list<const char*> names,
                                          std::optional<typename detail::NonDeduced<E>::Type> storedDefault) {
  return AddEnumeration(name,
                        {detail::OfComponent(get), &detail::CallGetter<E, size_t>, detail::OfComponent(set),
                         &detail::CallSetter<A, size_t>},
                        names,
                        storedDefault ? std::optional<size_t>(static_cast<size_t>(*storedDefault)) : std::nullopt);
}

template <class C, class R, class A>
PropertyTable& PropertyTable::String(const char* name, R (C::*get)() const, void (C::*set)(A), bool storedNever) {
  return AddString(
      name,
      {detail::OfComponent(get), &detail::CallStringGetter<R>, detail::OfComponent(set), &detail::CallStringSetter<A>},
      storedNever);
}

template <class C>
PropertyTable& PropertyTable::Strings(const char* name, TStringList& (C::*list)()) {
  return AddStrings(name, detail::OfComponent(list), &detail::CallList);
}

template <class C>
PropertyTable& PropertyTable::Icon(const char* name, TIcon& (C::*icon)(), void (C::*set)(const TIcon*)) {
  return AddIcon(name, detail::OfComponent(icon), detail::OfComponent(set));
}

template <class C, class T>
PropertyTable& PropertyTable::Reference(const char* name, T* (C::*get)() const, void (C::*set)(T*)) {
  return AddReference(name, {detail::OfComponent(get), &detail::CallReferenceGetter<T>, detail::OfComponent(set),
                             &detail::CallReferenceSetter<T>});
}

template <class C, class... Args>
PropertyTable& PropertyTable::EventHandler(const char* name, const Event<Args...>& (C::*get)() const,
                                           void (C::*set)(Event<Args...>)) {
  return AddEvent(name, {detail::OfComponent(get), &detail::CallEventNameGetter<Args...>, detail::OfComponent(set),
                         &detail::CallEventSetter<Args...>});
}

}  // namespace framework
