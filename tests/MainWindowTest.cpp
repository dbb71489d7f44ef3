// The launcher window's description, the configuration program's path rule, and the window's
// teardown racing the mail client's end.
#include <gtest/gtest.h>

#include <memory>

#include "app/MainWin.h"
#include "framework/FormText.h"
#include "tests/TestSupport.h"
#include "testing/StandInLog.h"

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
  EXPECT_TRUE(form.ExFile1->OnProcCompleted());  // the proxy's own end is told of
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

// The mail client ends just as the window is destroyed (the user chose the menu item): its end is
// reported on the command runner's worker, which must never find a half-destroyed window.
TEST(MainWindow, TheClientEndingWhileTheWindowIsDestroyedIsHarmless) {
  testsupport::TempDir dir;
  const std::string client = testsupport::BuiltProgram("DemoMailClient.exe");
  const DWORD handlesBefore = [] {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
  }();
  for (int round = 0; round < 12; ++round) {
    auto form = std::make_unique<TForm1>(nullptr);
    framework::ReadComponent(*form, Resource("TFORM1"), TForm1::Classes());
    const std::string log = dir / ("mail" + std::to_string(round) + ".log");
    form->Process1->SetCommand('"' + client + "\" --log \"" + log + "\" --close-after 60000");
    form->Process1->Execute();  // waited for on the worker, whose end raises the handler
    std::vector<standin::LoggedEvent> events;
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !(events = standin::ReadEventLog(log)).empty(); }, 10000));
    framework::UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(events[0].processId)));
    ASSERT_TRUE(process);
    // End the client, then destroy the window a little later each round, across the worker's report.
    TerminateProcess(process.get(), 0);
    LARGE_INTEGER now{}, until{}, frequency{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&until);
    until.QuadPart += frequency.QuadPart * round / 2000;  // 0.5 ms more each round
    do QueryPerformanceCounter(&now); while (now.QuadPart < until.QuadPart);
    form.reset();
    testsupport::PumpFor(20);  // a report handed over before the teardown finds the window gone
  }
  testsupport::PumpFor(300);
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_LE(handlesAfter, handlesBefore + 4);  // no handle left per round
}
