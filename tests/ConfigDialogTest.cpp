// The configuration program's window, driven as a user would through its controls: the real
// Cunfigure.exe copied into a temporary folder, its edits set and read with WM_SETTEXT / WM_GETTEXT,
// its buttons pressed with BM_CLICK, its message boxes answered. What it saved is read back with the
// launcher's own reader (settings::ProfileAccessor), and at the end the launcher itself runs it.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they need.
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/Handles.h"
#include "framework/User32Function.h"
#include "settings/IniGT.h"
#include "tests/TestSupport.h"
#include "cunfigure/ConfigDialog.h"
#include "cunfigure/ConfigSettings.h"
#include "cunfigure/ElevatedSave.h"
#include "cunfigure/LauncherChoices.h"
#include "cunfigure/LauncherStart.h"
#include "testing/ProcessWindows.h"
#include "testing/StandInLog.h"

using testsupport::BuiltProgram;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

constexpr char kIni[] = "TolvaneOndrel.ini";
constexpr DWORD kNoExit = 0xFFFFFFFF;

std::wstring Wide(const std::string& ansi, UINT codePage = CP_ACP) {
  std::wstring wide(ansi.size(), L'\0');
  const int length = MultiByteToWideChar(codePage, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                                         static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(length > 0 ? length : 0));
  return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
  std::string bytes(wide.size() * 3, '\0');
  const int length = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, nullptr);
  bytes.resize(static_cast<size_t>(length > 0 ? length : 0));
  return bytes;
}

std::string Cp932(const std::wstring& wide) { return Narrow(wide, 932); }
std::string Utf8(const std::wstring& wide) { return Narrow(wide, CP_UTF8); }

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// A value as the launcher reads it from the folder's settings file.
std::string LauncherReads(const TempDir& folder, const char* key) {
  settings::ProfileAccessor accessor(folder / kIni);
  return accessor.Read("Path", key, "");
}

// The names in a folder that look like a save's temporary file.
std::vector<std::string> TemporaryFiles(const TempDir& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder / "*.tmp").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do names.emplace_back(entry.cFileName);
    while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  return names;
}

// The settings file holds the bytes it held before, and no save left a temporary file beside it.
void ExpectLeftAsItWas(const TempDir& folder, const std::string& before) {
  EXPECT_EQ(ReadFileBytes(folder / kIni), before);
  EXPECT_TRUE(TemporaryFiles(folder).empty());
}

void CopyProgram(const char* name, const std::string& to) {
  ASSERT_TRUE(CopyFileA(BuiltProgram(name).c_str(), to.c_str(), FALSE)) << to;
}

std::wstring ControlText(HWND control) {
  const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  return std::wstring(buffer.data(), static_cast<size_t>(copied));
}

// The text of a message box, which is then answered with the button.
std::wstring Answer(HWND box, int button) {
  const std::wstring text = ControlText(GetDlgItem(box, 0xFFFF));
  PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
  for (int i = 0; i < 250 && IsWindow(box); ++i) Sleep(20);
  return text;
}

// Sets an environment variable for the programs started in a scope.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[256];
    const DWORD length = GetEnvironmentVariableW(name, old, 256);
    had_ = length > 0 && length < 256;
    if (had_) old_.assign(old, length);
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::wstring name_;
  std::wstring old_;
  bool had_ = false;
};

// The real configuration program, run from a folder, with its window.
class ConfigProgram {
 public:
  // Copies Cunfigure.exe into the folder (when not there yet) and starts it as the launcher does.
  explicit ConfigProgram(const TempDir& folder) {
    const std::string exe = folder / "Cunfigure.exe";
    if (!testsupport::FileExists(exe)) CopyProgram("Cunfigure.exe", exe);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + exe + "\" ";
    TempDir elsewhere;  // its current directory is not its own folder
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, elsewhere.Path().c_str(),
                        &startup, &info)) {
      ADD_FAILURE() << "cannot start " << exe;
      return;
    }
    process_ = framework::ProcessHandles::Adopt(info);
    window_ = testsupport::WaitForProcessWindow(process_.processId, "Cunfigure", true);
    EXPECT_NE(window_, nullptr) << "no window came up";
  }
  // The window of a program someone else started.
  explicit ConfigProgram(DWORD processId) {
    process_.process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId));
    process_.processId = processId;
    window_ = testsupport::WaitForProcessWindow(processId, "Cunfigure", true);
  }
  ~ConfigProgram() {
    if (process_.process && WaitForSingleObject(process_.process.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.process.get(), 1);
      WaitForSingleObject(process_.process.get(), 5000);
    }
  }
  ConfigProgram(const ConfigProgram&) = delete;
  ConfigProgram& operator=(const ConfigProgram&) = delete;

  bool Ready() const { return window_ != nullptr; }
  HWND Window() const { return window_; }
  DWORD ProcessId() const { return process_.processId; }

  // True when the window is still open once the program has taken the messages posted to it so far.
  // A program takes posted messages only in a message loop, its own or a box's, so a window that is
  // on its way to closing is seen gone, however slowly it goes. The mark posted is a new text limit
  // for the mail edit, put back after.
  bool StaysOpen() const {
    HWND edit = GetDlgItem(window_, configure::kMailEditId);
    DWORD_PTR limit = 0;
    if (!SendMessageTimeoutW(edit, EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL, 5000, &limit) || limit < 2 ||
        !PostMessageW(edit, EM_SETLIMITTEXT, limit - 1, 0)) {
      return false;
    }
    for (DWORD waited = 0; waited < 10000; waited += 20) {
      DWORD_PTR now = 0;
      if (!SendMessageTimeoutW(edit, EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL, 5000, &now)) return false;
      if (now == limit - 1) {
        SendMessageTimeoutW(edit, EM_SETLIMITTEXT, limit, 0, SMTO_NORMAL, 5000, nullptr);
        return IsWindow(window_) != FALSE;
      }
      Sleep(20);
    }
    return false;
  }

  std::wstring Text(int id) const { return ControlText(GetDlgItem(window_, id)); }
  void SetText(int id, const std::wstring& text) const {
    SendMessageW(GetDlgItem(window_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void Fill(const std::wstring& mail, const std::wstring& proxy) const {
    SetText(configure::kMailEditId, mail);
    SetText(configure::kProxyEditId, proxy);
  }
  // Posted: the click may open a modal box, which a sent message would wait for.
  void Click(int id) const { PostMessageW(GetDlgItem(window_, id), BM_CLICK, 0, 0); }

  // The next message box, answered with the button; empty when none came.
  std::wstring AnswerBox(int button, DWORD timeoutMs = 10000) const {
    HWND box = testsupport::WaitForProcessWindow(process_.processId, "#32770", true, timeoutMs);
    return box == nullptr ? std::wstring() : Answer(box, button);
  }

  // Waits for the program to end and gives its exit code (kNoExit when it did not end). A message
  // box that comes up instead fails the test, and is answered so the program can go on.
  DWORD Finish(DWORD timeoutMs = 10000) const {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
      if (WaitForSingleObject(process_.process.get(), 20) == WAIT_OBJECT_0) {
        DWORD code = kNoExit;
        GetExitCodeProcess(process_.process.get(), &code);
        return code;
      }
      if (HWND box = testsupport::FindProcessWindow(process_.processId, "#32770", true)) {
        ADD_FAILURE() << "unexpected message box: " << Utf8(Answer(box, IDOK));
      }
    }
    ADD_FAILURE() << "the configuration program did not end";
    return kNoExit;
  }

  // OK, answering Yes when it warns about programs it cannot find; returns the exit code.
  DWORD SaveAnyway() const {
    Click(IDOK);
    for (DWORD waited = 0; waited < 10000; waited += 20) {
      if (WaitForSingleObject(process_.process.get(), 20) == WAIT_OBJECT_0) break;
      if (HWND box = testsupport::FindProcessWindow(process_.processId, "#32770", true)) {
        const std::wstring text = Answer(box, IDYES);
        EXPECT_TRUE(Contains(text, L"見つかりません") || Contains(text, L"入力されていません")) << Utf8(text);
        break;
      }
    }
    return Finish();
  }

 private:
  framework::ProcessHandles process_;
  HWND window_ = nullptr;
};

// Saves the two values through the window (answering Yes to a warning) and checks that the
// launcher reads back exactly their code page 932 bytes.
void SaveAndReadBack(const TempDir& folder, const std::wstring& mail, const std::wstring& proxy) {
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  program.Fill(mail, proxy);
  EXPECT_EQ(program.SaveAnyway(), 0u);
  EXPECT_EQ(LauncherReads(folder, "Mail"), Cp932(mail)) << Utf8(mail);
  EXPECT_EQ(LauncherReads(folder, "Ondrel"), Cp932(proxy)) << Utf8(proxy);
  EXPECT_TRUE(TemporaryFiles(folder).empty());
}

// Starts the program in the folder, fills in values whose save it refuses, answers the message and
// cancels; returns the message's text.
std::wstring RefusedSaveMessage(const TempDir& folder, const std::wstring& mail, const std::wstring& proxy) {
  ConfigProgram program(folder);
  if (!program.Ready()) {
    ADD_FAILURE() << "the configuration program did not come up";
    return {};
  }
  program.Fill(mail, proxy);
  program.Click(IDOK);
  const std::wstring text = program.AnswerBox(IDOK);
  EXPECT_TRUE(program.StaysOpen()) << "the window closes only when the user says so";
  EXPECT_EQ(program.Text(configure::kMailEditId), mail) << "what was typed stays for correcting";
  program.Click(IDCANCEL);
  EXPECT_EQ(program.Finish(), 1u);
  return text;
}

// Values the program refuses: the message names the problem and nothing changed.
void ExpectRefused(const std::wstring& mail, const std::wstring& proxy, const std::wstring& messagePart) {
  TempDir folder;
  const std::string before = "[Path]\r\nMail=old.exe\r\nOndrel=old-proxy.exe\r\n";
  WriteFileBytes(folder / kIni, before);
  const std::wstring text = RefusedSaveMessage(folder, mail, proxy);
  EXPECT_TRUE(Contains(text, messagePart)) << Utf8(text);
  ExpectLeftAsItWas(folder, before);
}

}  // namespace

TEST(ConfigDialog, ShowsTheCurrentSettings) {
  TempDir folder;
  WriteFileBytes(folder / kIni,
                 "[Path]\r\nMail=\"C:\\Program Files\\Mail\\client.exe\" -n\r\nOndrel=C:\\\x95\x5C\\proxy.exe\r\n");
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  EXPECT_EQ(program.Text(configure::kMailEditId), L"\"C:\\Program Files\\Mail\\client.exe\" -n");
  EXPECT_EQ(program.Text(configure::kProxyEditId), L"C:\\表\\proxy.exe");
  char className[32] = "";
  GetClassNameA(program.Window(), className, sizeof className);
  EXPECT_STREQ(className, "Cunfigure");
  EXPECT_EQ(ControlText(program.Window()), L"TOLVANE 設定");
  EXPECT_EQ(ControlText(GetDlgItem(program.Window(), IDCANCEL)), L"キャンセル");
  program.Click(IDCANCEL);
  EXPECT_EQ(program.Finish(), 1u);
}

TEST(ConfigDialog, StartsEmptyWithoutASettingsFileAndCancelMakesNone) {
  TempDir folder;
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  EXPECT_EQ(program.Text(configure::kMailEditId), L"");
  EXPECT_EQ(program.Text(configure::kProxyEditId), L"");
  program.Fill(L"mail.exe", L"proxy.exe");
  program.Click(IDCANCEL);
  EXPECT_EQ(program.Finish(), 1u);
  EXPECT_FALSE(testsupport::FileExists(folder / kIni));
}

TEST(ConfigDialog, SavesWhatTheLauncherReadsAndKeepsTheRestOfTheFile) {
  TempDir folder;
  CopyProgram("DemoMailClient.exe", folder / "DemoMailClient.exe");
  CopyProgram("DemoProxy.exe", folder / "DemoProxy.exe");
  WriteFileBytes(folder / kIni, "[Other]\r\nKeep=1\r\n[Path]\r\nMail=old.exe\r\nExtra=yes\r\n");
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  EXPECT_EQ(program.Text(configure::kMailEditId), L"old.exe");
  const std::wstring mail = L"\"" + Wide(folder / "DemoMailClient.exe") + L"\" --log \"x.log\"";
  const std::wstring proxy = Wide(folder / "DemoProxy.exe");
  program.Fill(mail, proxy);
  program.Click(IDOK);
  EXPECT_EQ(program.Finish(), 0u);  // both programs exist: no question
  EXPECT_EQ(LauncherReads(folder, "Mail"), Cp932(mail));
  EXPECT_EQ(LauncherReads(folder, "Ondrel"), Cp932(proxy));
  settings::ProfileAccessor accessor(folder / kIni);
  EXPECT_EQ(accessor.Read("Other", "Keep", ""), "1");
  EXPECT_EQ(accessor.Read("Path", "Extra", ""), "yes");
  EXPECT_TRUE(TemporaryFiles(folder).empty());

  // The settings probe (the launcher's data module in a program of its own) reads the same.
  CopyProgram("SettingsProbe.exe", folder / "SettingsProbe.exe");
  const testsupport::RunResult probe = testsupport::RunProgram("\"" + (folder / "SettingsProbe.exe") + "\"");
  EXPECT_EQ(probe.output, "Mail=" + Cp932(mail) + "\nOndrel=" + Cp932(proxy) + "\nPath=" + (folder / kIni) + "\n");
}

TEST(ConfigDialog, CancelEscapeAndClosingWriteNothing) {
  const std::string before = "[Path]\r\nMail=old.exe\r\n; a comment\r\n";
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE("way " + std::to_string(way));
    TempDir folder;
    WriteFileBytes(folder / kIni, before);
    ConfigProgram program(folder);
    ASSERT_TRUE(program.Ready());
    program.Fill(L"new.exe", L"new-proxy.exe");
    if (way == 0) program.Click(IDCANCEL);
    if (way == 1) PostMessageW(GetDlgItem(program.Window(), configure::kMailEditId), WM_KEYDOWN, VK_ESCAPE, 0);
    if (way == 2) PostMessageW(program.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.Finish(), 1u);
    ExpectLeftAsItWas(folder, before);
  }
}

TEST(ConfigDialog, EnterSavesLikeOk) {
  TempDir folder;
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  const std::wstring exe = Wide(folder / "Cunfigure.exe");
  program.Fill(exe + L" -x", exe);
  PostMessageW(GetDlgItem(program.Window(), configure::kProxyEditId), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(program.Finish(), 0u);
  EXPECT_EQ(LauncherReads(folder, "Mail"), Cp932(exe + L" -x"));
}

TEST(ConfigDialog, BlanksAndQuotesAtTheEndsSurviveTheRoundTrip) {
  const std::vector<std::pair<std::wstring, std::wstring>> values = {
      {L"  leading blanks", L"trailing blanks  "},
      {L"\"quoted whole\"", L"'single quoted'"},
      {L"\"C:\\Program Files\\x.exe\" -a \"b c\"", L"  \"both\"  "},
      {L"\"", L"\"\""},
      {L"''", L"\" \""},
      {L"\t tab and blank", L"a \"b\" c"},
      {L"\x3000全角の空白\x3000", L"'mixed\""},
      {L"   ", L"x"},
  };
  TempDir folder;
  for (const auto& [mail, proxy] : values) SaveAndReadBack(folder, mail, proxy);
  // The window shows a saved value as it was typed.
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  EXPECT_EQ(program.Text(configure::kMailEditId), L"   ");
  program.Click(IDCANCEL);
  EXPECT_EQ(program.Finish(), 1u);
}

TEST(ConfigDialog, ValuesUpToTheLaunchersLimitSurvive) {
  TempDir folder;
  const std::wstring exe = L"\"" + Wide(folder / "Cunfigure.exe") + L"\" ";
  const std::wstring mail = exe + std::wstring(2047 - exe.size() - 1, L'a') + L"z";
  const std::wstring proxy = L"C:\\" + std::wstring(2040, L'p') + L".exe";
  ASSERT_EQ(Cp932(mail).size(), 2047u);
  ASSERT_EQ(Cp932(proxy).size(), 2047u);
  SaveAndReadBack(folder, mail, proxy);
  // Values that need the extra quotes: one byte less.
  SaveAndReadBack(folder, L" " + std::wstring(2044, L'b') + L" ", L"\"" + std::wstring(2044, L'q') + L"\"");
  // Double-byte characters count two bytes each.
  std::wstring japanese;
  for (int i = 0; i < 1023; ++i) japanese += L"表";
  SaveAndReadBack(folder, japanese + L"a", L"キ" + japanese.substr(1) + L"L");
  ASSERT_EQ(Cp932(japanese + L"a").size(), 2047u);
}

TEST(ConfigDialog, RefusesValuesLongerThanTheLauncherReads) {
  ExpectRefused(std::wstring(2048, L'a'), L"p.exe", L"長すぎます");
  ExpectRefused(L"m.exe", L" " + std::wstring(2046, L'b'), L"2046");  // 2047 bytes, in quotes
  ExpectRefused(L"\"" + std::wstring(2045, L'c') + L"\"", L"p.exe", L"長すぎます");
  std::wstring japanese;
  for (int i = 0; i < 1024; ++i) japanese += L"表";
  ExpectRefused(L"m.exe", japanese, L"2048 バイト");
}

TEST(ConfigDialog, RefusesCharactersTheLauncherCannotRead) {
  ExpectRefused(L"C:\\caf\x00e9\\mail.exe", L"p.exe", L"シフト JIS");
  ExpectRefused(L"m.exe", L"C:\\\xD83D\xDE00.exe", L"シフト JIS");
}

TEST(ConfigDialog, ShiftJisFoldersAndNamesWork) {
  // 表 and キ: their second bytes are '\' and 'L'.
  TempDir folder(" \x95\x5C \x83\x4C");
  CopyProgram("DemoMailClient.exe", folder / "DemoMailClient.exe");
  CopyProgram("DemoProxy.exe", folder / "\x95\x5C\x83\x4C.exe");
  // Unquoted, with blanks in the folder: found as the system finds it, trying prefixes at blanks,
  // and kept so when the user declines the quotes offered.
  const std::wstring mail = Wide(folder / "DemoMailClient.exe") + L" --title 表キ";
  const std::wstring proxy = Wide(folder / "\x95\x5C\x83\x4C.exe");
  EXPECT_TRUE(Contains(proxy, L" 表 キ\\表キ.exe"));
  {
    ConfigProgram program(folder);
    ASSERT_TRUE(program.Ready());
    program.Fill(mail, proxy);
    program.Click(IDOK);
    const std::wstring question = program.AnswerBox(IDNO);
    EXPECT_TRUE(Contains(question, L"引用符で囲んで保存しますか")) << Utf8(question);
    EXPECT_EQ(program.Finish(), 0u);  // no other question: both are found
  }
  EXPECT_EQ(LauncherReads(folder, "Mail"), folder / "DemoMailClient.exe --title \x95\x5C\x83\x4C");
  EXPECT_EQ(LauncherReads(folder, "Ondrel"), folder / "\x95\x5C\x83\x4C.exe");
  // The file holds code page 932 bytes.
  const std::string file = ReadFileBytes(folder / kIni);
  EXPECT_NE(file.find("Ondrel=" + (folder / "\x95\x5C\x83\x4C.exe") + "\r\n"), std::string::npos) << file;

  ConfigProgram again(folder);
  ASSERT_TRUE(again.Ready());
  EXPECT_EQ(again.Text(configure::kMailEditId), mail);
  EXPECT_EQ(again.Text(configure::kProxyEditId), proxy);
  again.Click(IDCANCEL);
  EXPECT_EQ(again.Finish(), 1u);
}

TEST(ConfigDialog, AReadOnlySettingsFileIsLeftAsItWas) {
  TempDir folder;
  const std::string before = "[Other]\r\nKeep=1\r\n[Path]\r\nMail=old.exe\r\n";
  WriteFileBytes(folder / kIni, before);
  ASSERT_TRUE(SetFileAttributesA((folder / kIni).c_str(), FILE_ATTRIBUTE_READONLY));
  const std::wstring exe = Wide(folder / "Cunfigure.exe");
  const std::wstring text = RefusedSaveMessage(folder, exe, exe);
  EXPECT_TRUE(Contains(text, L"読み取り専用")) << Utf8(text);
  EXPECT_TRUE(Contains(text, L"変更されていません")) << Utf8(text);
  EXPECT_NE(GetFileAttributesA((folder / kIni).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  ExpectLeftAsItWas(folder, before);
}

TEST(ConfigDialog, ASettingsFileAnotherProgramHoldsIsLeftAsItWas) {
  for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ}}) {
    SCOPED_TRACE("share " + std::to_string(share));
    TempDir folder;
    const std::string before = "[Path]\r\nMail=old.exe\r\nOndrel=old-proxy.exe\r\n";
    WriteFileBytes(folder / kIni, before);
    framework::UniqueHandle lock(
        CreateFileA((folder / kIni).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
    const std::wstring exe = Wide(folder / "Cunfigure.exe");
    const std::wstring text = RefusedSaveMessage(folder, exe, exe);
    EXPECT_TRUE(Contains(text, L"使用")) << Utf8(text);
    lock.reset();
    ExpectLeftAsItWas(folder, before);
  }
}

TEST(ConfigDialog, WarnsAboutProgramsItCannotFindAndSavesWhenTheUserInsists) {
  TempDir folder;
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  program.Fill(L"C:\\no such\\client.exe -x", L"C:\\no\\such\\proxy.exe");
  program.Click(IDOK);
  const std::wstring text = program.AnswerBox(IDYES);
  EXPECT_TRUE(Contains(text, L"「C:\\no such\\client.exe」が見つかりません")) << Utf8(text);
  EXPECT_TRUE(Contains(text, L"「C:\\no\\such\\proxy.exe」が見つかりません")) << Utf8(text);
  EXPECT_TRUE(Contains(text, L"このまま保存しますか")) << Utf8(text);
  EXPECT_EQ(program.Finish(), 0u);
  EXPECT_EQ(LauncherReads(folder, "Mail"), "C:\\no such\\client.exe -x");
  EXPECT_EQ(LauncherReads(folder, "Ondrel"), "C:\\no\\such\\proxy.exe");
}

TEST(ConfigDialog, DecliningTheWarningWritesNothing) {
  TempDir folder;
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  const std::wstring exe = Wide(folder / "Cunfigure.exe");
  program.Fill(exe, L"C:\\no\\such\\proxy.exe");
  program.Click(IDOK);
  const std::wstring text = program.AnswerBox(IDNO);
  EXPECT_TRUE(Contains(text, L"proxy.exe")) << Utf8(text);
  EXPECT_FALSE(Contains(text, L"Cunfigure.exe")) << "the mail client's program exists";
  EXPECT_TRUE(program.StaysOpen());
  EXPECT_FALSE(testsupport::FileExists(folder / kIni));
  program.Click(IDCANCEL);
  EXPECT_EQ(program.Finish(), 1u);
  EXPECT_FALSE(testsupport::FileExists(folder / kIni));
  EXPECT_TRUE(TemporaryFiles(folder).empty());
}

TEST(ConfigDialog, OffersToQuoteAnUnquotedProgramWithABlank) {
  TempDir folder(" a b");
  CopyProgram("DemoMailClient.exe", folder / "DemoMailClient.exe");
  const std::wstring program = Wide(folder / "DemoMailClient.exe");
  const std::wstring typed = program + L" --log \"x.log\"";
  const std::wstring quoted = L"\"" + program + L"\" --log \"x.log\"";
  for (const int answer : {IDCANCEL, IDNO, IDYES}) {
    SCOPED_TRACE("answer " + std::to_string(answer));
    ConfigProgram config(folder);
    ASSERT_TRUE(config.Ready());
    config.Fill(typed, program);
    config.Click(IDOK);
    const std::wstring question = config.AnswerBox(answer);
    EXPECT_TRUE(Contains(question, L"「" + program + L"」は、空白を含むのに引用符で囲まれていません"))
        << Utf8(question);
    EXPECT_TRUE(Contains(question, L"引用符で囲んで保存しますか")) << Utf8(question);
    EXPECT_FALSE(Contains(question, L"が起動されます。")) << Utf8(question);  // nothing shorter starts today
    EXPECT_TRUE(Contains(question, L"\n" + quoted)) << Utf8(question);
    if (answer == IDCANCEL) {
      EXPECT_TRUE(config.StaysOpen());
      EXPECT_EQ(config.Text(configure::kMailEditId), typed);
      EXPECT_FALSE(testsupport::FileExists(folder / kIni));
      config.Click(IDCANCEL);
      EXPECT_EQ(config.Finish(), 1u);
    } else {
      EXPECT_EQ(config.Finish(), 0u);  // no other question: the program is found
      EXPECT_EQ(LauncherReads(folder, "Mail"), Cp932(answer == IDYES ? quoted : typed));
    }
  }
}

TEST(ConfigDialog, NamesTheShorterProgramThatStartsTodayAndQuotesTheOneTyped) {
  TempDir folder;
  CreateDirectoryA((folder / "Mail Box").c_str(), nullptr);
  CopyProgram("DemoMailClient.exe", folder / "Mail Box\\DemoMailClient.exe");
  CopyProgram("DemoProxy.exe", folder / "Mail.exe");
  const std::wstring program = Wide(folder / "Mail Box\\DemoMailClient.exe");
  const std::wstring quoted = L"\"" + program + L"\" -x";
  ConfigProgram config(folder);
  ASSERT_TRUE(config.Ready());
  config.Fill(program + L" -x", program);
  config.Click(IDOK);
  const std::wstring question = config.AnswerBox(IDYES);
  EXPECT_TRUE(Contains(question, L"「" + program + L"」は、空白を含むのに")) << Utf8(question);
  EXPECT_TRUE(Contains(question, L"「" + Wide(folder / "Mail.exe") + L"」が起動されます。")) << Utf8(question);
  EXPECT_TRUE(Contains(question, L"\n" + quoted)) << Utf8(question);
  EXPECT_EQ(config.Finish(), 0u);
  EXPECT_EQ(LauncherReads(folder, "Mail"), Cp932(quoted));
}

TEST(ConfigDialog, AnEmptyFieldIsAskedAbout) {
  TempDir folder;
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  program.Fill(L"", Wide(folder / "Cunfigure.exe"));
  program.Click(IDOK);
  const std::wstring text = program.AnswerBox(IDNO);
  EXPECT_TRUE(Contains(text, L"入力されていません")) << Utf8(text);
  program.Click(IDCANCEL);
  EXPECT_EQ(program.Finish(), 1u);
  EXPECT_FALSE(testsupport::FileExists(folder / kIni));
}

TEST(ConfigDialog, BrowseFillsInTheChosenProgramAndKeepsTheArguments) {
  TempDir folder(" b");
  CopyProgram("DemoMailClient.exe", folder / "DemoMailClient.exe");
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  program.SetText(configure::kMailEditId, L"old.exe --log \"x.log\"");
  program.Click(configure::kMailBrowseId);
  HWND dialog = testsupport::WaitForProcessWindow(program.ProcessId(), "#32770", true);
  ASSERT_NE(dialog, nullptr) << "no file dialog came up";
  EXPECT_EQ(ControlText(dialog), L"メールソフトのプログラムを選択");
  // The file name field of the explorer-style dialog, then its Open button.
  const std::wstring chosen = Wide(folder / "DemoMailClient.exe");
  HWND name = GetDlgItem(dialog, 0x47C);                  // cmb13
  if (name == nullptr) name = GetDlgItem(dialog, 0x480);  // edt1
  ASSERT_NE(name, nullptr);
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(chosen.c_str()));
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 250 && IsWindow(dialog); ++i) Sleep(20);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(program.Text(configure::kMailEditId), L"\"" + chosen + L"\" --log \"x.log\"");

  program.Click(configure::kProxyBrowseId);
  dialog = testsupport::WaitForProcessWindow(program.ProcessId(), "#32770", true);
  ASSERT_NE(dialog, nullptr);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  for (int i = 0; i < 250 && IsWindow(dialog); ++i) Sleep(20);
  EXPECT_EQ(program.Text(configure::kProxyEditId), L"");
  program.Click(IDCANCEL);
  EXPECT_EQ(program.Finish(), 1u);
}

TEST(ConfigDialog, SetWritesWithoutAskingAndKeepsBlanksAndQuotes) {
  TempDir folder;
  CopyProgram("Cunfigure.exe", folder / "Cunfigure.exe");
  const testsupport::RunResult set = testsupport::RunProgram(
      "\"" + (folder / "Cunfigure.exe") + "\" /set \"  C:\\\x95\x5C\\m.exe -a \" \"\\\"C:\\p.exe\\\"\"");
  EXPECT_EQ(set.exitCode, 0u);
  EXPECT_EQ(LauncherReads(folder, "Mail"), "  C:\\\x95\x5C\\m.exe -a ");
  EXPECT_EQ(LauncherReads(folder, "Ondrel"), "\"C:\\p.exe\"");
  // A value the launcher could not read back is refused, and nothing is written.
  const std::string before = ReadFileBytes(folder / kIni);
  const testsupport::RunResult tooLong =
      testsupport::RunProgram("\"" + (folder / "Cunfigure.exe") + "\" /set " + std::string(2048, 'a') + " p.exe");
  EXPECT_EQ(tooLong.exitCode, static_cast<DWORD>(ERROR_INVALID_DATA));
  EXPECT_EQ(ReadFileBytes(folder / kIni), before);
}

TEST(ConfigDialog, SavingAsAdministratorHandsTheValuesOverUnchanged) {
  TempDir folder(" \x95\x5C");
  CopyProgram("Cunfigure.exe", folder / "Cunfigure.exe");
  // Quotes, blanks and backslashes at the ends and before quotes: what the argument rules change.
  const std::wstring mail = L"\"C:\\Program Files\\表\\client.exe\" -a \"b c\\\\\" \\";
  const std::wstring proxy = L" C:\\proxy dir\\ ";
  const configure::ElevatedResult result =
      configure::SaveElevated(nullptr, Wide(folder / "Cunfigure.exe"), mail, proxy);
  EXPECT_EQ(result.status, configure::ElevatedStatus::Saved) << result.error;
  EXPECT_EQ(LauncherReads(folder, "Mail"), Cp932(mail));
  EXPECT_EQ(LauncherReads(folder, "Ondrel"), Cp932(proxy));
}

// The elevated copy's own failure comes back as it is, not as a refusal of access.
TEST(ConfigDialog, SavingAsAdministratorGivesBackTheCopysOwnFailure) {
  TempDir folder;
  CopyProgram("Cunfigure.exe", folder / "Cunfigure.exe");
  WriteFileBytes(folder / kIni, "[Path]\r\nMail=m.exe\r\nOndrel=p.exe\r\n");
  // Another program holds the settings file open, sharing nothing.
  const framework::UniqueHandle held(
      CreateFileA((folder / kIni).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
  const configure::ElevatedResult result =
      configure::SaveElevated(nullptr, Wide(folder / "Cunfigure.exe"), L"a.exe", L"b.exe");
  EXPECT_EQ(result.status, configure::ElevatedStatus::Failed);
  EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// The real program in a folder the user cannot write into (made so by cmake/unwritable-folder.sh,
// which puts Cunfigure.exe there first and names the folder in UNWRITABLE_FOLDER).
TEST(ConfigDialogUnwritable, DISABLED_TheUserIsToldOfferedAdministratorRightsAndNothingIsWritten) {
  char path[MAX_PATH] = "";
  ASSERT_GT(GetEnvironmentVariableA("UNWRITABLE_FOLDER", path, MAX_PATH), 0u);
  const std::string folder = path;
  const std::string exe = folder + "\\Cunfigure.exe";
  ASSERT_TRUE(testsupport::FileExists(exe));
  ASSERT_EQ(CreateFileA((folder + "\\probe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  auto names = [&] {
    std::vector<std::string> found;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return found;
    do {
      if (entry.cFileName[0] != '.') found.emplace_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return found;
  };
  const std::wstring mail = Wide(BuiltProgram("DemoMailClient.exe"));
  const std::wstring proxy = Wide(BuiltProgram("DemoProxy.exe"));

  for (const int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer == IDYES ? "yes" : "no");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + exe + "\"";
    ASSERT_TRUE(
        CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    ConfigProgram program(info.dwProcessId);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    ASSERT_TRUE(program.Ready());
    program.Fill(mail, proxy);
    program.Click(IDOK);
    const std::wstring question = program.AnswerBox(answer);
    EXPECT_TRUE(Contains(question, L"書き込む権限がない")) << Utf8(question);
    EXPECT_TRUE(Contains(question, L"管理者として保存しますか")) << Utf8(question);
    if (answer == IDYES) {
      // The program started itself again for the save; here it has no more rights than before.
      const std::wstring report = program.AnswerBox(IDOK, 30000);
      EXPECT_TRUE(Contains(report, L"管理者として保存できませんでした")) << Utf8(report);
      EXPECT_TRUE(Contains(report, L"変更されていません")) << Utf8(report);
    }
    EXPECT_TRUE(program.StaysOpen()) << "the window stays open for another try";
    EXPECT_EQ(program.Text(configure::kMailEditId), mail);
    program.Click(IDCANCEL);
    EXPECT_EQ(program.Finish(), 1u);
    EXPECT_EQ(names(), std::vector<std::string>{"Cunfigure.exe"});
  }
}

// The launcher end to end: with no settings it starts the real configuration program, which saves
// them; the next start runs the whole sequence with the stand-ins.
namespace {
// Microseconds to milliseconds between two stamps of the machine-wide clock.
double Ms(long long from, long long to) { return (to - from) / 1000.0; }

framework::ProcessHandles StartLauncher(const TempDir& folder, const TempDir& elsewhere) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string commandLine = "\"" + (folder / "TolvaneLauncher.exe") + "\"";
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, elsewhere.Path().c_str(),
                      &startup, &info)) {
    ADD_FAILURE() << "cannot start the launcher";
    return framework::ProcessHandles();
  }
  return framework::ProcessHandles::Adopt(info);
}

struct ProgramSearch {
  std::wstring image;
  DWORD processId = 0;
};

BOOL CALLBACK FindConfigWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ProgramSearch*>(parameter);
  char className[32] = "";
  GetClassNameA(window, className, sizeof className);
  if (std::string(className) != "Cunfigure") return TRUE;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  framework::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  wchar_t image[MAX_PATH * 2] = L"";
  DWORD size = MAX_PATH * 2;
  if (process && QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
      lstrcmpiW(image, search->image.c_str()) == 0) {
    search->processId = processId;
    return FALSE;
  }
  return TRUE;
}

// The process of the configuration program started from a folder, once its window is up.
DWORD WaitForConfigProgram(const TempDir& folder, DWORD timeoutMs) {
  ProgramSearch search{Wide(folder / "Cunfigure.exe")};
  for (DWORD waited = 0;; waited += 50) {
    EnumWindows(FindConfigWindow, reinterpret_cast<LPARAM>(&search));
    if (search.processId != 0 || waited >= timeoutMs) break;
    Sleep(50);
  }
  return search.processId;
}

long long WaitForEnd(const framework::ProcessHandles& process, DWORD timeoutMs, DWORD& exitCode) {
  if (WaitForSingleObject(process.process.get(), timeoutMs) != WAIT_OBJECT_0) return 0;
  const long long ended = standin::NowMicroseconds();
  GetExitCodeProcess(process.process.get(), &exitCode);
  return ended;
}

const standin::LoggedEvent WaitForEvent(const std::string& log, const std::string& prefix, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
    const std::vector<standin::LoggedEvent> events = standin::ReadEventLog(log);
    if (const standin::LoggedEvent* event = standin::FindEvent(events, prefix)) return *event;
    Sleep(20);
  }
  return standin::LoggedEvent{};
}

// A running process of the program at path other than the one given; 0 when none.
DWORD OtherProcessOf(const std::string& path, DWORD notThis) {
  for (DWORD id : processwindows::ProcessesOf(path)) {
    if (id != notThis) return id;
  }
  return 0;
}

void EndProcess(DWORD processId) {
  framework::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  if (process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 2000);
  }
}

void EndLoggedProcesses(const std::string& log) {
  for (const standin::LoggedEvent& event : standin::ReadEventLog(log)) EndProcess(event.processId);
}
// The launcher, Cunfigure.exe and the stand-ins in a folder; the launchers still running from there
// and the stand-ins that logged there are ended with the object.
class StandInInstallation {
 public:
  explicit StandInInstallation(const TempDir& folder) : folder_(folder) {
    for (const char* program : {"TolvaneLauncher.exe", "Cunfigure.exe", "DemoMailClient.exe", "DemoProxy.exe"}) {
      CopyProgram(program, folder / program);
    }
  }
  ~StandInInstallation() {
    for (const DWORD id : processwindows::ProcessesOf(folder_ / "TolvaneLauncher.exe")) EndProcess(id);
    EndLoggedProcesses(folder_ / "mail.log");
    EndLoggedProcesses(folder_ / "DemoProxy.log");
  }
  StandInInstallation(const StandInInstallation&) = delete;
  StandInInstallation& operator=(const StandInInstallation&) = delete;

 private:
  const TempDir& folder_;
};
}  // namespace

TEST(ConfigDialogEndToEnd, AFirstRunGoesFromTheSettingsWindowStraightOnToTheSequence) {
  TempDir folder(" \x95\x5C");
  TempDir elsewhere;
  const StandInInstallation installation(folder);

  // First start: no settings file, so the configuration program, which offers to start the
  // launcher once saved (on, for a first run) and leaves the sign-in start off.
  const long long firstStarted = standin::NowMicroseconds();
  framework::ProcessHandles first = StartLauncher(folder, elsewhere);
  ASSERT_TRUE(first.process);
  const DWORD configId = WaitForConfigProgram(folder, 10000);
  ASSERT_NE(configId, 0u) << "the launcher did not start the configuration program";
  long long saved = 0;  // when OK was pressed: nothing the save starts can come before it
  {
    ConfigProgram program(configId);
    ASSERT_TRUE(program.Ready());
    EXPECT_EQ(IsDlgButtonChecked(program.Window(), configure::kStartNowId), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(program.Window(), configure::kSignInId), static_cast<UINT>(BST_UNCHECKED));
    program.Fill(L"\"" + Wide(folder / "DemoMailClient.exe") + L"\" --log \"" + Wide(folder / "mail.log") +
                     L"\" --close-after 2500 --exit 3",
                 Wide(folder / "DemoProxy.exe"));
    saved = standin::NowMicroseconds();
    program.Click(IDOK);
    EXPECT_EQ(program.Finish(), 0u);
  }

  // The launcher the configuration program started runs the whole sequence, while the first one
  // closes as it always has, 5 s after it started the configuration program.
  const standin::LoggedEvent proxyStarted = WaitForEvent(folder / "DemoProxy.log", "started", 10000);
  ASSERT_NE(proxyStarted.processId, 0u) << "no launcher started the proxy after the save";
  EXPECT_GT(proxyStarted.us, saved) << "the proxy was started by the launcher the save started";
  framework::UniqueHandle proxy(OpenProcess(SYNCHRONIZE, FALSE, proxyStarted.processId));
  framework::ProcessHandles second;
  second.processId = OtherProcessOf(folder / "TolvaneLauncher.exe", first.processId);
  second.process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, second.processId));
  ASSERT_TRUE(second.process) << "no second launcher runs";
  DWORD firstExit = kNoExit;
  const long long firstEnded = WaitForEnd(first, 15000, firstExit);
  ASSERT_NE(firstEnded, 0) << "the first launcher did not end";
  EXPECT_EQ(firstExit, 0u);
  EXPECT_GE(Ms(firstStarted, firstEnded), 4900.0);
  const standin::LoggedEvent clientEnded = WaitForEvent(folder / "mail.log", "ended with exit code", 10000);
  ASSERT_NE(clientEnded.processId, 0u) << "the client did not run to its end";
  const std::vector<standin::LoggedEvent> mail = standin::ReadEventLog(folder / "mail.log");
  const standin::LoggedEvent* clientStarted = standin::FindEvent(mail, "started");
  ASSERT_NE(clientStarted, nullptr);
  EXPECT_LT(proxyStarted.us, clientStarted->us) << "the proxy starts before the client";
  ASSERT_TRUE(proxy);
  EXPECT_EQ(WaitForSingleObject(proxy.get(), 2000), WAIT_OBJECT_0) << "the proxy was not terminated";
  DWORD secondExit = kNoExit;
  const long long secondEnded = WaitForEnd(second, 10000, secondExit);
  ASSERT_NE(secondEnded, 0) << "the second launcher did not end";
  EXPECT_EQ(secondExit, 0u);
  EXPECT_GE(Ms(clientEnded.us, secondEnded), 4900.0);
  EXPECT_LE(Ms(clientEnded.us, secondEnded), 6000.0);
  EXPECT_EQ(WaitForConfigProgram(folder, 0), 0u) << "the second start ran the configuration program";
}

// The proxy cannot start, and the launcher says so; the user clicks the notice, corrects the path
// and saves, the box that starts the launcher ticked for them. The launcher the save starts gives
// the mail still open its proxy: the command's copy hands over to the open client, and that
// client is followed to its end.
TEST(ConfigDialogEndToEnd, ANoticesClickThenASaveGivesTheOpenMailItsProxy) {
  const testsupport::StandInShell shell(testsupport::StandInShell::Answer::Accept);
  TempDir folder;
  TempDir elsewhere;
  const StandInInstallation installation(folder);
  const std::string mail =
      "\"" + (folder / "DemoMailClient.exe") + "\" --log \"" + (folder / "mail.log") + "\" --single --close-after " +
      std::to_string(static_cast<long>(testsupport::TimeBound(9000)));
  testsupport::WriteFileBytes(folder / kIni,
                              "[Path]\r\nMail=" + mail + "\r\nOndrel=" + (folder / "moved\\DemoProxy.exe") + "\r\n");
  framework::ProcessHandles first = StartLauncher(folder, elsewhere);
  const std::vector<testsupport::StandInShell::Request> notices = shell.WaitForNotices(1, 8000);
  ASSERT_EQ(notices.size(), 1u) << "the proxy that cannot start was not told of";
  const standin::LoggedEvent client = WaitForEvent(folder / "mail.log", "window", 10000);
  ASSERT_NE(client.processId, 0u);
  shell.ReportOnNotice(notices[0], NIN_BALLOONUSERCLICK);

  const DWORD configId = WaitForConfigProgram(folder, 10000);
  ASSERT_NE(configId, 0u) << "the click did not open the settings";
  {
    ConfigProgram program(configId);
    ASSERT_TRUE(program.Ready());
    EXPECT_EQ(IsDlgButtonChecked(program.Window(), configure::kStartNowId), static_cast<UINT>(BST_CHECKED));
    program.Fill(Wide(mail), Wide(folder / "DemoProxy.exe"));
    program.Click(IDOK);
    EXPECT_EQ(program.Finish(), 0u);
  }
  const standin::LoggedEvent proxyStarted = WaitForEvent(folder / "DemoProxy.log", "started", 10000);
  ASSERT_NE(proxyStarted.processId, 0u) << "no launcher started the proxy after the save";
  framework::ProcessHandles second;
  second.processId = OtherProcessOf(folder / "TolvaneLauncher.exe", first.processId);
  second.process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, second.processId));
  ASSERT_TRUE(second.process) << "no second launcher runs";
  framework::UniqueHandle proxy(OpenProcess(SYNCHRONIZE, FALSE, proxyStarted.processId));
  ASSERT_TRUE(proxy);
  EXPECT_NE(WaitForEvent(folder / "mail.log", "handed over", 10000).processId, 0u);

  // The open client's end ends the proxy, and the second launcher 5 s later.
  framework::UniqueHandle open(OpenProcess(SYNCHRONIZE, FALSE, client.processId));
  HANDLE ends[2] = {open.get(), proxy.get()};
  ASSERT_EQ(WaitForMultipleObjects(2, ends, FALSE, 15000), WAIT_OBJECT_0) << "the proxy was ended before the mail";
  const long long clientEnded = standin::NowMicroseconds();
  EXPECT_EQ(WaitForSingleObject(proxy.get(), 2000), WAIT_OBJECT_0) << "the proxy was not ended with the mail";
  DWORD secondExit = kNoExit;
  const long long secondEnded = WaitForEnd(second, 10000, secondExit);
  ASSERT_NE(secondEnded, 0) << "the second launcher did not end";
  EXPECT_EQ(secondExit, 0u);
  EXPECT_GE(Ms(clientEnded, secondEnded), 4800.0);
}

TEST(ConfigDialog, UnderCodePage1252TheTextsAndTheSavedBytesStayJapanese) {
  // Wine takes a program's ANSI code page from the Unix locale it starts with, which only a program
  // started from the Unix side gets: the Wine loader is run through env with another locale.
  char loader[MAX_PATH] = "";
  if (GetEnvironmentVariableA("WINELOADER", loader, sizeof loader) == 0) GTEST_SKIP() << "runs under Wine only";
  TempDir folder;
  CopyProgram("Cunfigure.exe", folder / "Cunfigure.exe");
  WriteFileBytes(folder / kIni, "[Path]\r\nMail=m.exe\r\nOndrel=C:\\\x95\x5C\\\x83\x4C.exe\r\n");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string commandLine =
      "Z:\\usr\\bin\\env LC_ALL=en_US.UTF-8 " + std::string(loader) + " " + (folder / "Cunfigure.exe");
  ASSERT_TRUE(
      CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  framework::ProcessHandles starter = framework::ProcessHandles::Adopt(info);
  const DWORD processId = WaitForConfigProgram(folder, 15000);
  ASSERT_NE(processId, 0u) << "the configuration program did not come up";
  const std::wstring mail = L"C:\\メール\\表示.exe /キ";
  {
    ConfigProgram program(processId);
    ASSERT_TRUE(program.Ready());
    // The file's code page 932 bytes are shown as the Japanese they are, not as code page 1252.
    EXPECT_EQ(program.Text(configure::kProxyEditId), L"C:\\表\\キ.exe");
    EXPECT_EQ(ControlText(GetDlgItem(program.Window(), IDCANCEL)), L"キャンセル");
    program.Fill(mail, L"C:\\表\\キ2.exe");
    EXPECT_EQ(program.SaveAnyway(), 0u);
  }
  EXPECT_EQ(ReadFileBytes(folder / kIni), "[Path]\r\nMail=" + Cp932(mail) +
                                              "\r\nOndrel=C:\\\x95\x5C\\\x83\x4C"
                                              "2.exe\r\n");
  WaitForSingleObject(starter.process.get(), 5000);
}

// An exception in the window's handling never reaches the system's code (a 32-bit program could not
// unwind through it): it is shown in the program's message box, and the message counts as handled.
TEST(ConfigDialog, AnExceptionInTheWindowIsShownInItsMessageBox) {
  LRESULT result = -1;
  std::thread handler([&] {
    result = configure::ConfigDialog::Guarded(nullptr, []() -> LRESULT { throw std::runtime_error("disk full"); });
  });
  HWND box = testsupport::WaitForProcessWindow(GetCurrentProcessId(), "#32770", true, 5000);
  ASSERT_NE(box, nullptr) << "no message box";
  const std::wstring text = Answer(box, IDOK);
  handler.join();
  EXPECT_EQ(result, 0);
  EXPECT_NE(text.find(L"エラー"), std::wstring::npos);
  EXPECT_NE(text.find(L"disk full"), std::wstring::npos);
  EXPECT_EQ(configure::ConfigDialog::Guarded(nullptr, [] { return LRESULT{7}; }), 7);
}

// The window as a native dialog: its layout, font, icons and place at a display scale. Run as a child
// (this program has Cunfigure.exe's manifest and icon), with the window in this process so its font
// can be measured; prints what the parent compares between scales.
TEST(ConfigDialogAtScale, DISABLED_NothingIsClippedAndTheWindowIsCentredWithItsIcons) {
  const auto dpiForWindow = framework::User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const auto metricForDpi = framework::User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  ASSERT_TRUE(dpiForWindow != nullptr && metricForDpi != nullptr);

  TempDir folder;
  configure::ConfigDialog dialog(Wide(folder / kIni));
  std::thread inspector([&] {
    HWND window = testsupport::WaitForProcessWindow(GetCurrentProcessId(), "Cunfigure", true, 10000);
    if (window == nullptr) {
      ADD_FAILURE() << "no window";
      return;
    }
    Sleep(200);
    const int dpi = static_cast<int>(dpiForWindow(window));
    std::printf("dpi %d.\n", dpi);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_NEAR(client.right, MulDiv(538, dpi, 96), 1);
    EXPECT_NEAR(client.bottom, MulDiv(214, dpi, 96), 1);

    // Every control inside the window, none over another, every text within its control.
    std::vector<RECT> placed;
    for (HWND control = GetWindow(window, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
      RECT rect;
      GetWindowRect(control, &rect);
      MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
      EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom);
      for (const RECT& other : placed) {
        RECT overlap;
        EXPECT_FALSE(IntersectRect(&overlap, &rect, &other)) << GetDlgCtrlID(control);
      }
      placed.push_back(rect);

      std::wstring text = ControlText(control);
      std::erase(text, L'&');
      HDC dc = GetDC(control);
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
      SIZE extent{};
      GetTextExtentPoint32W(dc, text.empty() ? L"Ag" : text.c_str(), static_cast<int>(text.empty() ? 2 : text.size()),
                            &extent);
      ReleaseDC(control, dc);
      const int id = GetDlgCtrlID(control);
      const bool edit = id == configure::kMailEditId || id == configure::kProxyEditId;
      const bool label = id == configure::kMailLabelId || id == configure::kProxyLabelId;
      // An edit's text and a button's caption need room for their borders.
      EXPECT_LE(extent.cy + (label ? 0 : 4), rect.bottom - rect.top) << id;
      if (!edit) {
        EXPECT_LE(extent.cx + (label ? 0 : 8), rect.right - rect.left) << id;
      }
      if (id == configure::kMailLabelId) std::printf("label width %ld.\n", extent.cx);
    }
    EXPECT_EQ(placed.size(), 10u);

    // Centred on the monitor's work area.
    RECT frame;
    GetWindowRect(window, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    EXPECT_NEAR(frame.left + frame.right, monitor.rcWork.left + monitor.rcWork.right, 2);
    EXPECT_NEAR(frame.top + frame.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 2);

    // The product's icon for the title bar and for Alt+Tab, each drawn for this scale.
    for (const auto& [which, metric] : {std::pair{ICON_SMALL, SM_CXSMICON}, std::pair{ICON_BIG, SM_CXICON}}) {
      const HICON icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, which, 0));
      ICONINFO info{};
      ASSERT_TRUE(icon != nullptr && GetIconInfo(icon, &info)) << which;
      BITMAP bitmap{};
      GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
      EXPECT_EQ(bitmap.bmWidth, metricForDpi(metric, static_cast<UINT>(dpi))) << which;
    }
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_FALSE(dialog.Run(GetModuleHandleW(nullptr), SW_SHOWNORMAL));
  inspector.join();
}

TEST(ConfigDialog, AtEachDisplayScaleItIsLaidOutForItWithNothingClipped) {
  int labelWidth[2] = {0, 0};
  for (const int dpi : {96, 144}) {
    testsupport::ScopedLogPixels scale(dpi);
    const testsupport::RunResult run =
        testsupport::RunProgram('"' + BuiltProgram("configure_tests.exe") +
                                "\" --gtest_also_run_disabled_tests --gtest_filter=ConfigDialogAtScale.DISABLED_*");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("dpi " + std::to_string(dpi) + "."), std::string::npos) << run.output;
    const size_t label = run.output.find("label width ");
    ASSERT_NE(label, std::string::npos) << run.output;
    labelWidth[dpi == 144] = std::atoi(run.output.c_str() + label + 12);
  }
  // The font grows with the scale.
  EXPECT_NEAR(labelWidth[1], labelWidth[0] * 1.5, labelWidth[0] * 0.15);
}

TEST(ConfigDialog, TabGoesThroughTheFieldsInReadingOrder) {
  TempDir folder;
  CopyProgram("TolvaneLauncher.exe", folder / "TolvaneLauncher.exe");  // so the check boxes are offered
  ConfigProgram program(folder);
  ASSERT_TRUE(program.Ready());
  HWND window = program.Window();
  const int order[] = {configure::kMailEditId,
                       configure::kMailBrowseId,
                       configure::kProxyEditId,
                       configure::kProxyBrowseId,
                       configure::kStartNowId,
                       configure::kSignInId,
                       IDOK,
                       IDCANCEL,
                       configure::kMailEditId};
  HWND control = GetDlgItem(window, order[0]);
  for (size_t i = 1; i < std::size(order); ++i) {
    control = GetNextDlgTabItem(window, control, FALSE);
    EXPECT_EQ(GetDlgCtrlID(control), order[i]) << i;
  }
  program.Click(IDCANCEL);
  EXPECT_EQ(program.Finish(), 1u);
}

namespace {
// Keeps the user's Run value as it was before a test, and puts it back after.
class SavedSignInValue {
 public:
  SavedSignInValue() : value_(configure::SignInValue()) {}
  ~SavedSignInValue() {
    DWORD error = ERROR_SUCCESS;
    if (value_.empty()) {
      configure::RemoveSignInStart(error);
    } else {
      RegSetKeyValueW(HKEY_CURRENT_USER, configure::kRunKey, configure::kRunValueName, REG_SZ, value_.c_str(),
                      static_cast<DWORD>((value_.size() + 1) * sizeof(wchar_t)));
    }
  }
  SavedSignInValue(const SavedSignInValue&) = delete;
  SavedSignInValue& operator=(const SavedSignInValue&) = delete;

 private:
  std::wstring value_;
};

bool MachineWideRunValueExists() {
  for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, configure::kRunKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
      continue;
    }
    const bool found =
        RegQueryValueExW(key, configure::kRunValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (found) return true;
  }
  return false;
}

void SetRunValue(const std::wstring& data) {
  RegSetKeyValueW(HKEY_CURRENT_USER, configure::kRunKey, configure::kRunValueName, REG_SZ, data.c_str(),
                  static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}
}  // namespace

TEST(SignInStart, TheValueIsTheQuotedPathInTheUsersOwnRunKeyOnly) {
  SavedSignInValue saved;
  const std::wstring launcher = L"C:\\Program Files\\表 Tolvane\\TolvaneLauncher.exe";
  DWORD error = ERROR_SUCCESS;
  ASSERT_TRUE(configure::SetSignInStart(launcher, error)) << error;
  EXPECT_EQ(configure::SignInValue(), L"\"" + launcher + L"\"");
  EXPECT_TRUE(configure::StartsAtSignIn(configure::SignInValue(), launcher));
  EXPECT_TRUE(configure::StartsAtSignIn(L"c:\\program files\\表 tolvane\\tolvanelauncher.exe", launcher));
  EXPECT_FALSE(configure::StartsAtSignIn(L"\"D:\\Other\\TolvaneLauncher.exe\"", launcher));
  EXPECT_FALSE(MachineWideRunValueExists());
  ASSERT_TRUE(configure::RemoveSignInStart(error)) << error;
  EXPECT_EQ(configure::SignInValue(), L"");
  EXPECT_TRUE(configure::RemoveSignInStart(error)) << "removing what is not there is no failure";
}

namespace {
// A process's entry in a snapshot of the processes (empty when there is none).
PROCESSENTRY32 ProcessEntry(DWORD processId) {
  const framework::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == processId) return entry;
  }
  return PROCESSENTRY32{};
}
}  // namespace

// Run with more rights than the desktop's shell (elevated by the system's prompt, or as another
// account), the configuration program leaves the signed-in user's Run value alone and says so, and
// has the shell start the launcher, which then runs as the signed-in user.
TEST(SignInStart, WithoutTheSignedInUsersRightsTheValueStaysAndTheShellStartsTheLauncher) {
  SavedSignInValue saved;
  DWORD error = ERROR_SUCCESS;
  configure::RemoveSignInStart(error);
  TempDir folder;
  const StandInInstallation installation(folder);
  WriteFileBytes(folder / kIni, "[Path]\r\nMail=\"" + (folder / "DemoMailClient.exe") + "\" --log \"" +
                                    (folder / "mail.log") + "\" --close-after 1000\r\nOndrel=" +
                                    (folder / "DemoProxy.exe") + "\r\n");
  std::vector<std::wstring> told;
  configure::ApplyLauncherChoices(
      {true, true}, Wide(folder / "TolvaneLauncher.exe"), L"", [](const std::wstring&) { return true; },
      [&told](const std::wstring& warning) { told.push_back(warning); }, false);
  EXPECT_EQ(configure::SignInValue(), L"") << "the Run value was written";
  ASSERT_EQ(told.size(), 1u);
  EXPECT_TRUE(Contains(told[0], L"管理者として")) << Utf8(told[0]);
  DWORD launcher = 0;
  ASSERT_TRUE(testsupport::PumpUntil(
      [&] {
        const std::vector<DWORD> running = processwindows::ProcessesOf(folder / "TolvaneLauncher.exe");
        return (launcher = running.empty() ? 0 : running[0]) != 0;
      },
      10000))
      << "the launcher was not started";
  const std::string parent = ProcessEntry(ProcessEntry(launcher).th32ParentProcessID).szExeFile;
  EXPECT_EQ(lstrcmpiA(parent.c_str(), "explorer.exe"), 0) << "started by " << parent << ", not by the shell";
}

TEST(ConfigDialog, TheSignInBoxAddsAndRemovesTheValueAndReplacesAnotherCopysOnlyWhenTold) {
  SavedSignInValue saved;
  DWORD error = ERROR_SUCCESS;
  configure::RemoveSignInStart(error);
  TempDir folder;
  CopyProgram("TolvaneLauncher.exe", folder / "TolvaneLauncher.exe");
  WriteFileBytes(folder / kIni, "[Path]\r\nMail=m.exe\r\nOndrel=p.exe\r\n");  // no first run: no start now
  const std::wstring ours = L"\"" + Wide(folder / "TolvaneLauncher.exe") + L"\"";
  const std::wstring elsewhere = L"\"D:\\Other\\TolvaneLauncher.exe\"";
  // Opens the window, sets the box, saves (answering the warning about the programs it cannot
  // find), and answers the question about another copy's value when one is expected.
  auto openAndSave = [&](bool check, int answer) {
    ConfigProgram program(folder);
    ASSERT_TRUE(program.Ready());
    EXPECT_EQ(IsDlgButtonChecked(program.Window(), configure::kStartNowId), static_cast<UINT>(BST_UNCHECKED));
    if ((IsDlgButtonChecked(program.Window(), configure::kSignInId) == BST_CHECKED) != check) {
      SendMessageW(GetDlgItem(program.Window(), configure::kSignInId), BM_CLICK, 0, 0);
    }
    program.Click(IDOK);
    EXPECT_TRUE(Contains(program.AnswerBox(IDYES), L"見つかりません"));
    if (answer != 0) {
      const std::wstring question = program.AnswerBox(answer);
      EXPECT_TRUE(Contains(question, L"置き換えますか")) << Utf8(question);
    }
    EXPECT_EQ(program.Finish(), 0u);
  };
  auto shown = [&](bool checked, bool noteElsewhere) {
    ConfigProgram program(folder);
    ASSERT_TRUE(program.Ready());
    EXPECT_EQ(IsDlgButtonChecked(program.Window(), configure::kSignInId) == BST_CHECKED, checked);
    EXPECT_EQ(Contains(program.Text(configure::kSignInId), L"別の場所"), noteElsewhere);
    program.Click(IDCANCEL);
    EXPECT_EQ(program.Finish(), 1u);
  };

  shown(false, false);
  openAndSave(true, 0);
  EXPECT_EQ(configure::SignInValue(), ours);
  shown(true, false);
  openAndSave(false, 0);
  EXPECT_EQ(configure::SignInValue(), L"");

  // Another copy's value: shown, kept by an unchecked box and by a No, replaced by a Yes.
  SetRunValue(elsewhere);
  shown(false, true);
  openAndSave(false, 0);
  EXPECT_EQ(configure::SignInValue(), elsewhere);
  openAndSave(true, IDNO);
  EXPECT_EQ(configure::SignInValue(), elsewhere);
  openAndSave(true, IDYES);
  EXPECT_EQ(configure::SignInValue(), ours);
  EXPECT_FALSE(MachineWideRunValueExists());
}

TEST(ConfigDialogEndToEnd, SetWithStartSavesThenStartsTheLauncherBesideIt) {
  TempDir folder;
  const StandInInstallation installation(folder);
  const std::string mail =
      "\\\"" + (folder / "DemoMailClient.exe") + "\\\" --log \\\"" + (folder / "mail.log") + "\\\" --close-after 1000";
  const testsupport::RunResult set = testsupport::RunProgram("\"" + (folder / "Cunfigure.exe") + "\" /set \"" + mail +
                                                             "\" \"" + (folder / "DemoProxy.exe") + "\" /start");
  EXPECT_EQ(set.exitCode, 0u);
  EXPECT_NE(WaitForEvent(folder / "DemoProxy.log", "started", 10000).processId, 0u) << "the launcher did not run";
  EXPECT_NE(WaitForEvent(folder / "mail.log", "ended with exit code", 10000).processId, 0u);
  // Without a launcher beside it, the values are saved and the start is reported as not done.
  TempDir alone;
  CopyProgram("Cunfigure.exe", alone / "Cunfigure.exe");
  EXPECT_EQ(testsupport::RunProgram("\"" + (alone / "Cunfigure.exe") + "\" /set m.exe p.exe /start").exitCode,
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(LauncherReads(alone, "Mail"), "m.exe");
}

namespace {
// Whether a file can be made in a folder.
bool Writable(const TempDir& folder) {
  const framework::UniqueHandle probe(CreateFileA((folder / "probe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                  FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return probe.get() != INVALID_HANDLE_VALUE;
}

// A folder the user cannot create files in, as one under Program Files, until Unlock() or the end of
// the scope. Root writes anywhere, so for root the folder is made immutable instead of read-only.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const TempDir& folder) : folder_(folder) {
    locked_ = Change("chattr +i . 2>/dev/null || chmod 555 .", false);
  }
  ~UnwritableFolder() { Unlock(); }
  UnwritableFolder(const UnwritableFolder&) = delete;
  UnwritableFolder& operator=(const UnwritableFolder&) = delete;

  // False where neither way works (a file system without the immutable flag, say).
  bool Locked() const { return locked_; }
  void Unlock() {
    if (std::exchange(locked_, false)) {
      EXPECT_TRUE(Change("chattr -i . 2>/dev/null; chmod 755 .", true)) << "the folder stays unwritable";
    }
  }

 private:
  // Runs a command of the Unix side in the folder and waits until the folder is writable or not as
  // asked. Wine starts Unix programs, but hands back no process to wait for.
  bool Change(const std::string& shellCommand, bool writable) const {
    DWORD error = ERROR_SUCCESS;
    const framework::ProcessHandles unixProgram =  // only closed
        processwindows::StartProgram("Z:\\bin\\sh -c \"" + shellCommand + "\"", folder_.Path(), error);
    if (error != ERROR_SUCCESS) return false;  // a Unix program started gives no process handle
    for (DWORD waited = 0; waited < 5000; waited += 20) {
      if (Writable(folder_) == writable) return true;
      Sleep(20);
    }
    return false;
  }

  const TempDir& folder_;
  bool locked_ = false;
};

// Starts a program as its debugger, and so as the debugger of every program it starts in turn, and
// holds the first of those before it runs any code of its own until Release(). The debug events are
// answered on a thread of the object's own, the one that started the program, as they must be.
class FirstChildHeld {
 public:
  explicit FirstChildHeld(const std::string& commandLine) : thread_([this, commandLine] { Debug(commandLine); }) {
    WaitForSingleObject(started_.get(), 10000);
  }
  ~FirstChildHeld() {
    Release();
    stop_ = true;
    thread_.join();
  }
  FirstChildHeld(const FirstChildHeld&) = delete;
  FirstChildHeld& operator=(const FirstChildHeld&) = delete;

  // The program started; 0 when it did not start.
  DWORD ProcessId() const { return processId_; }
  // True once the first program it starts is there and held.
  bool WaitUntilHeld(DWORD timeoutMs) const { return WaitForSingleObject(held_.get(), timeoutMs) == WAIT_OBJECT_0; }
  void Release() { release_ = true; }

 private:
  void Debug(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr, nullptr, &startup,
                        &info)) {
      ADD_FAILURE() << "cannot start " << commandLine;
      SetEvent(started_.get());
      return;
    }
    const framework::ProcessHandles started = framework::ProcessHandles::Adopt(info);
    DebugSetProcessKillOnExit(FALSE);  // the programs outlive this thread
    processId_ = started.processId;
    SetEvent(started_.get());

    std::vector<DWORD> debugged;
    DEBUG_EVENT heldEvent{};  // the first child's start, answered on release
    while (!stop_) {
      if (heldEvent.dwProcessId != 0 && release_) {
        ContinueDebugEvent(heldEvent.dwProcessId, heldEvent.dwThreadId, DBG_CONTINUE);
        heldEvent.dwProcessId = 0;
      }
      DEBUG_EVENT event{};
      if (!WaitForDebugEvent(&event, 20)) continue;
      DWORD answer = DBG_CONTINUE;
      switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
          if (event.u.CreateProcessInfo.hFile != nullptr) CloseHandle(event.u.CreateProcessInfo.hFile);
          debugged.push_back(event.dwProcessId);
          if (event.dwProcessId != processId_ && WaitForSingleObject(held_.get(), 0) == WAIT_TIMEOUT) {
            heldEvent = event;  // events of the other programs go on meanwhile
            SetEvent(held_.get());
            continue;
          }
          break;
        case LOAD_DLL_DEBUG_EVENT:
          if (event.u.LoadDll.hFile != nullptr) CloseHandle(event.u.LoadDll.hFile);
          break;
        case EXCEPTION_DEBUG_EVENT:
          // The loader's breakpoint is the debugger's; every other exception is the program's own.
          if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
            answer = DBG_EXCEPTION_NOT_HANDLED;
          }
          break;
        case EXIT_PROCESS_DEBUG_EVENT:
          std::erase(debugged, event.dwProcessId);
          break;
      }
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
    }
    if (heldEvent.dwProcessId != 0) ContinueDebugEvent(heldEvent.dwProcessId, heldEvent.dwThreadId, DBG_CONTINUE);
    for (const DWORD id : debugged) DebugActiveProcessStop(id);
  }

  framework::UniqueHandle started_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  framework::UniqueHandle held_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<bool> release_{false};
  std::atomic<bool> stop_{false};
  std::atomic<DWORD> processId_{0};
  std::thread thread_;
};
}  // namespace

// Closing the window while the copy started to save as administrator runs neither closes it nor
// loses its check boxes: once saved, the sign-in start that was ours stays and the launcher starts.
TEST(ConfigDialogEndToEnd, ClosingTheWindowWhileSavingAsAdministratorKeepsItsLauncherChoices) {
  SavedSignInValue savedRunValue;
  TempDir folder;
  const StandInInstallation installation(folder);
  const std::wstring ours = L"\"" + Wide(folder / "TolvaneLauncher.exe") + L"\"";
  SetRunValue(ours);
  UnwritableFolder unwritable(folder);
  if (!unwritable.Locked()) GTEST_SKIP() << "cannot make a folder unwritable here";

  FirstChildHeld held("\"" + (folder / "Cunfigure.exe") + "\"");
  ConfigProgram program(held.ProcessId());
  ASSERT_TRUE(program.Ready());
  // A first run, with the sign-in start ours: both boxes on.
  EXPECT_EQ(IsDlgButtonChecked(program.Window(), configure::kStartNowId), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(program.Window(), configure::kSignInId), static_cast<UINT>(BST_CHECKED));
  const std::wstring mail =
      L"\"" + Wide(folder / "DemoMailClient.exe") + L"\" --log \"" + Wide(folder / "mail.log") + L"\"";
  program.Fill(mail, Wide(folder / "DemoProxy.exe"));
  program.Click(IDOK);
  const std::wstring question = program.AnswerBox(IDYES);
  EXPECT_TRUE(Contains(question, L"管理者として保存しますか")) << Utf8(question);
  ASSERT_TRUE(held.WaitUntilHeld(10000)) << "the copy that saves as administrator did not start";

  // The user closes the window while the copy runs.
  EXPECT_FALSE(IsWindowEnabled(program.Window())) << "the window takes no input meanwhile";
  PostMessageW(program.Window(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.StaysOpen());
  unwritable.Unlock();
  held.Release();
  EXPECT_EQ(program.Finish(), 0u);
  EXPECT_EQ(LauncherReads(folder, "Mail"), Cp932(mail));
  EXPECT_EQ(configure::SignInValue(), ours);
  EXPECT_NE(WaitForEvent(folder / "DemoProxy.log", "started", 10000).processId, 0u) << "the launcher did not start";
}
