// Top-level window list component.
#include "winlist/WinList.h"

#include <shellapi.h>

#include <algorithm>
#include <utility>

#include "framework/Application.h"
#include "framework/Properties.h"
#include "winlist/ProcessCalls.h"

namespace winlist {

using framework::PropertyTable;

namespace {

// The product's record size; the 64-bit build's is larger because of the pointer-sized field.
#if !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "PROCESSENTRY32 of the 32-bit build");
#endif

constexpr int kInitialCapacity = 256;
constexpr int kTitleBufferSize = TWinList::kTitleBufferSize;
constexpr int kTitleMaxCount = 255;  // at most 254 characters
constexpr int kClassBufferSize = TWinList::kClassBufferSize;
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

template <class Function>
Function Lookup(HMODULE module, const char* name) {
  // Through the generic function type, which converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TProcessCalls& CurrentProcessCalls() {
  // The snapshot functions are looked up by name: older systems lack them.
  static TProcessCalls calls = [] {
    TProcessCalls system;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel != nullptr) {
      system.createSnapshot = Lookup<TProcessCalls::CreateSnapshot>(kernel, "CreateToolhelp32Snapshot");
      system.processFirst = Lookup<TProcessCalls::WalkProcesses>(kernel, "Process32First");
      system.processNext = Lookup<TProcessCalls::WalkProcesses>(kernel, "Process32Next");
    }
    system.extractIcon = ExtractIconA;
    system.extractAssociatedIcon = ExtractAssociatedIconA;
    return system;
  }();
  return calls;
}

}  // namespace

const TProcessCalls& ProcessCalls() { return CurrentProcessCalls(); }

TProcessCalls SetProcessCalls(const TProcessCalls& calls) { return std::exchange(CurrentProcessCalls(), calls); }

HICON TWinInfo::Icon() const {
  if (iconExtracted_) return icon_.get();
  iconExtracted_ = true;
  if (ExeName.empty()) return nullptr;  // no snapshot entry, nothing to take an icon from
  const TProcessCalls& calls = ProcessCalls();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HICON icon = calls.extractIcon(instance, ExeName.c_str(), 0);
  // 1 is ExtractIcon's answer for a file that is no executable: not an icon to keep.
  if (icon == nullptr || icon == reinterpret_cast<HICON>(1)) {
    // The call may write the path of the file it took the icon from back into the buffer.
    char path[kIconPathBufferSize];
    lstrcpynA(path, ExeName.c_str(), sizeof path);
    WORD index = 0;
    icon = calls.extractAssociatedIcon(instance, path, &index);
  }
  icon_.reset(icon);
  return icon;
}

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
  return IsTaskBarStyle(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)));
}

bool TWinList::IsTaskBarStyle(DWORD style) {
  if ((style & WS_POPUP) == 0) return true;
  return (style & WS_MINIMIZEBOX) != 0 && (style & WS_DISABLED) == 0 && (style & WS_SYSMENU) != 0;
}

bool TWinList::Qualifies(HWND window, CollectedWindow& seen) const {
  seen.window = window;
  seen.styleRead = false;
  seen.ownerless = false;
  ReadTitle(window, seen.title);
  if (!emptyNames_ && seen.title[0] == '\0') return false;

  // Each call about another process's window is a trip to the window server, so the style is read
  // once for both gates. A top-level window is visible exactly when its own WS_VISIBLE is set (its
  // parent, the desktop, always is): IsWindowVisible would add a trip to learn that.
  if (whatDoFind_ != TFind_ID::id_All) {
    seen.style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    seen.styleRead = true;
    const bool visible = (seen.style & WS_VISIBLE) != 0;
    if (visible != (whatDoFind_ == TFind_ID::id_VisOnly)) return false;
  }

  if (taskBarSty_) {
    if (GetWindow(window, GW_OWNER) != nullptr) return false;
    seen.ownerless = true;
    if (!seen.styleRead) {
      seen.style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
      seen.styleRead = true;
    }
    if (!IsTaskBarStyle(seen.style)) {
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
    CollectedWindow seen;  // on the stack: the enumeration allocates nothing
    if (list->Qualifies(window, seen)) list->collected_.push_back(seen);
    return TRUE;
  } catch (...) {
    // Nothing may unwind through the system's enumeration: stop it, Refresh raises this afterwards.
    list->collectError_ = std::current_exception();
    return FALSE;
  }
}

bool TWinList::SameSetAsLastRebuild() {
  // Sets, not sums: two different sets can have equal handle sums. Order does not matter.
  sorted_.clear();
  for (const CollectedWindow& seen : collected_) sorted_.push_back(seen.window);
  std::sort(sorted_.begin(), sorted_.end());
  return sorted_ == lastRebuildSet_;
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
    lastRebuildSet_.clear();  // a rebuild that fails half-way is done again by the next refresh
    ForgetProcesses();  // one snapshot for the whole rebuild, at the first window that needs it
    for (const CollectedWindow& seen : collected_) AppendEntry(seen);
    ForgetProcesses();
    lastRebuildSet_.assign(sorted_.begin(), sorted_.end());
    changed_ = true;
  }
  // Restarts the interval, so the next tick comes a full interval after this refresh.
  if (enableTimer_) timer_.SetEnabled(true);
}

void TWinList::ForgetProcesses() {
  processTableTaken_ = false;
  classNames_.clear();  // both keep their capacity
}

const char* TWinList::ExeNameOf(DWORD processId) {
  if (!processTableTaken_) {
    processTableTaken_ = true;
    processTable_.clear();
    const TProcessCalls& calls = ProcessCalls();
    if (calls.createSnapshot == nullptr || calls.processFirst == nullptr || calls.processNext == nullptr) {
      return nullptr;
    }
    // Every process of the system: the snapshot ignores the process id for a process list.
    HANDLE raw = calls.createSnapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == nullptr || raw == INVALID_HANDLE_VALUE) return nullptr;
    const framework::UniqueHandle snapshot(raw);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = calls.processFirst(snapshot.get(), &entry); more;
         more = calls.processNext(snapshot.get(), &entry)) {
      processTable_.emplace_back();
      processTable_.back().processId = entry.th32ProcessID;
      lstrcpynA(processTable_.back().exeFile, entry.szExeFile, MAX_PATH);
    }
  }
  // A plain scan: a few hundred processes cost about a microsecond per window, less than a sorted
  // table's code costs the program in bytes.
  for (const ProcessName& name : processTable_) {
    if (name.processId == processId) return name.exeFile;
  }
  return nullptr;
}

void TWinList::ReadClassName(HWND window, DWORD processId, char (&name)[kClassBufferSize]) {
  // A class name of another process costs the system two trips to the window server, the class
  // atom then its name; the windows of one class of one process share the name, so it is read
  // once per rebuild. This process's classes answer at once.
  const ATOM atom = processId != GetCurrentProcessId() ? static_cast<ATOM>(GetClassWord(window, GCW_ATOM)) : 0;
  if (atom != 0) {
    for (const ClassName& known : classNames_) {
      if (known.atom == atom && known.processId == processId) {
        lstrcpynA(name, known.name, kClassBufferSize);
        return;
      }
    }
  }
  name[0] = '\0';
  GetClassNameA(window, name, kClassMaxCount);
  if (atom == 0) return;
  classNames_.emplace_back();
  classNames_.back().processId = processId;
  classNames_.back().atom = atom;
  lstrcpynA(classNames_.back().name, name, kClassBufferSize);
}

void TWinList::AddWindow(HWND window) {
  CollectedWindow seen;
  seen.window = window;
  seen.styleRead = false;
  seen.ownerless = false;
  ReadTitle(window, seen.title);
  ForgetProcesses();  // on its own, outside a rebuild: the processes as they are now
  AppendEntry(seen);
  ForgetProcesses();
}

void TWinList::AppendEntry(const CollectedWindow& seen) {
  const HWND window = seen.window;
  auto info = std::make_unique<TWinInfo>();
  info->Handle = window;
  DWORD processId = 0;
  info->ThreadID = GetWindowThreadProcessId(window, &processId);
  info->ProcessID = processId;
  // What the gates have read is not read again. GWLP_HWNDPARENT of a top-level window is its
  // owner, which a window past the taskbar gate has not.
  info->Style = seen.styleRead ? seen.style : static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  info->ExStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
  info->Parent = seen.ownerless ? nullptr : reinterpret_cast<HWND>(GetWindowLongPtrA(window, GWLP_HWNDPARENT));
  char className[kClassBufferSize];
  ReadClassName(window, processId, className);
  info->ClassName = className;

  // Reading another process's window text sends no message, so a hung program cannot block this.
  info->ParentName = info->Parent != nullptr ? WindowTitle(info->Parent) : kNoOwnerName;
  if (info->ParentName.empty()) info->ParentName = kEmptyOwnerName;

  if (const char* exeName = ExeNameOf(processId)) info->ExeName = exeName;

  entries_.push_back(std::move(info));
  windowList_.AddObject(seen.title, entries_.back().get());
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
