// Popup menus.
#include "framework/Menus.h"

#include <algorithm>

#include "framework/AnsiText.h"
#include "framework/Handles.h"
#include "framework/Properties.h"

namespace framework {

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  if (menu_ != nullptr) menu_->Remove(this);
}

void TMenuItem::Click() {
  if (onClick_) onClick_(this);
}

TComponent* TMenuItem::ParentComponent() const { return menu_; }

void TMenuItem::SetParentComponent(TComponent* parent) {
  if (menu_ != nullptr) menu_->Remove(this);
  if (auto* menu = ComponentAs<TPopupMenu>(parent)) menu->Add(this);
}

const PropertyTable& TMenuItem::ClassProperties() {
  static const PropertyTable table = [] {
    PropertyTable t("TMenuItem", &TComponent::ClassProperties());
    t.String("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption)
        .EventHandler("OnClick", &TMenuItem::OnClick, &TMenuItem::SetOnClick);
    return t;
  }();
  return table;
}

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner) {}

TPopupMenu::~TPopupMenu() {
  for (TMenuItem* item : items_) item->menu_ = nullptr;
}

void TPopupMenu::Add(TMenuItem* item) {
  if (item->menu_ == this) return;
  if (item->menu_ != nullptr) item->menu_->Remove(item);
  items_.push_back(item);
  item->menu_ = this;
}

void TPopupMenu::Remove(TMenuItem* item) {
  items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
  if (item->menu_ == this) item->menu_ = nullptr;
}

void TPopupMenu::Popup(int x, int y) {
  // The menu is built afresh for each showing, so it always has the current items and captions.
  UniqueMenu menu(CreatePopupMenu());
  if (!menu) return;
  // The menu needs an owner window only while it is shown.
  UtilityWindow owner(&UtilityWindow::Default);
  for (size_t i = 0; i < items_.size(); ++i) {
    // Captions are the program's texts: shown through the wide API, they read right on any system.
    AppendMenuW(menu.get(), MF_STRING, i + 1, ProgramTextToWide(items_[i]->Caption()).c_str());
  }
  const UINT_PTR chosen = TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, x, y, 0,
                                         owner.Handle(), nullptr);
  // Lets the menu's owner leave the menu mode cleanly (the system's advice for tray menus).
  PostMessageA(owner.Handle(), WM_NULL, 0, 0);
  if (chosen >= 1 && chosen <= items_.size()) items_[chosen - 1]->Click();
}

std::vector<TComponent*> TPopupMenu::Children(const TComponent& /*root*/) const {
  return std::vector<TComponent*>(items_.begin(), items_.end());
}

const PropertyTable& TPopupMenu::ClassProperties() {
  static const PropertyTable table("TPopupMenu", &TComponent::ClassProperties());
  return table;
}

}  // namespace framework
