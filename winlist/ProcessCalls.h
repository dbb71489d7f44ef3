// The system calls behind a listed window's executable name and icon, which the window list's tests
// replace: they take the snapshot facility away, make it fail, or count icon extractions. Not part of
// the window list's interface; only the list and its tests include this.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

namespace winlist {

struct TProcessCalls {
  using CreateSnapshot = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
  using WalkProcesses = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32* entry);
  using ExtractIcon = HICON(WINAPI*)(HINSTANCE instance, LPCSTR file, UINT index);
  using ExtractAssociatedIcon = HICON(WINAPI*)(HINSTANCE instance, LPSTR path, WORD* index);
  CreateSnapshot createSnapshot = nullptr;  // any of the three null: no snapshot facility
  WalkProcesses processFirst = nullptr;
  WalkProcesses processNext = nullptr;
  ExtractIcon extractIcon = nullptr;
  ExtractAssociatedIcon extractAssociatedIcon = nullptr;
};
// The calls in use: the system's (Tool Help looked up in kernel32 by name on first use) until
// replaced.
const TProcessCalls& ProcessCalls();
// Puts other calls in place; returns the previous ones, to be put back.
TProcessCalls SetProcessCalls(const TProcessCalls& calls);

}  // namespace winlist
