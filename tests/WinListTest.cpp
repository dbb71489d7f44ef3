// The window list on real top-level windows: windows of this process, of a child process and of a
// desktop of the test's own. Other programs' windows share the desktop, so the tests look at their
// own windows only, except on the private desktop where nothing else lives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/FormText.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "framework/Paths.h"
#include "tests/LaunchTestSupport.h"
#include "tests/TestSupport.h"
#include "winlist/ProcessCalls.h"
#include "winlist/WinList.h"

using winlist::TFind_ID;
using winlist::TWinInfo;
using winlist::TWinList;

namespace {

constexpr const char* kClassName = testsupport::Windows::kClassName;
constexpr DWORD kPopupStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
using testsupport::Windows;

std::vector<HWND> Listed(const TWinList& list) {
  std::vector<HWND> handles;
  for (int i = 0; i < list.WindowList().Count(); ++i) handles.push_back(list.WindowHandle(i));
  return handles;
}

int IndexOf(const TWinList& list, HWND window) {
  const std::vector<HWND> handles = Listed(list);
  const auto found = std::find(handles.begin(), handles.end(), window);
  return found == handles.end() ? -1 : static_cast<int>(found - handles.begin());
}

bool IsListed(const TWinList& list, HWND window) { return IndexOf(list, window) >= 0; }

const TWinInfo& InfoOf(const TWinList& list, HWND window) {
  const int index = IndexOf(list, window);
  if (index < 0) throw std::runtime_error("window not listed");
  return static_cast<const TWinInfo&>(*list.WindowList().Objects(index));
}

DWORD Long(HWND window, int index) { return static_cast<DWORD>(GetWindowLongA(window, index)); }

std::string Title(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Runs body on a thread of a desktop made for the test, where no other program has windows.
void OnPrivateDesktop(const std::function<void()>& body) {
  const std::string name = "winlist_test_" + std::to_string(GetCurrentProcessId());
  HDESK desktop = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  ASSERT_NE(desktop, nullptr);
  std::thread([&] {
    ASSERT_TRUE(SetThreadDesktop(desktop));
    body();
  }).join();
  CloseDesktop(desktop);
}

// A TestChild.exe (or a copy of it under another name) with windows of its own, ended with the object.
class ChildProcess : public processwindows::StayingProgram {
 public:
  explicit ChildProcess(const std::string& options,
                        const std::string& program = testsupport::BuiltProgram("TestChild.exe"))
      : StayingProgram(program, options, 10000) {
    EXPECT_TRUE(Ready()) << Describe();
  }
};

BOOL CALLBACK AppendWindow(HWND window, LPARAM windows) {
  reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  return TRUE;
}

std::string Unique(const std::string& title) { return title + " " + std::to_string(GetCurrentProcessId()); }

}  // namespace

// ---- the three gates ----

TEST(WinListGates, WithTheDefaultsOnlyTitledVisibleUnownedWindowsAreListed) {
  Windows windows;
  HWND plain = windows.Make("plain");
  HWND owned = windows.Make("owned", WS_OVERLAPPEDWINDOW, true, plain);
  HWND hidden = windows.Make("hidden", WS_OVERLAPPEDWINDOW, false);
  HWND untitled = windows.Make("");
  TWinList list(nullptr);
  list.Refresh();
  EXPECT_TRUE(IsListed(list, plain));
  EXPECT_FALSE(IsListed(list, owned));
  EXPECT_FALSE(IsListed(list, hidden));
  EXPECT_FALSE(IsListed(list, untitled));
  EXPECT_EQ(list.WindowList().Strings(IndexOf(list, plain)), "plain");
  for (HWND listed : Listed(list)) EXPECT_EQ(InfoOf(list, listed).ParentName, "Desktop");
}

TEST(WinListGates, APopupNeedsSysMenuAndMinimizeBoxAndMustNotBeDisabled) {
  Windows windows;
  HWND good = windows.Make("good popup", kPopupStyle);
  HWND noSysMenu = windows.Make("no sysmenu", kPopupStyle & ~WS_SYSMENU);
  HWND noMinimize = windows.Make("no minimize box", kPopupStyle & ~WS_MINIMIZEBOX);
  HWND disabled = windows.Make("disabled", kPopupStyle | WS_DISABLED);
  // Without WS_POPUP the other bits do not matter.
  HWND bare = windows.Make("bare overlapped", WS_OVERLAPPED | WS_DISABLED);
  TWinList list(nullptr);
  list.Refresh();
  EXPECT_TRUE(IsListed(list, good));
  EXPECT_FALSE(IsListed(list, noSysMenu));
  EXPECT_FALSE(IsListed(list, noMinimize));
  EXPECT_FALSE(IsListed(list, disabled));
  EXPECT_TRUE(IsListed(list, bare));
  EXPECT_TRUE(TWinList::IsTaskBarStyle(good));
  EXPECT_FALSE(TWinList::IsTaskBarStyle(disabled));
}

TEST(WinListGates, APopupOfOtherStyleCountsThroughItsLastActivePopup) {
  Windows windows;
  HWND helped = windows.Make("helped popup", kPopupStyle & ~WS_SYSMENU);
  HWND helper = windows.Make("taskbar-style helper", WS_OVERLAPPEDWINDOW, false, helped);
  HWND unhelped = windows.Make("unhelped popup", kPopupStyle & ~WS_SYSMENU);
  HWND badHelper = windows.Make("popup helper", kPopupStyle & ~WS_MINIMIZEBOX, false, unhelped);
  ShowWindow(helper, SW_SHOW);  // activation makes each the last active popup of its owner
  ShowWindow(badHelper, SW_SHOW);
  ASSERT_EQ(GetLastActivePopup(helped), helper);
  ASSERT_EQ(GetLastActivePopup(unhelped), badHelper);
  TWinList list(nullptr);
  list.Refresh();
  EXPECT_TRUE(IsListed(list, helped));
  EXPECT_FALSE(IsListed(list, unhelped));
  EXPECT_FALSE(IsListed(list, helper));  // owned
  EXPECT_FALSE(IsListed(list, badHelper));
}

TEST(WinListGates, WithoutTheTaskbarGateOwnedWindowsAndAnyPopupAreListed) {
  Windows windows;
  HWND owner = windows.Make("owner");
  HWND owned = windows.Make("owned", WS_OVERLAPPEDWINDOW, true, owner);
  HWND disabledPopup = windows.Make("disabled popup", WS_POPUP | WS_DISABLED);
  HWND hidden = windows.Make("hidden popup", WS_POPUP, false);
  HWND untitled = windows.Make("", WS_POPUP);
  TWinList list(nullptr);
  list.SetTaskBarSty(false);
  list.Refresh();
  EXPECT_TRUE(IsListed(list, owner));
  EXPECT_TRUE(IsListed(list, owned));
  EXPECT_TRUE(IsListed(list, disabledPopup));
  EXPECT_FALSE(IsListed(list, hidden));
  EXPECT_FALSE(IsListed(list, untitled));
}

TEST(WinListGates, TheVisibilityChoiceAndEmptyNames) {
  Windows windows;
  HWND visible = windows.Make("visible");
  HWND hidden = windows.Make("hidden", WS_OVERLAPPEDWINDOW, false);
  HWND untitled = windows.Make("");
  TWinList list(nullptr);
  list.SetWhatDoFind(TFind_ID::id_InvisOnly);
  list.Refresh();
  EXPECT_FALSE(IsListed(list, visible));
  EXPECT_TRUE(IsListed(list, hidden));

  list.SetWhatDoFind(TFind_ID::id_All);
  list.Refresh();
  EXPECT_TRUE(IsListed(list, visible));
  EXPECT_TRUE(IsListed(list, hidden));
  EXPECT_FALSE(IsListed(list, untitled));

  list.SetEmptyNames(true);
  list.Refresh();
  ASSERT_TRUE(IsListed(list, untitled));
  EXPECT_EQ(list.WindowList().Strings(IndexOf(list, untitled)), "");
}

TEST(WinListGates, EqualTitlesGetSeparateEntriesInEnumerationOrder) {
  Windows windows;
  const std::vector<HWND> mine = {windows.Make("twin"), windows.Make("twin"), windows.Make("twin")};
  std::vector<HWND> enumerated;
  EnumWindows(AppendWindow, reinterpret_cast<LPARAM>(&enumerated));
  std::vector<HWND> expected;
  for (HWND window : enumerated) {
    if (std::find(mine.begin(), mine.end(), window) != mine.end()) expected.push_back(window);
  }
  TWinList list(nullptr);
  list.Refresh();
  std::vector<HWND> listed;
  for (HWND window : Listed(list)) {
    if (std::find(mine.begin(), mine.end(), window) != mine.end()) listed.push_back(window);
  }
  EXPECT_EQ(listed, expected);
  for (HWND window : mine) EXPECT_EQ(list.WindowList().Strings(IndexOf(list, window)), "twin");
}

// ---- what each entry holds ----

TEST(WinListInfo, AnEntryDescribesAWindowOfThisProcess) {
  Windows windows;
  HWND window = windows.Make("described", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, true, nullptr, "WinListFieldClass",
                             WS_EX_CLIENTEDGE);
  TWinList list(nullptr);
  list.Refresh();
  const TWinInfo& info = InfoOf(list, window);
  EXPECT_EQ(info.Handle, window);
  EXPECT_EQ(info.Parent, nullptr);
  EXPECT_EQ(info.ParentName, "Desktop");
  EXPECT_EQ(info.ClassName, "WinListFieldClass");
  EXPECT_EQ(info.ThreadID, GetCurrentThreadId());
  EXPECT_EQ(info.ProcessID, GetCurrentProcessId());
  EXPECT_EQ(info.ExeName, framework::ExtractFileName(framework::ModuleFileName()));
  EXPECT_EQ(info.Style, Long(window, GWL_STYLE));
  EXPECT_NE(info.Style & WS_CLIPCHILDREN, 0u);
  EXPECT_EQ(info.ExStyle, Long(window, GWL_EXSTYLE));
  EXPECT_NE(info.ExStyle & WS_EX_CLIENTEDGE, 0u);
}

TEST(WinListInfo, AnEntryDescribesAWindowOfAChildProcess) {
  const std::string title = Unique("WinList child window");
  const std::string hiddenTitle = Unique("WinList hidden child window");
  ChildProcess child("--class WinListChildClass --style 0x06CF0000 --window \"" + title + "\" --hidden-window \"" +
                     hiddenTitle + "\"");
  HWND window = FindWindowA("WinListChildClass", title.c_str());
  HWND hiddenWindow = FindWindowA("WinListChildClass", hiddenTitle.c_str());
  ASSERT_NE(window, nullptr);
  ASSERT_NE(hiddenWindow, nullptr);

  TWinList list(nullptr);
  list.Refresh();
  ASSERT_TRUE(IsListed(list, window));
  EXPECT_FALSE(IsListed(list, hiddenWindow));
  const TWinInfo& info = InfoOf(list, window);
  EXPECT_EQ(list.WindowList().Strings(IndexOf(list, window)), title);
  EXPECT_EQ(info.ProcessID, child.ProcessId());
  EXPECT_EQ(info.ThreadID, child.ThreadId());
  EXPECT_EQ(info.ExeName, "TestChild.exe");
  EXPECT_EQ(info.ClassName, "WinListChildClass");
  EXPECT_EQ(info.Style, Long(window, GWL_STYLE));
  EXPECT_EQ(info.ExStyle, Long(window, GWL_EXSTYLE));
  EXPECT_EQ(info.ParentName, "Desktop");

  list.SetWhatDoFind(TFind_ID::id_InvisOnly);
  list.Refresh();
  EXPECT_TRUE(IsListed(list, hiddenWindow));
  EXPECT_EQ(InfoOf(list, hiddenWindow).ExeName, "TestChild.exe");

  child.End();
  list.Refresh();
  EXPECT_TRUE(list.Changed());
  EXPECT_FALSE(IsListed(list, hiddenWindow));
}

TEST(WinListInfo, OwnersAndTheirTitles) {
  Windows windows;
  const std::string longTitle(300, 'o');
  HWND owner = windows.Make("the owner");
  HWND untitledOwner = windows.Make("", WS_OVERLAPPEDWINDOW, false);
  HWND longOwner = windows.Make(longTitle, WS_OVERLAPPEDWINDOW, false);
  HWND owned = windows.Make("owned", WS_OVERLAPPEDWINDOW, true, owner);
  HWND ownedByUntitled = windows.Make("owned by untitled", WS_OVERLAPPEDWINDOW, true, untitledOwner);
  HWND ownedByLong = windows.Make("owned by long", WS_OVERLAPPEDWINDOW, true, longOwner);
  TWinList list(nullptr);
  list.SetTaskBarSty(false);
  list.Refresh();
  EXPECT_EQ(InfoOf(list, owned).Parent, owner);
  EXPECT_EQ(InfoOf(list, owned).ParentName, "the owner");
  EXPECT_EQ(InfoOf(list, ownedByUntitled).Parent, untitledOwner);
  EXPECT_EQ(InfoOf(list, ownedByUntitled).ParentName, "NoName");
  EXPECT_EQ(InfoOf(list, ownedByLong).ParentName, longTitle.substr(0, 254));
  EXPECT_EQ(InfoOf(list, owner).ParentName, "Desktop");
}

TEST(WinListInfo, TitlesAreCutAt254AndClassNamesAt99) {
  Windows windows;
  const std::string longTitle = std::string(250, 't') + "0123456789";
  const std::string longClass = std::string(140, 'C');
  HWND window = windows.Make(longTitle, WS_OVERLAPPEDWINDOW, true, nullptr, longClass.c_str());
  ASSERT_EQ(Title(window), longTitle);
  TWinList list(nullptr);
  list.Refresh();
  EXPECT_EQ(list.WindowList().Strings(IndexOf(list, window)), longTitle.substr(0, 254));
  EXPECT_EQ(InfoOf(list, window).ClassName, longClass.substr(0, 99));
}

TEST(WinListInfo, TheIconComesFromTheExecutableAndGoesWithItsEntry) {
  Windows windows;
  HWND window = windows.Make("with icon");
  auto list = std::make_unique<TWinList>(nullptr);
  list->Refresh();
  // A snapshot names the executable without its folder: the icon is found from the current one,
  // when the entry's icon is first read.
  char previous[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof previous, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(testsupport::ProgramDir().c_str()));
  const HICON icon = InfoOf(*list, window).Icon();
  SetCurrentDirectoryA(previous);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(InfoOf(*list, window).Icon(), icon);  // the same icon on every read
  ICONINFO iconInfo{};
  ASSERT_TRUE(GetIconInfo(icon, &iconInfo));
  DeleteObject(iconInfo.hbmColor);
  DeleteObject(iconInfo.hbmMask);

  list.reset();
  EXPECT_FALSE(GetIconInfo(icon, &iconInfo));
}

namespace {
// Process calls that count what the list asks of the system and pass it on, or fail on request.
struct CountingCalls {
  static inline winlist::TProcessCalls system;
  static inline int snapshots = 0;
  static inline int extractions = 0;            // ExtractIconA and ExtractAssociatedIconA calls
  static inline bool noFirstIcon = false;       // ExtractIconA finds nothing
  static inline std::string associatedPath;     // what the fallback was given
  static inline std::vector<HICON> givenIcons;  // what the fallback handed out

  static HANDLE WINAPI CreateSnapshot(DWORD flags, DWORD processId) {
    ++snapshots;
    return system.createSnapshot(flags, processId);
  }
  static HANDLE WINAPI FailSnapshot(DWORD, DWORD) {
    ++snapshots;
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  static HANDLE WINAPI ThrowingSnapshot(DWORD, DWORD) { throw std::bad_alloc(); }
  static BOOL WINAPI FailFirst(HANDLE, PROCESSENTRY32*) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  static HICON WINAPI ExtractIcon(HINSTANCE instance, LPCSTR file, UINT index) {
    ++extractions;
    return noFirstIcon ? nullptr : system.extractIcon(instance, file, index);
  }
  // Stands in for the system's fallback, whose answer for a program without a folder is not ours
  // to choose under Wine: the icon of this test program, from its full path.
  static HICON WINAPI ExtractAssociatedIcon(HINSTANCE instance, LPSTR path, WORD* index) {
    ++extractions;
    associatedPath = path;
    HICON icon = *index == 0 ? system.extractIcon(instance, framework::ModuleFileName().c_str(), 0) : nullptr;
    givenIcons.push_back(icon);
    return icon;
  }
};

// Puts the counting calls in place for one test, and the previous ones back at its end.
class CountedProcessCalls {
 public:
  CountedProcessCalls() : previous_(winlist::ProcessCalls()) {
    CountingCalls::system = previous_;
    CountingCalls::snapshots = 0;
    CountingCalls::extractions = 0;
    CountingCalls::noFirstIcon = false;
    CountingCalls::associatedPath.clear();
    CountingCalls::givenIcons.clear();
    Use(Counting());
  }
  ~CountedProcessCalls() { winlist::SetProcessCalls(previous_); }

  static winlist::TProcessCalls Counting() {
    winlist::TProcessCalls calls = CountingCalls::system;
    calls.createSnapshot = CountingCalls::CreateSnapshot;
    calls.extractIcon = CountingCalls::ExtractIcon;
    calls.extractAssociatedIcon = CountingCalls::ExtractAssociatedIcon;
    return calls;
  }
  void Use(const winlist::TProcessCalls& calls) { winlist::SetProcessCalls(calls); }

 private:
  winlist::TProcessCalls previous_;
};
}  // namespace

TEST(WinListInfo, WindowsOfTwoProcessesEachGetTheirOwnProgramFromOneSnapshot) {
  testsupport::TempDir folder;
  const std::string otherProgram = folder / "WinListOtherChild.exe";
  ASSERT_TRUE(CopyFileA(testsupport::BuiltProgram("TestChild.exe").c_str(), otherProgram.c_str(), FALSE));
  const std::string title = Unique("WinList first child");
  const std::string otherTitle = Unique("WinList second child");
  ChildProcess child("--window \"" + title + "\"");
  ChildProcess other("--window \"" + otherTitle + " a\" --window \"" + otherTitle + " b\"", otherProgram);
  const std::vector<HWND> otherWindows = {FindWindowA("TestChildWindow", (otherTitle + " a").c_str()),
                                          FindWindowA("TestChildWindow", (otherTitle + " b").c_str())};
  HWND window = FindWindowA("TestChildWindow", title.c_str());
  ASSERT_NE(window, nullptr);
  ASSERT_NE(otherWindows[0], nullptr);
  ASSERT_NE(otherWindows[1], nullptr);

  CountedProcessCalls calls;
  TWinList list(nullptr);
  list.Refresh();
  EXPECT_EQ(CountingCalls::snapshots, 1) << "one snapshot for the whole list";
  EXPECT_EQ(InfoOf(list, window).ProcessID, child.ProcessId());
  EXPECT_EQ(InfoOf(list, window).ExeName, "TestChild.exe");
  for (HWND otherWindow : otherWindows) {
    EXPECT_EQ(InfoOf(list, otherWindow).ProcessID, other.ProcessId());
    EXPECT_EQ(InfoOf(list, otherWindow).ExeName, "WinListOtherChild.exe");
    EXPECT_EQ(InfoOf(list, otherWindow).ClassName, "TestChildWindow");
  }

  list.Refresh();  // unchanged: no new window needs a name
  EXPECT_FALSE(list.Changed());
  EXPECT_EQ(CountingCalls::snapshots, 1);
}

TEST(WinListInfo, AnIconNeverReadIsNeverExtractedAndOneReadExtractsItOnce) {
  Windows windows;
  HWND window = windows.Make("icon read once");
  windows.Make("icon never read");
  CountedProcessCalls calls;
  auto list = std::make_unique<TWinList>(nullptr);
  list->Refresh();
  EXPECT_EQ(CountingCalls::extractions, 0) << "Refresh extracts no icon";

  InfoOf(*list, window).Icon();
  const int once = CountingCalls::extractions;
  EXPECT_GE(once, 1);
  EXPECT_LE(once, 2);  // ExtractIconA, and the fallback when that finds nothing
  InfoOf(*list, window).Icon();
  EXPECT_EQ(CountingCalls::extractions, once);

  list.reset();  // the other entries go without extracting theirs
  EXPECT_EQ(CountingCalls::extractions, once);
}

TEST(WinListInfo, WithoutAnIconFromTheFileTheFallbackGivesItAndTheEntryReleasesIt) {
  Windows windows;
  HWND window = windows.Make("fallback icon");
  CountedProcessCalls calls;
  CountingCalls::noFirstIcon = true;
  const int handlesBefore = launchtest::CountOpenHandles();
  std::vector<HICON> read;
  for (int round = 0; round < 10; ++round) {
    TWinList list(nullptr);  // a new list each time: a rebuild, with its snapshot
    list.Refresh();
    read.push_back(InfoOf(list, window).Icon());
    EXPECT_EQ(CountingCalls::associatedPath, framework::ExtractFileName(framework::ModuleFileName()));
  }
  EXPECT_EQ(CountingCalls::snapshots, 10);
  ASSERT_EQ(read, CountingCalls::givenIcons);  // each entry its own icon, from the fallback
  ICONINFO iconInfo{};
  for (HICON icon : read) {
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(GetIconInfo(icon, &iconInfo)) << "an icon outlived its entry";
  }
  // Nor do the snapshots stay open.
  EXPECT_LE(launchtest::CountOpenHandles(), handlesBefore + 3);
}

TEST(WinListInfo, WithoutASnapshotWindowsAreListedWithoutProgramOrIcon) {
  const std::string title = Unique("WinList child without snapshot");
  ChildProcess child("--window \"" + title + "\"");
  HWND childWindow = FindWindowA("TestChildWindow", title.c_str());
  ASSERT_NE(childWindow, nullptr);
  Windows windows;
  HWND window = windows.Make("without snapshot");

  CountedProcessCalls calls;
  winlist::TProcessCalls noFacility = CountedProcessCalls::Counting();
  noFacility.createSnapshot = nullptr;
  winlist::TProcessCalls failing = CountedProcessCalls::Counting();
  failing.createSnapshot = CountingCalls::FailSnapshot;
  winlist::TProcessCalls failingWalk = CountedProcessCalls::Counting();
  failingWalk.processFirst = CountingCalls::FailFirst;
  const std::pair<const char*, winlist::TProcessCalls> cases[] = {
      {"no snapshot facility", noFacility}, {"snapshot fails", failing}, {"first entry fails", failingWalk}};
  for (const auto& [name, brokenCalls] : cases) {
    SCOPED_TRACE(name);
    calls.Use(brokenCalls);
    TWinList list(nullptr);
    list.Refresh();
    for (HWND listed : {window, childWindow}) {
      ASSERT_TRUE(IsListed(list, listed));
      EXPECT_EQ(InfoOf(list, listed).ExeName, "");
      EXPECT_EQ(InfoOf(list, listed).Icon(), nullptr);
    }
    EXPECT_EQ(InfoOf(list, window).ClassName, kClassName);
    EXPECT_EQ(InfoOf(list, childWindow).ClassName, "TestChildWindow");
    EXPECT_EQ(list.WindowList().Strings(IndexOf(list, childWindow)), title);
    EXPECT_EQ(CountingCalls::extractions, 0);
  }
}

// ---- when the list is rebuilt ----

TEST(WinListChanges, AnUnchangedRefreshKeepsTheEntriesTheirOrderAndTheOldTitles) {
  Windows windows;
  HWND first = windows.Make("first");
  HWND second = windows.Make("second");
  TWinList list(nullptr);
  list.Refresh();
  EXPECT_TRUE(list.Changed());
  std::vector<const framework::TObject*> entries;
  for (int i = 0; i < list.WindowList().Count(); ++i) entries.push_back(list.WindowList().Objects(i));
  const std::vector<HWND> order = Listed(list);

  SetWindowTextA(first, "renamed");
  SetWindowPos(IndexOf(list, first) < IndexOf(list, second) ? second : first, HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  list.Refresh();
  EXPECT_FALSE(list.Changed());
  EXPECT_EQ(Listed(list), order);
  for (int i = 0; i < list.WindowList().Count(); ++i) EXPECT_EQ(list.WindowList().Objects(i), entries[i]);
  EXPECT_EQ(list.WindowList().Strings(IndexOf(list, first)), "first");
}

TEST(WinListChanges, OneWindowGoingAndAnotherComingIsAChange) {
  Windows windows;
  HWND staying = windows.Make("staying");
  HWND going = windows.Make("going");
  HWND coming = windows.Make("coming", WS_OVERLAPPEDWINDOW, false);
  TWinList list(nullptr);
  list.Refresh();
  const int count = list.WindowList().Count();
  ShowWindow(going, SW_HIDE);
  ShowWindow(coming, SW_SHOWNA);
  list.Refresh();
  EXPECT_TRUE(list.Changed());
  EXPECT_EQ(list.WindowList().Count(), count);
  EXPECT_TRUE(IsListed(list, staying));
  EXPECT_TRUE(IsListed(list, coming));
  EXPECT_FALSE(IsListed(list, going));
}

TEST(WinListChanges, ARebuildThatFailedIsDoneAgainByTheNextRefresh) {
  Windows windows;
  HWND first = windows.Make("first");
  HWND second = windows.Make("second");
  TWinList list(nullptr);
  CountedProcessCalls calls;
  winlist::TProcessCalls throwing = CountedProcessCalls::Counting();
  throwing.createSnapshot = CountingCalls::ThrowingSnapshot;
  calls.Use(throwing);
  EXPECT_THROW(list.Refresh(), std::bad_alloc);

  // The same windows again: the list is rebuilt whole, not kept as the failure left it.
  calls.Use(CountedProcessCalls::Counting());
  list.Refresh();
  EXPECT_TRUE(list.Changed());
  EXPECT_TRUE(IsListed(list, first));
  EXPECT_TRUE(IsListed(list, second));
  EXPECT_FALSE(InfoOf(list, second).ExeName.empty());
}

TEST(WinListChanges, DifferentSetsWithEqualHandleSumsAreAChange) {
  // Handles are not ours to choose: among a pool of windows, find a, b, c, d with a + d = b + c in
  // the 32-bit sum, and let {a, d} qualify, then {b, c}.
  // Windows are made one at a time until some pair of them adds up like an earlier pair.
  Windows windows;
  std::vector<HWND> pool;
  const auto low = [](HWND window) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window)); };
  std::map<uint32_t, std::pair<HWND, HWND>> sums;
  HWND a = nullptr, b = nullptr, c = nullptr, d = nullptr;
  while (a == nullptr && pool.size() < 256) {
    const HWND added = windows.Make("pool " + std::to_string(pool.size()), WS_OVERLAPPEDWINDOW, false);
    for (size_t i = 0; i < pool.size() && a == nullptr; ++i) {
      const uint32_t sum = low(pool[i]) + low(added);
      const auto found = sums.find(sum);
      if (found == sums.end()) {
        sums[sum] = {pool[i], added};
      } else if (found->second.first != pool[i] && found->second.second != pool[i]) {
        a = found->second.first;
        d = found->second.second;
        b = pool[i];
        c = added;
      }
    }
    pool.push_back(added);
  }
  ASSERT_NE(a, nullptr) << "no two pairs of windows with equal handle sums";
  ASSERT_EQ(low(a) + low(d), low(b) + low(c));

  TWinList list(nullptr);
  ShowWindow(a, SW_SHOWNA);
  ShowWindow(d, SW_SHOWNA);
  list.Refresh();
  ASSERT_TRUE(IsListed(list, a));
  ASSERT_TRUE(IsListed(list, d));
  ShowWindow(a, SW_HIDE);
  ShowWindow(d, SW_HIDE);
  ShowWindow(b, SW_SHOWNA);
  ShowWindow(c, SW_SHOWNA);
  list.Refresh();
  EXPECT_TRUE(list.Changed());
  EXPECT_TRUE(IsListed(list, b));
  EXPECT_TRUE(IsListed(list, c));
  EXPECT_FALSE(IsListed(list, a));
  EXPECT_FALSE(IsListed(list, d));
}

TEST(WinListChanges, EachInstanceSeesItsOwnChanges) {
  Windows windows;
  HWND first = windows.Make("first");
  TWinList one(nullptr);
  TWinList two(nullptr);
  one.Refresh();
  two.Refresh();  // the same windows, but new to this instance
  EXPECT_TRUE(two.Changed());
  EXPECT_TRUE(IsListed(two, first));

  HWND second = windows.Make("second");
  one.Refresh();
  two.Refresh();
  EXPECT_TRUE(one.Changed());
  EXPECT_TRUE(two.Changed());
  EXPECT_TRUE(IsListed(one, second));
  EXPECT_TRUE(IsListed(two, second));
  one.Refresh();
  EXPECT_FALSE(one.Changed());
}

TEST(WinListChanges, OnAnEmptyDesktopTheListStartsEmptyAndEmptiesWhenItsWindowsGo) {
  OnPrivateDesktop([] {
    TWinList list(nullptr);
    list.Refresh();  // nothing qualifies: the same empty set as after construction
    EXPECT_FALSE(list.Changed());
    EXPECT_EQ(list.WindowList().Count(), 0);

    auto windows = std::make_unique<Windows>();
    HWND one = windows->Make("one");
    HWND two = windows->Make("two", kPopupStyle);
    list.Refresh();
    EXPECT_TRUE(list.Changed());
    EXPECT_EQ(Listed(list).size(), 2u);
    EXPECT_TRUE(IsListed(list, one));
    EXPECT_TRUE(IsListed(list, two));

    windows.reset();
    list.Refresh();
    EXPECT_TRUE(list.Changed());
    EXPECT_EQ(list.WindowList().Count(), 0);
  });
}

TEST(WinListChanges, AThousandQualifyingWindowsAreAllListed) {
  // Hidden ones: under Wine a hidden window is made in half the time of a visible one.
  Windows windows;
  std::vector<HWND> mine;
  for (int i = 0; i < 1000; ++i) mine.push_back(windows.Make("many " + std::to_string(i), WS_OVERLAPPEDWINDOW, false));
  TWinList list(nullptr);
  list.SetWhatDoFind(TFind_ID::id_InvisOnly);
  list.Refresh();
  for (int i = 0; i < 1000; ++i) {
    const int index = IndexOf(list, mine[static_cast<size_t>(i)]);
    ASSERT_GE(index, 0) << i;
    EXPECT_EQ(list.WindowList().Strings(index), "many " + std::to_string(i));
  }
  list.Refresh();
  EXPECT_FALSE(list.Changed());
}

TEST(WinListIndex, WindowHandleIsTheHandleOfTheTitleAtTheSameIndex) {
  Windows windows;
  HWND window = windows.Make(Unique("indexed"));
  TWinList list(nullptr);
  list.Refresh();
  const int index = list.WindowList().IndexOf(Unique("indexed"));
  ASSERT_GE(index, 0);
  EXPECT_EQ(list.WindowHandle(index), window);

  const int count = list.WindowList().Count();
  for (int bad : {-1, count}) {
    try {
      list.WindowHandle(bad);
      ADD_FAILURE() << "no error for " << bad;
    } catch (const framework::EStringListError& error) {
      EXPECT_EQ(error.Message(), "リストのインデックスが範囲を超えています (" + std::to_string(bad) + ")");
    }
  }
  EXPECT_EQ(list.WindowList().Count(), count);

  // A caller's own entry in the open list has no window.
  framework::TObject foreign;
  list.WindowList().AddObject("foreign", &foreign);
  EXPECT_EQ(list.WindowHandle(count), nullptr);
}

// ---- the internal timer ----

namespace {
class TCountingWinList : public TWinList {
 public:
  using TWinList::TWinList;
  void Refresh() override {
    ++refreshes;
    TWinList::Refresh();
  }
  int refreshes = 0;
};
}  // namespace

TEST(WinListTimer, TicksRefreshThroughTheOverrideAndReportOnlyRebuilds) {
  Windows windows;
  TCountingWinList list(nullptr);
  int changes = 0;
  list.SetOnChanged([&](framework::TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changes;
  });
  list.Refresh();  // a direct rebuild: never reported
  list.SetTimerIntval(40);
  list.SetEnableTimer(true);
  ASSERT_TRUE(testsupport::PumpUntil([&] { return list.refreshes >= 4; }, 3000));
  EXPECT_EQ(changes, 0);

  HWND window = windows.Make("appears");
  ASSERT_TRUE(testsupport::PumpUntil([&] { return changes > 0; }, 3000));
  EXPECT_TRUE(IsListed(list, window));
  const int seen = list.refreshes;
  testsupport::PumpUntil([&] { return list.refreshes >= seen + 3; }, 3000);
  EXPECT_EQ(changes, 1);

  windows.Make("direct");
  list.Refresh();
  EXPECT_TRUE(list.Changed());
  const int afterDirect = list.refreshes;
  testsupport::PumpUntil([&] { return list.refreshes >= afterDirect + 3; }, 3000);
  EXPECT_EQ(changes, 1);
}

TEST(WinListTimer, AnIntervalBelowOneSwitchesTheTimerOff) {
  TCountingWinList list(nullptr);
  list.SetTimerIntval(30);
  list.SetEnableTimer(true);
  ASSERT_TRUE(testsupport::PumpUntil([&] { return list.refreshes > 0; }, 2000));

  list.SetTimerIntval(0);
  EXPECT_FALSE(list.EnableTimer());
  EXPECT_EQ(list.TimerIntval(), 0);
  const int before = list.refreshes;
  list.SetEnableTimer(true);  // enabled, but an interval of 0 never ticks
  testsupport::PumpFor(200);
  EXPECT_EQ(list.refreshes, before);

  list.SetTimerIntval(-5);
  EXPECT_FALSE(list.EnableTimer());
  EXPECT_EQ(list.TimerIntval(), -5);
  list.SetTimerIntval(30);
  list.SetEnableTimer(true);
  EXPECT_TRUE(testsupport::PumpUntil([&] { return list.refreshes > before; }, 2000));
}

// ---- About and form descriptions ----

TEST(WinListAbout, AnyNewValueShowsTheBoxOnceAndLeavesTheFixedText) {
  testsupport::MessageBoxWatcher boxes;
  TWinList list(nullptr);
  EXPECT_EQ(list.About(), "");
  list.SetAbout("anything");
  const std::string fixed = list.About();
  EXPECT_FALSE(fixed.empty());
  EXPECT_NE(fixed, "anything");
  list.SetAbout(fixed);  // the same value: nothing
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_NE(boxes.Texts()[0].find("TWinList"), std::string::npos);
  EXPECT_NE(boxes.Texts()[0].find('\n'), std::string::npos);

  list.SetAbout("");
  EXPECT_EQ(list.About(), fixed);
  EXPECT_EQ(boxes.Texts().size(), 2u);
}

namespace {
using TWinListHost = testsupport::THostModule;

TWinList* LoadWinList(TWinListHost& host, const std::string& properties) {
  return testsupport::LoadHosted<TWinList>(host, "WinList1", properties);
}
}  // namespace

TEST(WinListForm, AFreshListStoresNothingAndHasTheDefaults) {
  TWinListHost host(nullptr);
  TWinList* list = LoadWinList(host, "");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->WhatDoFind(), TFind_ID::id_VisOnly);
  EXPECT_FALSE(list->EmptyNames());
  EXPECT_TRUE(list->TaskBarSty());
  EXPECT_EQ(list->TimerIntval(), 500);
  EXPECT_FALSE(list->EnableTimer());
  EXPECT_EQ(list->About(), "");
  EXPECT_EQ(list->WindowList().Count(), 0);
  EXPECT_TRUE(list->Changed());
  EXPECT_FALSE(list->OnChanged());
  EXPECT_EQ(framework::WriteComponent(host), "object Host: THostModule\n  object WinList1: TWinList\n  end\nend\n");
}

TEST(WinListForm, StoredValuesLoadThroughTheSettersAndStartTheTimer) {
  testsupport::MessageBoxWatcher boxes;
  Windows windows;
  HWND hidden = windows.Make(Unique("loaded"), WS_POPUP, false);
  TWinListHost host(nullptr);
  TWinList* list = LoadWinList(host,
                               "    About = 'stored text'\n"
                               "    WhatDoFind = id_InvisOnly\n"
                               "    EmptyNames = True\n"
                               "    TaskBarSty = False\n"
                               "    TimerIntval = 40\n"
                               "    EnableTimer = True\n");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(boxes.Texts().size(), 1u);  // the box came while loading
  EXPECT_NE(list->About(), "stored text");
  EXPECT_EQ(list->WhatDoFind(), TFind_ID::id_InvisOnly);
  EXPECT_TRUE(list->EmptyNames());
  EXPECT_FALSE(list->TaskBarSty());
  EXPECT_EQ(list->TimerIntval(), 40);
  EXPECT_TRUE(list->EnableTimer());
  // The gates as loaded let the hidden popup through; the timer finds it.
  EXPECT_TRUE(testsupport::PumpUntil([&] { return IsListed(*list, hidden); }, 3000));
  const std::string text = framework::WriteComponent(host);
  EXPECT_NE(text.find("WhatDoFind = id_InvisOnly"), std::string::npos) << text;
  EXPECT_NE(text.find("TimerIntval = 40"), std::string::npos) << text;
  EXPECT_NE(text.find("EnableTimer = True"), std::string::npos) << text;
}
