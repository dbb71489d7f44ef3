// Popup menus shown at a screen point and driven with the keyboard, as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/Menus.h"
#include "tests/TestSupport.h"

using framework::TComponent;
using framework::TMenuItem;
using framework::TObject;
using framework::TPopupMenu;

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
  std::thread driver = testsupport::ChooseFromNextMenu(2, seen);  // the first Down selects the first item
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
  std::thread driver = testsupport::ChooseFromNextMenu(0, seen);
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
