// Published properties: a table per class of named properties with getters, setters and stored
// defaults. Form descriptions (FormText.h) write a property only when it differs from its stored
// default and load values through the setters, in declaration order.
#pragma once

#include <any>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/StringList.h"

namespace framework {

// A property value as a form description holds it.
struct FormValue {
  enum class Kind { Identifier, Integer, String, Strings };
  Kind kind = Kind::Identifier;
  std::string text;  // identifier, or string bytes
  long long number = 0;
  std::vector<std::string> strings;

  static FormValue Identifier(std::string name) { return {Kind::Identifier, std::move(name), 0, {}}; }
  static FormValue Integer(long long value) { return {Kind::Integer, {}, value, {}}; }
  static FormValue String(std::string text) { return {Kind::String, std::move(text), 0, {}}; }
  static FormValue Strings(std::vector<std::string> strings) { return {Kind::Strings, {}, 0, std::move(strings)}; }
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
  // that is no name. Out of the templates, so each event type does not repeat it.
  const std::any* FindMethod(const FormValue& value, const LoadContext& context) const;
  [[noreturn]] void NoMethod(const std::string& method) const;

 private:
  std::string name_;
};

namespace detail {
template <class T>
struct NonDeduced {
  using Type = T;
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
  // A reference to another component of the same root, resolved after all are created.
  template <class C, class T>
  PropertyTable& Reference(const char* name, T* (C::*get)() const, void (C::*set)(T*));
  template <class C, class... Args>
  PropertyTable& EventHandler(const char* name, const Event<Args...>& (C::*get)() const,
                              void (C::*set)(Event<Args...>));

 private:
  std::string className_;
  const PropertyTable* parent_;
  std::vector<std::unique_ptr<PropertyInfo>> own_;
};

// ---- implementation of the table builders ----

namespace detail {

template <class C>
const C& As(const TComponent& component) {
  return static_cast<const C&>(component);
}
template <class C>
C& As(TComponent& component) {
  return static_cast<C&>(component);
}

template <class C, class A>
class BooleanProperty : public PropertyInfo {
 public:
  BooleanProperty(const char* name, bool (C::*get)() const, void (C::*set)(A), std::optional<bool> storedDefault)
      : PropertyInfo(name), get_(get), set_(set), default_(storedDefault) {}
  bool IsStored(const TComponent& c) const override { return !default_ || (As<C>(c).*get_)() != *default_; }
  FormValue Get(const TComponent& c) const override {
    return FormValue::Identifier((As<C>(c).*get_)() ? "True" : "False");
  }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::Identifier || (v.text != "True" && v.text != "False")) Mismatch();
    (As<C>(c).*set_)(v.text == "True");
  }

 private:
  bool (C::*get_)() const;
  void (C::*set_)(A);
  std::optional<bool> default_;
};

template <class C, class T, class A>
class IntegerProperty : public PropertyInfo {
 public:
  IntegerProperty(const char* name, T (C::*get)() const, void (C::*set)(A), std::optional<long long> storedDefault)
      : PropertyInfo(name), get_(get), set_(set), default_(storedDefault) {}
  bool IsStored(const TComponent& c) const override {
    return !default_ || static_cast<long long>((As<C>(c).*get_)()) != *default_;
  }
  FormValue Get(const TComponent& c) const override {
    return FormValue::Integer(static_cast<long long>((As<C>(c).*get_)()));
  }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::Integer) Mismatch();
    (As<C>(c).*set_)(static_cast<T>(v.number));
  }

 private:
  T (C::*get_)() const;
  void (C::*set_)(A);
  std::optional<long long> default_;
};

// The part of an enumeration property that does not depend on its class: the value names.
class EnumerationNames : public PropertyInfo {
 public:
  EnumerationNames(const char* name, std::initializer_list<const char*> names);

 protected:
  // The name of an ordinal (its number when it has none), and the ordinal of a value read.
  FormValue NameOf(size_t ordinal) const;
  size_t OrdinalOf(const FormValue& value) const;

 private:
  std::vector<std::string> names_;
};

template <class C, class E, class A>
class EnumerationProperty : public EnumerationNames {
 public:
  EnumerationProperty(const char* name, E (C::*get)() const, void (C::*set)(A),
                      std::initializer_list<const char*> names, std::optional<E> storedDefault)
      : EnumerationNames(name, names), get_(get), set_(set), default_(storedDefault) {}
  bool IsStored(const TComponent& c) const override { return !default_ || (As<C>(c).*get_)() != *default_; }
  FormValue Get(const TComponent& c) const override { return NameOf(static_cast<size_t>((As<C>(c).*get_)())); }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    (As<C>(c).*set_)(static_cast<E>(OrdinalOf(v)));
  }

 private:
  E (C::*get_)() const;
  void (C::*set_)(A);
  std::optional<E> default_;
};

template <class C, class R, class A>
class StringProperty : public PropertyInfo {
 public:
  StringProperty(const char* name, R (C::*get)() const, void (C::*set)(A), bool storedNever)
      : PropertyInfo(name), get_(get), set_(set), storedNever_(storedNever) {}
  bool IsStored(const TComponent& c) const override {
    return !storedNever_ && !std::string_view((As<C>(c).*get_)()).empty();
  }
  FormValue Get(const TComponent& c) const override { return FormValue::String(std::string((As<C>(c).*get_)())); }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::String) Mismatch();
    (As<C>(c).*set_)(v.text);
  }

 private:
  R (C::*get_)() const;
  void (C::*set_)(A);
  bool storedNever_;
};

template <class C>
class StringsProperty : public PropertyInfo {
 public:
  StringsProperty(const char* name, TStringList& (C::*list)()) : PropertyInfo(name), list_(list) {}
  bool IsStored(const TComponent& c) const override { return List(c).Count() > 0; }
  FormValue Get(const TComponent& c) const override {
    const TStringList& list = List(c);
    std::vector<std::string> strings;
    for (int i = 0; i < list.Count(); ++i) strings.push_back(list.Strings(i));
    return FormValue::Strings(std::move(strings));
  }
  void Load(TComponent& c, const FormValue& v, LoadContext&) const override {
    if (v.kind != FormValue::Kind::Strings) Mismatch();
    TStringList& list = (As<C>(c).*list_)();
    list.Clear();
    for (const std::string& s : v.strings) list.Add(s);
  }

 private:
  const TStringList& List(const TComponent& c) const { return (const_cast<C&>(As<C>(c)).*list_)(); }
  TStringList& (C::*list_)();
};

template <class C, class T>
class ReferenceProperty : public PropertyInfo {
 public:
  ReferenceProperty(const char* name, T* (C::*get)() const, void (C::*set)(T*))
      : PropertyInfo(name), get_(get), set_(set) {}
  bool IsStored(const TComponent& c) const override { return (As<C>(c).*get_)() != nullptr; }
  FormValue Get(const TComponent& c) const override { return FormValue::Identifier((As<C>(c).*get_)()->Name()); }
  void Load(TComponent& c, const FormValue& v, LoadContext& context) const override {
    if (v.kind != FormValue::Kind::Identifier) Mismatch();
    C& target = As<C>(c);
    context.Defer([this, &target, &context, name = v.text] {
      T* referenced = ComponentAs<T>(context.Root().FindComponent(name));
      if (referenced == nullptr) throw EFormError("unresolved reference " + name + " in " + Name());
      (target.*set_)(referenced);
    });
  }

 private:
  T* (C::*get_)() const;
  void (C::*set_)(T*);
};

template <class C, class... Args>
class EventProperty : public PropertyInfo {
 public:
  EventProperty(const char* name, const Event<Args...>& (C::*get)() const, void (C::*set)(Event<Args...>))
      : PropertyInfo(name), get_(get), set_(set) {}
  bool IsStored(const TComponent& c) const override { return !(As<C>(c).*get_)().MethodName().empty(); }
  FormValue Get(const TComponent& c) const override {
    return FormValue::Identifier((As<C>(c).*get_)().MethodName());
  }
  void Load(TComponent& c, const FormValue& v, LoadContext& context) const override {
    using Function = typename Event<Args...>::Function;
    const Function* function = std::any_cast<Function>(FindMethod(v, context));
    if (function == nullptr) NoMethod(v.text);
    (As<C>(c).*set_)(Event<Args...>(*function, v.text));
  }

 private:
  const Event<Args...>& (C::*get_)() const;
  void (C::*set_)(Event<Args...>);
};

}  // namespace detail

template <class C, class A>
PropertyTable& PropertyTable::Boolean(const char* name, bool (C::*get)() const, void (C::*set)(A),
                                      std::optional<bool> storedDefault) {
  own_.push_back(std::make_unique<detail::BooleanProperty<C, A>>(name, get, set, storedDefault));
  return *this;
}

template <class C, class T, class A>
PropertyTable& PropertyTable::Integer(const char* name, T (C::*get)() const, void (C::*set)(A),
                                      std::optional<long long> storedDefault) {
  own_.push_back(std::make_unique<detail::IntegerProperty<C, T, A>>(name, get, set, storedDefault));
  return *this;
}

template <class C, class E, class A>
PropertyTable& PropertyTable::Enumeration(const char* name, E (C::*get)() const, void (C::*set)(A),
                                          std::initializer_list<const char*> names,
                                          std::optional<typename detail::NonDeduced<E>::Type> storedDefault) {
  own_.push_back(std::make_unique<detail::EnumerationProperty<C, E, A>>(name, get, set, names, storedDefault));
  return *this;
}

template <class C, class R, class A>
PropertyTable& PropertyTable::String(const char* name, R (C::*get)() const, void (C::*set)(A), bool storedNever) {
  own_.push_back(std::make_unique<detail::StringProperty<C, R, A>>(name, get, set, storedNever));
  return *this;
}

template <class C>
PropertyTable& PropertyTable::Strings(const char* name, TStringList& (C::*list)()) {
  own_.push_back(std::make_unique<detail::StringsProperty<C>>(name, list));
  return *this;
}

template <class C, class T>
PropertyTable& PropertyTable::Reference(const char* name, T* (C::*get)() const, void (C::*set)(T*)) {
  own_.push_back(std::make_unique<detail::ReferenceProperty<C, T>>(name, get, set));
  return *this;
}

template <class C, class... Args>
PropertyTable& PropertyTable::EventHandler(const char* name, const Event<Args...>& (C::*get)() const,
                                           void (C::*set)(Event<Args...>)) {
  own_.push_back(std::make_unique<detail::EventProperty<C, Args...>>(name, get, set));
  return *this;
}

}  // namespace framework
