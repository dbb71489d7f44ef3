// Top-level window list component.
#include "winlist/WinList.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <utility>

#include "framework/Application.h"
#include "framework/Properties.h"

namespace winlist {

using framework::PropertyTable;

namespace {

// The product's record size; the 64-bit build's is larger because of the pointer-sized field.
#if !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "PROCESSENTRY32 of the 32-bit build");
#endif

constexpr int kInitialCapacity = 256;
constexpr int kTitleBufferSize = 256;
constexpr int kTitleMaxCount = 255;  // at most 254 characters
constexpr int kClassBufferSize = 257;
constexpr int kClassMaxCount = 100;  // at most 99 characters
constexpr int kIconPathBufferSize = MAX_PATH + 1;

constexpr char kNoOwnerName[] = "Desktop";
constexpr char kEmptyOwnerName[] = "NoName";

constexpr char kAboutLine[] = "TWinList Ver1.0 トップレベルウィンドウ一覧";
constexpr char kAboutText[] =
    "TWinList Ver1.0\n"
    "\n"
    "デスクトップのトップレベルウィンドウを列挙し、\n"
    "タイトル・ハンドル・クラス名・実行ファイル名・アイコンを一覧にします。\n"
    "EnableTimer を True にすると TimerIntval ミリ秒ごとに自動で更新し、\n"
    "一覧が変わったときに OnChanged を呼び出します。";
constexpr char kAboutCaption[] = "TWinList について";

// A title as the list reads it: at most 254 characters; a failed read leaves it empty.
void ReadTitle(HWND window, char (&title)[kTitleBufferSize]) {
  title[0] = '\0';
  GetWindowTextA(window, title, kTitleMaxCount);
}

std::string WindowTitle(HWND window) {
  char title[kTitleBufferSize];
  ReadTitle(window, title);
  return title;
}

// The process snapshot functions, looked up by name once: older systems lack them.
struct ToolHelp {
  using CreateSnapshot = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
  using WalkProcesses = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32* entry);
  CreateSnapshot createSnapshot = nullptr;
  WalkProcesses first = nullptr;
  WalkProcesses next = nullptr;
};

template <class Function>
Function Lookup(HMODULE module, const char* name) {
  // Through the generic function type, which converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const ToolHelp& ToolHelpFunctions() {
  static const ToolHelp functions = [] {
    ToolHelp found;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel != nullptr) {
      found.createSnapshot = Lookup<ToolHelp::CreateSnapshot>(kernel, "CreateToolhelp32Snapshot");
      found.first = Lookup<ToolHelp::WalkProcesses>(kernel, "Process32First");
      found.next = Lookup<ToolHelp::WalkProcesses>(kernel, "Process32Next");
    }
    return found;
  }();
  return functions;
}

// Fills ExeName and Icon from the snapshot entry of the window's process; leaves them empty when
// there is no snapshot or no such entry.
void DescribeProcess(TWinInfo& info) {
  const ToolHelp& toolHelp = ToolHelpFunctions();
  if (toolHelp.createSnapshot == nullptr || toolHelp.first == nullptr || toolHelp.next == nullptr) return;
  HANDLE raw = toolHelp.createSnapshot(TH32CS_SNAPPROCESS, info.ProcessID);
  if (raw == nullptr || raw == INVALID_HANDLE_VALUE) return;
  const framework::UniqueHandle snapshot(raw);

  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  if (!toolHelp.first(snapshot.get(), &entry)) return;
  while (entry.th32ProcessID != info.ProcessID) {
    if (!toolHelp.next(snapshot.get(), &entry)) return;
  }
  info.ExeName = entry.szExeFile;

  HINSTANCE instance = GetModuleHandleA(nullptr);
  HICON icon = ExtractIconA(instance, entry.szExeFile, 0);
  // 1 is ExtractIcon's answer for a file that is no executable: not an icon to keep.
  if (icon == nullptr || icon == reinterpret_cast<HICON>(1)) {
    // The call may write the path of the file it took the icon from back into the buffer.
    char path[kIconPathBufferSize];
    lstrcpynA(path, entry.szExeFile, sizeof path);
    WORD index = 0;
    icon = ExtractAssociatedIconA(instance, path, &index);
  }
  info.Icon.reset(icon);
}

}  // namespace

TWinList::TWinList(framework::TComponent* owner) : TComponent(owner), timer_(this) {
  timer_.SetEnabled(false);
  timer_.SetInterval(static_cast<unsigned>(timerIntval_));
  timer_.SetOnTimer(framework::TNotifyEvent::Bind(this, &TWinList::TimerTick));
  collected_.reserve(kInitialCapacity);
  sorted_.reserve(kInitialCapacity);
  lastRebuildSet_.reserve(kInitialCapacity);
}

TWinList::~TWinList() {
  FreeEntries();
  timer_.SetEnabled(false);
}

void TWinList::FreeEntries() {
  windowList_.Clear();
  for (std::unique_ptr<TWinInfo>& entry : entries_) entry.reset();  // in index order
  entries_.clear();
}

bool TWinList::IsTaskBarStyle(HWND window) {
  const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  if ((style & WS_POPUP) == 0) return true;
  return (style & WS_MINIMIZEBOX) != 0 && (style & WS_DISABLED) == 0 && (style & WS_SYSMENU) != 0;
}

bool TWinList::Qualifies(HWND window) const {
  char title[kTitleBufferSize];  // on the stack: the enumeration allocates nothing
  ReadTitle(window, title);
  if (!emptyNames_ && title[0] == '\0') return false;

  switch (whatDoFind_) {
    case TFind_ID::id_All:
      break;
    case TFind_ID::id_VisOnly:
      if (!IsWindowVisible(window)) return false;
      break;
    case TFind_ID::id_InvisOnly:
      if (IsWindowVisible(window)) return false;
      break;
  }

  if (taskBarSty_) {
    if (GetWindow(window, GW_OWNER) != nullptr) return false;
    if (!IsTaskBarStyle(window)) {
      // A window that is no taskbar window itself still counts when its last active popup is.
      HWND popup = GetLastActivePopup(window);
      if (!IsWindow(popup) || !IsTaskBarStyle(popup)) return false;
    }
  }
  return true;
}

BOOL CALLBACK TWinList::CollectWindow(HWND window, LPARAM self) {
  auto* list = reinterpret_cast<TWinList*>(self);
  try {
    if (list->Qualifies(window)) list->collected_.push_back(window);
    return TRUE;
  } catch (...) {
    // Nothing may unwind through the system's enumeration: stop it, Refresh raises this afterwards.
    list->collectError_ = std::current_exception();
    return FALSE;
  }
}

bool TWinList::SameSetAsLastRebuild() {
  // Sets, not sums: two different sets can have equal handle sums. Order does not matter.
  sorted_.assign(collected_.begin(), collected_.end());
  std::sort(sorted_.begin(), sorted_.end());
  if (sorted_ == lastRebuildSet_) return true;
  lastRebuildSet_.assign(sorted_.begin(), sorted_.end());
  return false;
}

void TWinList::Refresh() {
  timer_.SetEnabled(false);
  collected_.clear();
  EnumWindows(&TWinList::CollectWindow, reinterpret_cast<LPARAM>(this));
  if (collectError_) std::rethrow_exception(std::exchange(collectError_, nullptr));

  if (SameSetAsLastRebuild()) {
    changed_ = false;
  } else {
    FreeEntries();
    for (HWND window : collected_) AddWindow(window);
    changed_ = true;
  }
  // Restarts the interval, so the next tick comes a full interval after this refresh.
  if (enableTimer_) timer_.SetEnabled(true);
}

void TWinList::AddWindow(HWND window) {
  auto info = std::make_unique<TWinInfo>();
  info->Handle = window;
  info->ThreadID = GetWindowThreadProcessId(window, nullptr);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  info->ProcessID = processId;
  info->Style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  info->ExStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
  info->Parent = reinterpret_cast<HWND>(GetWindowLongPtrA(window, GWLP_HWNDPARENT));

  char className[kClassBufferSize];
  className[0] = '\0';
  GetClassNameA(window, className, kClassMaxCount);
  info->ClassName = className;

  info->ParentName = info->Parent != nullptr ? WindowTitle(info->Parent) : kNoOwnerName;
  if (info->ParentName.empty()) info->ParentName = kEmptyOwnerName;

  std::string title = WindowTitle(window);
  DescribeProcess(*info);

  entries_.push_back(std::move(info));
  windowList_.AddObject(std::move(title), entries_.back().get());
}

HWND TWinList::WindowHandle(int index) const {
  // Objects raises the list's index error for an index outside the list. The list is open to
  // callers, so its object counts only when it is one of this component's own entries.
  const framework::TObject* object = windowList_.Objects(index);
  for (const std::unique_ptr<TWinInfo>& entry : entries_) {
    if (entry.get() == object) return entry->Handle;
  }
  return nullptr;
}

void TWinList::SetAbout(const std::string& value) {
  if (value == about_) return;
  about_ = kAboutLine;
  framework::ShowMessageBox(kAboutText, kAboutCaption, MB_OK | MB_ICONINFORMATION);
}

void TWinList::SetEnableTimer(bool value) {
  if (value == enableTimer_) return;
  enableTimer_ = value;
  timer_.SetEnabled(value);
}

void TWinList::SetTimerIntval(int value) {
  if (value < 1) SetEnableTimer(false);
  if (value == timerIntval_) return;
  timerIntval_ = value;
  // The timer takes no negative interval; 0 never ticks.
  timer_.SetInterval(value > 0 ? static_cast<unsigned>(value) : 0u);
}

void TWinList::DoChanged() {
  if (onChanged_) onChanged_(this);
}

void TWinList::TimerTick(framework::TObject* /*sender*/) {
  Refresh();  // through the virtual slot, so a descendant's override runs here too
  if (framework::TApplication* application = framework::TApplication::Current()) application->ProcessMessages();
  // The flag of the latest Refresh: the pumped messages may have run another one.
  if (changed_) DoChanged();
}

const PropertyTable& TWinList::ClassProperties() {
  static const PropertyTable table = [] {
    PropertyTable t("TWinList", &framework::TComponent::ClassProperties());
    t.String("About", &TWinList::About, &TWinList::SetAbout)
        .Enumeration("WhatDoFind", &TWinList::WhatDoFind, &TWinList::SetWhatDoFind,
                     {"id_All", "id_VisOnly", "id_InvisOnly"}, TFind_ID::id_VisOnly)
        .Strings<TWinList>("WindowList", &TWinList::WindowList)
        .Boolean("EmptyNames", &TWinList::EmptyNames, &TWinList::SetEmptyNames, false)
        .Boolean("TaskBarSty", &TWinList::TaskBarSty, &TWinList::SetTaskBarSty, true)
        .Integer("TimerIntval", &TWinList::TimerIntval, &TWinList::SetTimerIntval, 500)
        .Boolean("EnableTimer", &TWinList::EnableTimer, &TWinList::SetEnableTimer, false)
        .EventHandler("OnChanged", &TWinList::OnChanged, &TWinList::SetOnChanged);
    return t;
  }();
  return table;
}

}  // namespace winlist
