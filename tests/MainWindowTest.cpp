// The launcher window's description and the configuration program's path rule.
#include <gtest/gtest.h>

#include "app/MainWin.h"
#include "framework/FormText.h"

namespace {
std::string Resource(const char* name) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, name, MAKEINTRESOURCEA(10));
  if (resource == nullptr) return {};
  return std::string(static_cast<const char*>(LockResource(LoadResource(module, resource))),
                     SizeofResource(module, resource));
}
}  // namespace

TEST(MainWindow, ItsComponentsAreCreatedInOrderWithTheirStoredValues) {
  TForm1 form(nullptr);
  // Loaded without running the creation handler (that would start programs).
  framework::ReadComponent(form, Resource("TFORM1"), TForm1::Classes());
  const char* order[] = {"TrayIcon1", "PopupMenu1", "Exit1", "Process1", "Timer1", "ExFile1", "IniGT1", "WinList1"};
  ASSERT_EQ(form.ComponentCount(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(form.Components(i)->Name(), order[i]);

  EXPECT_EQ(form.Caption(), "Form1");
  EXPECT_EQ(form.WindowState(), framework::TWindowState::wsMinimized);
  EXPECT_TRUE(form.OnCreate());
  EXPECT_EQ(form.TrayIcon1->TipHelp(), "TipHelp");
  EXPECT_TRUE(form.TrayIcon1->Minimized());
  EXPECT_TRUE(form.TrayIcon1->HideOnTaskBar());
  EXPECT_EQ(form.TrayIcon1->Interval(), 0u);
  EXPECT_EQ(form.TrayIcon1->RButtonPopupMenu(), form.PopupMenu1);
  ASSERT_EQ(form.PopupMenu1->Count(), 1);
  EXPECT_EQ(form.PopupMenu1->Items(0), form.Exit1);
  EXPECT_EQ(form.Exit1->Caption(), "終了");
  EXPECT_TRUE(form.Exit1->OnClick());
  EXPECT_EQ(form.Process1->ShowWindow(), launch::TShowWindow::swShowNormal);
  EXPECT_TRUE(form.Process1->Wait());
  EXPECT_TRUE(form.Process1->OnFinished());
  EXPECT_FALSE(form.Timer1->Enabled());
  EXPECT_EQ(form.Timer1->Interval(), 5000u);
  EXPECT_EQ(form.ExFile1->WindowType(), launch::TWindowType::wtNorm);
  EXPECT_FALSE(form.ExFile1->WaitUntilDone());
  EXPECT_EQ(form.ExFile1->TimeOutSec(), 0);
  EXPECT_FALSE(form.ExFile1->OnProcCompleted());
  EXPECT_FALSE(form.ExFile1->OnLaunchFailed());
  EXPECT_EQ(form.IniGT1->FileName(), "Launcher_tests.ini");  // derived from the executable at end of load
  EXPECT_EQ(form.WinList1->WhatDoFind(), winlist::TFind_ID::id_VisOnly);
  EXPECT_TRUE(form.WinList1->TaskBarSty());
  EXPECT_FALSE(form.WinList1->EnableTimer());
  EXPECT_EQ(form.WinList1->TimerIntval(), 500);
}

TEST(MainWindow, ItsDescriptionSavesBackAsStored) {
  TForm1 form(nullptr);
  const std::string stored = Resource("TFORM1");
  framework::ReadComponent(form, stored, TForm1::Classes());
  // The second settings component got its name at end of load; stored, it had none.
  form.IniGT1->SetFileName("");
  EXPECT_EQ(framework::WriteComponent(form), framework::FormatForm(framework::ParseForm(stored)));
}

TEST(MainWindow, TheConfigurationProgramLiesInTheExecutablesFolder) {
  EXPECT_EQ(TForm1::ConfigurationProgramPath("C:\\Tools\\Launcher.exe"), "C:\\Tools\\Cunfigure.exe");
  // In a drive's root the root keeps its backslash: two in a row.
  EXPECT_EQ(TForm1::ConfigurationProgramPath("C:\\Launcher.exe"), "C:\\\\Cunfigure.exe");
  // A folder ending in 表 (second byte 0x5C) is not cut before that byte.
  EXPECT_EQ(TForm1::ConfigurationProgramPath("C:\\\x95\x5C\\Launcher.exe"), "C:\\\x95\x5C\\Cunfigure.exe");
  EXPECT_EQ(TForm1::ConfigurationProgramPath("D:\\a b\\\x83\x4C\\L.exe"), "D:\\a b\\\x83\x4C\\Cunfigure.exe");
}
