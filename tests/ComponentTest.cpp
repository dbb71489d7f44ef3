// Ownership, names and notifications of components.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/Properties.h"

using namespace framework;

namespace {
// Records its destruction and the removal notices it receives.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, std::string name, std::vector<std::string>& log) : TComponent(owner), log_(log) {
    SetName(std::move(name));
  }
  ~TProbe() override { log_.push_back("free " + Name()); }
  void Notification(TComponent* component, Operation operation) override {
    TComponent::Notification(component, operation);
    if (operation == Operation::Remove) log_.push_back(Name() + " told of removal");
    if (operation == Operation::Remove && component == watched) watched = nullptr;
  }
  TComponent* watched = nullptr;

 private:
  std::vector<std::string>& log_;
};
}  // namespace

TEST(Component, OwnerFreesWhatItOwnsLastCreatedFirst) {
  std::vector<std::string> log;
  auto* owner = new TComponent(nullptr);
  new TProbe(owner, "A", log);
  new TProbe(owner, "B", log);
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete owner;
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.front(), "free B");
  EXPECT_NE(std::find(log.begin(), log.end(), "free A"), log.end());
}

TEST(Component, RemovalIsToldToTheOtherComponentsOfTheSameOwner) {
  std::vector<std::string> log;
  TComponent owner(nullptr);
  auto* holder = new TProbe(&owner, "Holder", log);
  auto* held = new TProbe(&owner, "Held", log);
  holder->watched = held;
  TComponent stranger(nullptr);
  auto* outsider = new TProbe(&stranger, "Outsider", log);

  delete held;
  EXPECT_EQ(holder->watched, nullptr);
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_NE(std::find(log.begin(), log.end(), "Holder told of removal"), log.end());
  EXPECT_EQ(std::find(log.begin(), log.end(), "Outsider told of removal"), log.end());
  (void)outsider;
}

TEST(Component, FindsOwnedComponentsByName) {
  std::vector<std::string> log;
  TComponent owner(nullptr);
  auto* first = new TProbe(&owner, "First", log);
  EXPECT_EQ(owner.FindComponent("First"), first);
  EXPECT_EQ(owner.FindComponent("Missing"), nullptr);
  EXPECT_EQ(owner.FindComponent(""), nullptr);
  EXPECT_EQ(first->Owner(), &owner);
}

TEST(Component, ComponentsOfADesignerAreInDesignMode) {
  TComponent designer(nullptr);
  designer.SetDesigning(true);
  auto* placed = new TComponent(&designer);
  EXPECT_TRUE(placed->IsDesigning());
  TComponent running(nullptr);
  EXPECT_FALSE((new TComponent(&running))->IsDesigning());
}

namespace {
// Two classes with their own tables, one derived from the other.
class TBase : public TComponent {
 public:
  using TComponent::TComponent;
  static const PropertyTable& ClassProperties() {
    static const PropertyTable table("TBase", &TComponent::ClassProperties());
    return table;
  }
  const PropertyTable& Published() const override { return ClassProperties(); }
};
class TDerived : public TBase {
 public:
  using TBase::TBase;
  static const PropertyTable& ClassProperties() {
    static const PropertyTable table("TDerived", &TBase::ClassProperties());
    return table;
  }
  const PropertyTable& Published() const override { return ClassProperties(); }
};
}  // namespace

TEST(Component, ComponentAsCastsToTheClassAndItsAncestorsOnly) {
  TComponent plain(nullptr);
  TBase base(nullptr);
  TDerived derived(nullptr);
  EXPECT_EQ(ComponentAs<TDerived>(&derived), &derived);
  EXPECT_EQ(ComponentAs<TBase>(&derived), &derived);
  EXPECT_EQ(ComponentAs<TComponent>(&derived), &derived);
  EXPECT_EQ(ComponentAs<TBase>(&base), &base);
  EXPECT_EQ(ComponentAs<TDerived>(&base), nullptr);
  EXPECT_EQ(ComponentAs<TBase>(&plain), nullptr);
  EXPECT_EQ(ComponentAs<TBase>(nullptr), nullptr);
}
