// Form descriptions: a small text format for a root component (form or data module), the stored
// values of its published properties and the components it holds, nested as they belong:
//
//   object Form1: TForm1
//     Caption = 'Form1'
//     WindowState = wsMinimized
//     OnCreate = FormCreate
//     object PopupMenu1: TPopupMenu
//       object Exit1: TMenuItem
//         Caption = '終了'
//       end
//     end
//   end
//
// The text is UTF-8; string values are held in the program as code page 932 bytes
// (kProgramCodePage). A string is a run of quoted parts ('' stands for a quote) and #n parts (the
// byte n), written side by side.
// A list of strings is written as ( 'a' 'b' ), binary data (an icon) as hexadecimal digits between
// braces: { 0000010001001010 ... }.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/Component.h"
#include "framework/Properties.h"

namespace framework {

// One object of a description as parsed, before anything is created.
struct FormObject {
  std::string name;
  std::string className;
  std::vector<std::pair<std::string, FormValue>> properties;
  std::vector<FormObject> children;
};

// The classes a description may create, by class name.
class ClassRegistry {
 public:
  template <class T>
  ClassRegistry& Add() {
    Set(T::ClassProperties(), [](TComponent* owner) -> TComponent* { return new T(owner); });
    return *this;
  }
  // Creates a component of the named class owned by owner; throws EFormError for an unknown class.
  TComponent* Create(const std::string& className, TComponent* owner) const;

 private:
  using Factory = TComponent* (*)(TComponent* owner);
  void Set(const PropertyTable& classTable, Factory factory);
  // A few classes per form: a list searched in order is smaller code than a map. The class tables
  // live as long as the program and carry the names.
  std::vector<std::pair<const PropertyTable*, Factory>> factories_;
};

FormObject ParseForm(std::string_view text);
// An icon as the bytes of an icon file with one 32-bit image and its mask; empty for none, and for a
// monochrome icon.
std::string IconFileBytes(HICON icon);
std::string FormatForm(const FormObject& object);

// Applies a description to an existing root: its own properties, then every nested object, created
// with the root as owner. Each component is in the loading state while its values are applied (in
// declaration order, through the setters); references are resolved once all exist; then every
// loaded component gets Loaded, in creation order.
void ReadComponent(TComponent& root, std::string_view text, const ClassRegistry& classes);
// The same, from an RCDATA resource of the module (nullptr: the executable).
void ReadComponentResource(TComponent& root, const char* resourceName, const ClassRegistry& classes,
                           HMODULE module = nullptr);

// The description of root as it stands: every property that differs from its stored default.
FormObject DescribeComponent(const TComponent& root);
std::string WriteComponent(const TComponent& root);

}  // namespace framework
