// A popup menu component with its items, shown at a screen point.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/UtilityWindow.h"

namespace framework {

class TPopupMenu;

// A menu item: owned by the form like any component, nested in its menu.
class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) { caption_ = caption; }
  const TNotifyEvent& OnClick() const { return onClick_; }
  void SetOnClick(TNotifyEvent handler) { onClick_ = std::move(handler); }
  // What choosing the item does: raises OnClick.
  void Click();

  TPopupMenu* Menu() const { return menu_; }
  TComponent* ParentComponent() const override;
  void SetParentComponent(TComponent* parent) override;

  static const PropertyTable& ClassProperties();
  const PropertyTable& Published() const override { return ClassProperties(); }

 private:
  friend class TPopupMenu;
  std::string caption_;
  TNotifyEvent onClick_;
  TPopupMenu* menu_ = nullptr;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
  void Add(TMenuItem* item);
  void Remove(TMenuItem* item);

  // Shows the menu at a screen point and waits until it closes; a chosen item is then clicked.
  void Popup(int x, int y);

  std::vector<TComponent*> Children(const TComponent& root) const override;

  static const PropertyTable& ClassProperties();
  const PropertyTable& Published() const override { return ClassProperties(); }

 private:
  std::vector<TMenuItem*> items_;
};

}  // namespace framework
