// Popup menus shown at a screen point and driven with the keyboard, as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/Menus.h"

using framework::TComponent;
using framework::TMenuItem;
using framework::TObject;
using framework::TPopupMenu;

namespace {
BOOL CALLBACK FindMenuWindow(HWND window, LPARAM parameter) {
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == GetCurrentProcessId() && std::string(className) == "#32768" && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(parameter) = window;
    return FALSE;
  }
  return TRUE;
}

// Waits for the shown menu, then presses Down `downs` times and Enter (or Escape when downs < 0).
std::thread DriveMenu(int downs, std::atomic<bool>& seen) {
  return std::thread([downs, &seen] {
    HWND menu = nullptr;
    for (int i = 0; i < 250 && menu == nullptr; ++i) {
      EnumWindows(FindMenuWindow, reinterpret_cast<LPARAM>(&menu));
      if (menu == nullptr) Sleep(20);
    }
    if (menu == nullptr) return;
    seen = true;
    for (int i = 0; i < downs; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, downs < 0 ? VK_ESCAPE : VK_RETURN, 0);
  });
}
}  // namespace

TEST(PopupMenu, ChoosingAnItemClicksIt) {
  TComponent owner(nullptr);
  auto* menu = new TPopupMenu(&owner);
  std::vector<TObject*> clicked;
  for (const char* caption : {"First", "終了"}) {
    auto* item = new TMenuItem(&owner);
    item->SetCaption(caption);
    item->SetOnClick([&clicked](TObject* sender) { clicked.push_back(sender); });
    item->SetParentComponent(menu);
  }
  std::atomic<bool> seen{false};
  std::thread driver = DriveMenu(2, seen);  // the first Down selects the first item
  menu->Popup(100, 100);
  driver.join();
  EXPECT_TRUE(seen);
  ASSERT_EQ(clicked.size(), 1u);
  EXPECT_EQ(clicked[0], menu->Items(1));
}

TEST(PopupMenu, DismissingTheMenuClicksNothing) {
  TComponent owner(nullptr);
  auto* menu = new TPopupMenu(&owner);
  auto* item = new TMenuItem(&owner);
  item->SetParentComponent(menu);
  int clicks = 0;
  item->SetOnClick([&clicks](TObject*) { ++clicks; });
  std::atomic<bool> seen{false};
  std::thread driver = DriveMenu(-1, seen);
  menu->Popup(50, 50);
  driver.join();
  EXPECT_TRUE(seen);
  EXPECT_EQ(clicks, 0);
}

TEST(PopupMenu, AnItemThatGoesLeavesItsMenu) {
  TComponent owner(nullptr);
  auto* menu = new TPopupMenu(&owner);
  auto* item = new TMenuItem(&owner);
  item->SetParentComponent(menu);
  EXPECT_EQ(menu->Count(), 1);
  delete item;
  EXPECT_EQ(menu->Count(), 0);
}
