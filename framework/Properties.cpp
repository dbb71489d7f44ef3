// Property tables: lookup across the class tree and reference fixups.
#include "framework/Properties.h"

namespace framework {

void LoadContext::RunFixups() {
  std::vector<std::function<void()>> fixups;
  fixups.swap(fixups_);
  for (const auto& fixup : fixups) fixup();
}

PropertyInfo::PropertyInfo(const char* name) : name_(name) {}

void PropertyInfo::Mismatch() const { throw EFormError("invalid value for property " + name_); }

const std::any* PropertyInfo::FindMethod(const FormValue& value, const LoadContext& context) const {
  if (value.kind != FormValue::Kind::Identifier) Mismatch();
  return context.Root().FindMethod(value.text);
}

void PropertyInfo::NoMethod(const std::string& method) const {
  throw EFormError("no method " + method + " of the right kind for " + name_);
}

namespace detail {

EnumerationNames::EnumerationNames(const char* name, std::initializer_list<const char*> names)
    : PropertyInfo(name), names_(names.begin(), names.end()) {}

FormValue EnumerationNames::NameOf(size_t ordinal) const {
  return FormValue::Identifier(ordinal < names_.size() ? names_[ordinal] : std::to_string(ordinal));
}

size_t EnumerationNames::OrdinalOf(const FormValue& value) const {
  if (value.kind != FormValue::Kind::Identifier) Mismatch();
  for (size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == value.text) return i;
  }
  Mismatch();
}

}  // namespace detail

const PropertyInfo* PropertyTable::Find(std::string_view name) const {
  for (const auto& property : own_) {
    if (property->Name() == name) return property.get();
  }
  return parent_ != nullptr ? parent_->Find(name) : nullptr;
}

std::vector<const PropertyInfo*> PropertyTable::All() const {
  std::vector<const PropertyInfo*> all = parent_ != nullptr ? parent_->All() : std::vector<const PropertyInfo*>();
  for (const auto& property : own_) all.push_back(property.get());
  return all;
}

int PropertyTable::IndexOf(std::string_view name) const {
  const std::vector<const PropertyInfo*> all = All();
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i]->Name() == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace framework
