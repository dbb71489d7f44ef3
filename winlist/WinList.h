// TWinList: lists the desktop's top-level windows that pass a title gate, a visibility gate and a
// taskbar-style gate, one string (the window's title) per window, each carrying a TWinInfo that
// describes the window. The list is rebuilt only when the set of qualifying windows changes; an
// internal timer can refresh it periodically and report a rebuilt list through OnChanged.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/Handles.h"
#include "framework/StringList.h"
#include "framework/Timer.h"

namespace winlist {

// Which windows the visibility gate lets through.
enum class TFind_ID : unsigned char { id_All, id_VisOnly, id_InvisOnly };

// What the list knows about one listed window. Owned by the list; frees its icon with itself.
class TWinInfo : public framework::TObject {
 public:
  HWND Parent = nullptr;  // the owner of the top-level window, or none
  HWND Handle = nullptr;
  DWORD ThreadID = 0;
  std::string ParentName;  // the owner's title; "Desktop" without owner, "NoName" for an empty title
  std::string ClassName;   // at most 99 characters
  std::string ExeName;     // the process's executable name as a process snapshot reports it
  // The icon of ExeName's executable, extracted at the first call (ExtractIconA, else
  // ExtractAssociatedIconA); null when there is no name or neither call gives one. The entry owns it.
  HICON Icon() const;
  DWORD ProcessID = 0;
  DWORD Style = 0;
  DWORD ExStyle = 0;

 private:
  // Extracted on demand: most readers never look at icons, and an extraction reads a file.
  mutable framework::UniqueIcon icon_;
  mutable bool iconExtracted_ = false;
};

class TWinList : public framework::TComponent {
 public:
  explicit TWinList(framework::TComponent* owner);
  ~TWinList() override;

  // Enumerates the top-level windows and rebuilds WindowList when the qualifying set has changed.
  // Never raises OnChanged.
  virtual void Refresh();
  // The handle of the window listed at Index; the list's index error for a bad index.
  HWND WindowHandle(int index) const;
  // Whether the latest Refresh rebuilt the list (true from construction until the first Refresh).
  bool Changed() const { return changed_; }

  // Taskbar style: not a popup, or a popup with a system menu and a minimise box that is enabled.
  static bool IsTaskBarStyle(HWND window);
  static bool IsTaskBarStyle(DWORD style);

  static constexpr int kTitleBufferSize = 256;  // titles of at most 254 characters
  static constexpr int kClassBufferSize = 257;  // class names of at most 99 characters

  const std::string& About() const { return about_; }
  void SetAbout(const std::string& value);
  TFind_ID WhatDoFind() const { return whatDoFind_; }
  void SetWhatDoFind(TFind_ID value) { whatDoFind_ = value; }
  framework::TStringList& WindowList() { return windowList_; }
  const framework::TStringList& WindowList() const { return windowList_; }
  bool EmptyNames() const { return emptyNames_; }
  void SetEmptyNames(bool value) { emptyNames_ = value; }
  bool TaskBarSty() const { return taskBarSty_; }
  void SetTaskBarSty(bool value) { taskBarSty_ = value; }
  int TimerIntval() const { return timerIntval_; }
  void SetTimerIntval(int value);
  bool EnableTimer() const { return enableTimer_; }
  void SetEnableTimer(bool value);
  const framework::TNotifyEvent& OnChanged() const { return onChanged_; }
  void SetOnChanged(framework::TNotifyEvent handler) { onChanged_ = std::move(handler); }

  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }

 protected:
  // Describes one window and appends it, with its title, to WindowList. Its executable name comes
  // from a process snapshot taken for this call.
  void AddWindow(HWND window);
  void DoChanged();

 private:
  // A qualifying window as the enumeration saw it, so that its entry reads none of it again.
  struct CollectedWindow {
    HWND window;
    bool styleRead;  // style holds the window's style
    bool ownerless;  // the taskbar gate found no owner
    DWORD style;
    char title[kTitleBufferSize];
  };

  static BOOL CALLBACK CollectWindow(HWND window, LPARAM self);
  bool Qualifies(HWND window, CollectedWindow& seen) const;
  // Whether the windows just collected are the set recorded at the last rebuild.
  bool SameSetAsLastRebuild();
  void FreeEntries();
  // AddWindow with what the enumeration read and the current process table.
  void AppendEntry(const CollectedWindow& seen);
  // Starts a new look at the processes: a new snapshot at the next need, class names read again.
  void ForgetProcesses();
  // The executable name of a process from the process table, which is filled from one snapshot at
  // the first call after ForgetProcesses; null when the process has no entry.
  const char* ExeNameOf(DWORD processId);
  void ReadClassName(HWND window, DWORD processId, char (&name)[kClassBufferSize]);
  void TimerTick(framework::TObject* sender);

  TFind_ID whatDoFind_ = TFind_ID::id_VisOnly;
  framework::TStringList windowList_;
  // The TWinInfo objects WindowList's strings carry, in list order.
  std::vector<std::unique_ptr<TWinInfo>> entries_;
  bool emptyNames_ = false;
  bool enableTimer_ = false;
  bool taskBarSty_ = true;
  framework::TNotifyEvent onChanged_;
  framework::TTimer timer_;
  int timerIntval_ = 500;
  std::string about_;

  // Enumeration and change state. The buffers keep their capacity from one Refresh to the next,
  // so a refresh of an unchanged desktop allocates nothing.
  std::vector<CollectedWindow> collected_;  // qualifying windows in enumeration order
  std::vector<HWND> sorted_;                // the same, sorted, to compare as a set
  std::vector<HWND> lastRebuildSet_;        // sorted set of the last rebuild
  std::exception_ptr collectError_;         // raised in the callback, rethrown once the enumeration ends
  bool changed_ = true;

  // Executable names by process id, in the snapshot's order: one snapshot serves a whole rebuild.
  // Fixed-size names, so filling it again allocates nothing once the vector has grown.
  struct ProcessName {
    DWORD processId;
    char exeFile[MAX_PATH];
  };
  std::vector<ProcessName> processTable_;
  bool processTableTaken_ = false;
  // Class names of other processes' windows read during one rebuild, by process and class atom.
  struct ClassName {
    DWORD processId;
    ATOM atom;
    char name[kClassBufferSize];
  };
  std::vector<ClassName> classNames_;
};

}  // namespace winlist
