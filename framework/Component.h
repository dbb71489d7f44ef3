// The component base: an owner that frees what it owns, a name, the loading and design-mode states,
// the end-of-load hook, the removal notice to the owner's other components, published properties
// (see Properties.h) and published methods that form descriptions bind events to.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "framework/Object.h"

namespace framework {

class PropertyTable;
class TComponent;

namespace detail {
// A member function pointer of any class, as bytes; As gives it back with its own type.
class MemberFunction {
 public:
  template <class Member>
  explicit MemberFunction(Member member) {
    static_assert(sizeof(Member) <= sizeof(bytes_), "member function pointers are two words");
    std::memcpy(bytes_, &member, sizeof(Member));
  }
  template <class Member>
  Member As() const {
    Member member;
    std::memcpy(&member, bytes_, sizeof(Member));
    return member;
  }

 private:
  alignas(void*) unsigned char bytes_[2 * sizeof(void*)];
};

// One per parameter list: its address tells the lists apart (the programs have no run-time type
// information). Not const, so the compiler cannot fold two of them into one.
template <class... Args>
inline char parameterListTag = 0;
}  // namespace detail

// A method a component publishes for form descriptions to bind events to: the object and its
// method without their types, and the method's parameter list. The method is kept as a member of
// TComponent (a derived class's member converts to one of its base, and calling it on an object of
// that class is well defined), so the call depends on the parameter list only.
class PublishedMethod {
 public:
  template <class Derived, class... Args>
  PublishedMethod(Derived* object, void (Derived::*method)(Args...))
      : parameters_(&detail::parameterListTag<Args...>),
        object_(object),
        method_(static_cast<void (TComponent::*)(Args...)>(method)),
        call_(reinterpret_cast<void (*)()>(&Call<Args...>)) {}

  // The method as a callable taking Args; empty when its parameter list is another one.
  template <class... Args>
  std::function<void(Args...)> As() const {
    if (parameters_ != &detail::parameterListTag<Args...>) return {};
    // Cast back to the type it was made from.
    auto call = reinterpret_cast<void (*)(TComponent*, const detail::MemberFunction&, Args...)>(call_);
    return [call, object = object_, method = method_](Args... args) { call(object, method, args...); };
  }

 private:
  template <class... Args>
  static void Call(TComponent* object, const detail::MemberFunction& method, Args... args) {
    (object->*method.As<void (TComponent::*)(Args...)>())(args...);
  }

  const char* parameters_;
  TComponent* object_;
  detail::MemberFunction method_;
  void (*call_)();
};

enum class Operation { Insert, Remove };

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  // Frees the owned components, last created first, then leaves the owner, which tells its other
  // components of the removal through Notification.
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // Loading: set while a form description is applied, cleared by Loaded.
  bool IsLoading() const { return loading_; }
  void SetLoading(bool loading) { loading_ = loading; }
  // Design mode: the component sits in a form designer rather than in a running program.
  bool IsDesigning() const { return designing_; }
  void SetDesigning(bool designing) { designing_ = designing; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
  TComponent* FindComponent(std::string_view name) const;

  // End-of-load notification; the base clears the loading state.
  virtual void Loaded();
  // Called on every component of an owner when a component joins or leaves that owner.
  virtual void Notification(TComponent* component, Operation operation);

  // The published properties of the component's class (with those inherited). Every component
  // class has its own table, which also tells the classes apart (see ComponentAs).
  virtual const PropertyTable& Published() const;
  static const PropertyTable& ClassProperties();
  // Whether the component's class is the one of classTable or derives from it.
  bool InheritsFrom(const PropertyTable& classTable) const;

  // Components that form descriptions nest inside another one (menu items in their menu).
  virtual TComponent* ParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* parent);
  // The components written nested inside this one when root is saved.
  virtual std::vector<TComponent*> Children(const TComponent& root) const;

  // A published method by name; nullptr when unknown.
  const PublishedMethod* FindMethod(std::string_view name) const;

 protected:
  // Publishes a method under a name so that form descriptions can bind events to it.
  template <class Derived, class... Args>
  void PublishMethod(std::string name, void (Derived::*method)(Args...)) {
    SetMethod(std::move(name), PublishedMethod(static_cast<Derived*>(this), method));
  }

  // Frees every owned component, last created first.
  void DestroyComponents();

 private:
  void SetMethod(std::string name, const PublishedMethod& method);
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponent* owner_ = nullptr;
  std::string name_;
  bool loading_ = false;
  bool designing_ = false;
  std::vector<TComponent*> components_;
  // A few per class: a list searched in order is smaller code than a map.
  std::vector<std::pair<std::string, PublishedMethod>> methods_;
};

// The component as a T, or nullptr when it is none (or null): a checked cast by the class tables,
// as the programs are built without run-time type information.
template <class T>
T* ComponentAs(TComponent* component) {
  // A class without its own table would pass for its parent; it must declare its own Published.
  static_assert(std::is_same_v<decltype(&T::Published), const PropertyTable& (T::*)() const>,
                "ComponentAs needs a class with its own Published() and ClassProperties()");
  return component != nullptr && component->InheritsFrom(T::ClassProperties()) ? static_cast<T*>(component)
                                                                               : nullptr;
}

}  // namespace framework
