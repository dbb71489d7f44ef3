// Ownership, naming and the load / removal notifications of components.
#include "framework/Component.h"

#include <algorithm>

#include "framework/Properties.h"

namespace framework {

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    delete last;  // its destructor removes it from this list
  }
}

void TComponent::InsertComponent(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  if (designing_) component->designing_ = true;  // a designer's components are in design mode too
  Notification(component, Operation::Insert);
}

void TComponent::RemoveComponent(TComponent* component) {
  components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
  component->owner_ = nullptr;
  Notification(component, Operation::Remove);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* component : components_) {
    if (component->Name() == name) return component;
  }
  return nullptr;
}

void TComponent::Loaded() { loading_ = false; }

void TComponent::Notification(TComponent* component, Operation operation) {
  // The owner passes the notice on to all of its components.
  for (TComponent* sibling : std::vector<TComponent*>(components_)) {
    if (sibling != component) sibling->Notification(component, operation);
  }
}

const PropertyTable& TComponent::ClassProperties() {
  static const PropertyTable table("TComponent", nullptr);
  return table;
}

const PropertyTable& TComponent::Published() const { return ClassProperties(); }

bool TComponent::InheritsFrom(const PropertyTable& classTable) const {
  for (const PropertyTable* table = &Published(); table != nullptr; table = table->Parent()) {
    if (table == &classTable) return true;
  }
  return false;
}

void TComponent::SetParentComponent(TComponent* /*parent*/) {}

std::vector<TComponent*> TComponent::Children(const TComponent& root) const {
  // The root writes its owned components that are not nested inside another one.
  std::vector<TComponent*> children;
  if (this != &root) return children;
  for (TComponent* component : components_) {
    if (component->ParentComponent() == nullptr) children.push_back(component);
  }
  return children;
}

const PublishedMethod* TComponent::FindMethod(std::string_view name) const {
  for (const auto& [methodName, method] : methods_) {
    if (methodName == name) return &method;
  }
  return nullptr;
}

void TComponent::SetMethod(std::string name, const PublishedMethod& method) {
  for (auto& [methodName, existing] : methods_) {
    if (methodName == name) {
      existing = method;
      return;
    }
  }
  methods_.emplace_back(std::move(name), method);
}

}  // namespace framework
