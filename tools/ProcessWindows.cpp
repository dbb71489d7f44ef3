// Top-level windows of a process, found by enumerating the desktop's windows.
#include "tools/ProcessWindows.h"

namespace processwindows {

namespace {
struct WindowSearch {
  DWORD processId;
  const std::string& className;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  char className[256] = "";
  GetClassNameA(window, className, sizeof className);
  if (processId == search->processId && search->className == className &&
      (!search->visibleOnly || IsWindowVisible(window))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND FindProcessWindow(DWORD processId, const std::string& className, bool visibleOnly) {
  WindowSearch search{processId, className, visibleOnly, nullptr};
  EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForProcessWindow(DWORD processId, const std::string& className, bool visibleOnly, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND window = FindProcessWindow(processId, className, visibleOnly)) return window;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(20);
  }
}

}  // namespace processwindows
