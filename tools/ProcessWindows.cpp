// Top-level windows of a process, found by enumerating the desktop's windows.
#include "tools/ProcessWindows.h"

namespace processwindows {

namespace {
struct WindowsOfProcess {
  DWORD processId;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindowOfProcess(HWND window, LPARAM parameter) {
  auto* collected = reinterpret_cast<WindowsOfProcess*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == collected->processId) collected->windows.push_back(window);
  return TRUE;
}
}  // namespace

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
  WindowsOfProcess collected{processId, {}};
  EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&collected));
  return collected.windows;
}

std::string ClassOf(HWND window) {
  char className[256] = "";
  GetClassNameA(window, className, sizeof className);
  return className;
}

HWND FindProcessWindow(DWORD processId, const std::string& className, bool visibleOnly) {
  for (HWND window : TopLevelWindowsOf(processId)) {
    if (ClassOf(window) == className && (!visibleOnly || IsWindowVisible(window))) return window;
  }
  return nullptr;
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
