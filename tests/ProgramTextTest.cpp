// The program's Japanese texts as the user sees them. They are code page 932 bytes and are shown
// through the wide API, so they read right whatever the system's ANSI code page; these tests also
// run in a process whose code page is 1252 (see CMakeLists.txt), where the ANSI API garbles them.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/AnsiText.h"
#include "framework/Application.h"
#include "framework/Menus.h"
#include "tests/TestSupport.h"

#ifndef MN_GETHMENU
#define MN_GETHMENU 0x01E1
#endif

using framework::TComponent;
using framework::TMenuItem;
using framework::TPopupMenu;

TEST(ProgramText, MenuCaptionsShowAsWritten) {
  TComponent owner(nullptr);
  auto* menu = new TPopupMenu(&owner);
  for (const char* caption : {"終了", "Exit"}) {
    auto* item = new TMenuItem(&owner);
    item->SetCaption(caption);
    item->SetParentComponent(menu);
  }
  // Read the shown menu's items back in UTF-16 while it is open, then dismiss it.
  std::vector<std::wstring> shown;
  std::thread reader([&shown] {
    HWND menuWindow = testsupport::WaitForProcessWindow(GetCurrentProcessId(), "#32768", true, 5000);
    if (menuWindow == nullptr) return;
    auto shownMenu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(shownMenu); ++i) {
      wchar_t text[64] = L"";
      GetMenuStringW(shownMenu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
      shown.emplace_back(text);
    }
    PostMessageA(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  menu->Popup(100, 100);
  reader.join();
  EXPECT_EQ(shown, (std::vector<std::wstring>{L"終了", L"Exit"}));
  // What the program stores and compares keeps its bytes.
  EXPECT_EQ(menu->Items(0)->Caption(), "\x8F\x49\x97\xB9");
}

TEST(ProgramText, MessageBoxesShowTextAndCaptionAsWritten) {
  testsupport::MessageBoxWatcher watcher;
  framework::ShowMessageBox("タスクトレイにアイコンを登録できません。", "警告", MB_OK | MB_ICONWARNING);
  ASSERT_EQ(watcher.WideTexts().size(), 1u);
  EXPECT_EQ(watcher.WideTexts()[0], L"タスクトレイにアイコンを登録できません。");
  EXPECT_EQ(watcher.WideCaptions()[0], L"警告");
}

TEST(ProgramText, ConvertsFromCodePage932WhateverTheSystemsPage) {
  // キ ends in 'L' and 表 in a backslash: neither may be read as two characters.
  const framework::WideText text = framework::ProgramTextToWide("表キ a\\b");
  EXPECT_EQ(std::wstring(text.c_str()), L"表キ a\\b");
  EXPECT_EQ(text.size(), 6u);
  EXPECT_EQ(std::wstring(framework::ProgramTextToWide("").c_str()), L"");
}
