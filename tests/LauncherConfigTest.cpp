// The launcher's settings as its real programs read them: copies of the settings probe (which
// carries the launcher's own data module) and of the launcher, run from temporary folders.
#include <gtest/gtest.h>

#include <string>

#include "framework/Handles.h"
#include "tests/TestSupport.h"

using testsupport::BuiltProgram;
using testsupport::RunProgram;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {
// Copies the probe into folder under exeName and runs it there (from another current directory).
std::string Probe(const TempDir& folder, const std::string& arguments = "",
                  const std::string& exeName = "SettingsProbe.exe") {
  const std::string exe = folder / exeName;
  EXPECT_TRUE(CopyFileA(BuiltProgram("SettingsProbe.exe").c_str(), exe.c_str(), FALSE)) << exe;
  TempDir elsewhere;
  WriteFileBytes(elsewhere / "TolvaneOndrel.ini", "[Path]\r\nMail=wrong.exe\r\nOndrel=wrong.exe\r\n");
  const testsupport::RunResult result = RunProgram("\"" + exe + "\" " + arguments, elsewhere.Path());
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0u);
  return result.output;
}

std::string Expected(const std::string& mail, const std::string& proxy, const TempDir& folder) {
  return "Mail=" + mail + "\nOndrel=" + proxy + "\nPath=" + (folder / "TolvaneOndrel.ini") + "\n";
}
}  // namespace

TEST(LauncherSettings, AreReadBesideTheExecutableWhateverTheCurrentDirectory) {
  TempDir install;
  WriteFileBytes(install / "TolvaneOndrel.ini", "[Path]\r\nMail=C:\\Mail\\client.exe /x\r\nOndrel=C:\\Proxy\\p.exe\r\n");
  EXPECT_EQ(Probe(install), Expected("C:\\Mail\\client.exe /x", "C:\\Proxy\\p.exe", install));
}

TEST(LauncherSettings, AMissingFileGivesEmptyStrings) {
  TempDir install;
  EXPECT_EQ(Probe(install), Expected("", "", install));
}

TEST(LauncherSettings, OnlyMailGivesAnEmptyProxyPath) {
  TempDir install;
  WriteFileBytes(install / "TolvaneOndrel.ini", "[Path]\r\nMail=client.exe\r\n");
  EXPECT_EQ(Probe(install), Expected("client.exe", "", install));
}

TEST(LauncherSettings, KeysInAnotherSectionAreNotFound) {
  TempDir install;
  WriteFileBytes(install / "TolvaneOndrel.ini", "[Paths]\r\nMail=client.exe\r\n[path2]\r\nOndrel=p.exe\r\n");
  EXPECT_EQ(Probe(install), Expected("", "", install));
}

TEST(LauncherSettings, QuotedValuesComeBackAsThePlatformReadsThem) {
  TempDir install;
  WriteFileBytes(install / "TolvaneOndrel.ini",
                 "[Path]\r\nMail=\"C:\\Program Files\\Mail\\client.exe\" -n\r\nOndrel=\"C:\\Program Files\\p.exe\"\r\n");
  // The component adds and removes nothing: the platform drops only a pair enclosing the whole value.
  EXPECT_EQ(Probe(install),
            Expected("\"C:\\Program Files\\Mail\\client.exe\" -n", "C:\\Program Files\\p.exe", install));
}

TEST(LauncherSettings, BadFilesReadAsMissingValues) {
  std::string garbage;
  for (int i = 0; i < 2000; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  for (const std::string& content : {garbage, std::string()}) {
    TempDir install;
    WriteFileBytes(install / "TolvaneOndrel.ini", content);
    EXPECT_EQ(Probe(install), Expected("", "", install));
  }
  TempDir noNewline;
  WriteFileBytes(noNewline / "TolvaneOndrel.ini", "[Path]\r\nMail=a.exe\r\nOndrel=p.exe");
  EXPECT_EQ(Probe(noNewline), Expected("a.exe", "p.exe", noNewline));
}

TEST(LauncherSettings, AFolderWithBlanksAndJapaneseNamesWorksTheSame) {
  TempDir install(" \x95\x5C \x83\x4C");  // " 表 キ"
  WriteFileBytes(install / "TolvaneOndrel.ini", "[Path]\r\nMail=m.exe\r\nOndrel=\x95\x5C.exe\r\n");
  EXPECT_EQ(Probe(install), Expected("m.exe", "\x95\x5C.exe", install));
}

TEST(DefaultSettingsName, IsDerivedFromTheRunningExecutablesName) {
  TempDir folder;
  EXPECT_EQ(Probe(folder, "default", "LAUNCH.EXE"), "FileName=Launch.ini\nPath=" + (folder / "Launch.ini") + "\n");
  EXPECT_EQ(Probe(folder, "default", "7ZIP.EXE"), "FileName=7zip.ini\nPath=" + (folder / "7zip.ini") + "\n");
  // 表 (second byte 0x5C) and キ (second byte 'L') stay whole.
  EXPECT_EQ(Probe(folder, "default", "\x95\x5C\x83\x4CRUN.EXE"),
            "FileName=\x95\x5C\x83\x4Crun.ini\nPath=" + (folder / "\x95\x5C\x83\x4Crun.ini") + "\n");
}

TEST(Launcher, StartsMinimisedAndEndsWithCodeZeroWhenItsMainWindowCloses) {
  TempDir install;
  const std::string exe = install / "TolvaneLauncher.exe";
  ASSERT_TRUE(CopyFileA(BuiltProgram("TolvaneLauncher.exe").c_str(), exe.c_str(), FALSE));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string commandLine = "\"" + exe + "\"";
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, install.Path().c_str(),
                             &startup, &info));
  framework::ProcessHandles launcher = framework::ProcessHandles::Adopt(info);

  HWND form = testsupport::WaitForProcessWindow(launcher.processId, "TForm1");
  HWND application = testsupport::WaitForProcessWindow(launcher.processId, "TApplication");
  ASSERT_NE(form, nullptr);
  ASSERT_NE(application, nullptr);
  for (int i = 0; i < 250 && !IsIconic(application); ++i) Sleep(20);
  EXPECT_TRUE(IsIconic(application));  // the stored minimised state minimises the application
  EXPECT_FALSE(IsWindowVisible(form));
  char caption[32] = "";
  GetWindowTextA(form, caption, sizeof caption);
  EXPECT_STREQ(caption, "Form1");
  EXPECT_EQ(GetWindow(form, GW_OWNER), application);

  PostMessageA(form, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(launcher.process.get(), 10000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(launcher.process.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
}

TEST(ConfigurationProgram, WritesTheSettingsTheLauncherReads) {
  TempDir install;
  const std::string configure = install / "Cunfigure.exe";
  ASSERT_TRUE(CopyFileA(BuiltProgram("Cunfigure.exe").c_str(), configure.c_str(), FALSE));
  const testsupport::RunResult set =
      RunProgram("\"" + configure + "\" /set \"\\\"C:\\Program Files\\m.exe\\\" -x\" C:\\p\\proxy.exe");
  EXPECT_EQ(set.exitCode, 0u);
  EXPECT_EQ(Probe(install), Expected("\"C:\\Program Files\\m.exe\" -x", "C:\\p\\proxy.exe", install));
}

TEST(ConfigurationProgram, ItsWindowEditsTheSettings) {
  TempDir install;
  WriteFileBytes(install / "TolvaneOndrel.ini", "[Path]\r\nMail=old.exe\r\n");
  const std::string configure = install / "Cunfigure.exe";
  ASSERT_TRUE(CopyFileA(BuiltProgram("Cunfigure.exe").c_str(), configure.c_str(), FALSE));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string commandLine = "\"" + configure + "\" ";  // as the launcher starts it: path and a blank
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  framework::ProcessHandles program = framework::ProcessHandles::Adopt(info);
  HWND window = testsupport::WaitForProcessWindow(program.processId, "Cunfigure");
  ASSERT_NE(window, nullptr);
  for (int i = 0; i < 250 && !IsWindowVisible(window); ++i) Sleep(20);  // shown once its fields exist
  char mail[64] = "";
  GetDlgItemTextA(window, 101, mail, sizeof mail);
  EXPECT_STREQ(mail, "old.exe");  // the current values are shown
  SetDlgItemTextA(window, 101, "new.exe /y");
  SetDlgItemTextA(window, 102, "C:\\\x95\x5C\\proxy.exe");
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  // Neither program exists here: it asks before saving, and the user saves anyway.
  HWND question = testsupport::WaitForProcessWindow(program.processId, "#32770", true);
  ASSERT_NE(question, nullptr);
  PostMessageA(question, WM_COMMAND, IDYES, 0);
  ASSERT_EQ(WaitForSingleObject(program.process.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(Probe(install), Expected("new.exe /y", "C:\\\x95\x5C\\proxy.exe", install));
}
