// Events: a method reference (object and method), raised only when assigned, Sender first.
#pragma once

#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include "framework/Object.h"

namespace framework {

template <class... Args>
class Event {
 public:
  using Function = std::function<void(Args...)>;

  Event() = default;
  // Any callable with the event's parameters (a lambda, a std::function) makes an event.
  template <class Callable, class = std::enable_if_t<std::is_constructible_v<Function, Callable> &&
                                                     !std::is_same_v<std::decay_t<Callable>, Event>>>
  Event(Callable&& function, std::string methodName = {})  // NOLINT(google-explicit-constructor)
      : function_(std::forward<Callable>(function)), methodName_(std::move(methodName)) {}

  // Binds a method of an object; the name is what a form description records for the event.
  template <class Object>
  static Event Bind(Object* object, void (Object::*method)(Args...), std::string methodName = {}) {
    return Event([object, method](Args... args) { (object->*method)(args...); }, std::move(methodName));
  }

  explicit operator bool() const { return static_cast<bool>(function_); }
  void operator()(Args... args) const { function_(args...); }

  const Function& function() const { return function_; }
  // The name of the published method this event was bound to by a form description; empty otherwise.
  const std::string& MethodName() const { return methodName_; }

 private:
  Function function_;
  std::string methodName_;
};

using TNotifyEvent = Event<TObject*>;

}  // namespace framework
