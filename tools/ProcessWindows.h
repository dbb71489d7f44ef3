// Finding a process's top-level windows by class: for the demo driver and the tests, which watch
// other programs' windows come and go.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace processwindows {

// The process's top-level windows, in the order the desktop lists them (topmost first).
std::vector<HWND> TopLevelWindowsOf(DWORD processId);
// The class name of a window.
std::string ClassOf(HWND window);

// The first top-level window of a process with the given class (only visible ones if asked).
HWND FindProcessWindow(DWORD processId, const std::string& className, bool visibleOnly = false);
// The same, waited for up to timeoutMs; nullptr when none came.
HWND WaitForProcessWindow(DWORD processId, const std::string& className, bool visibleOnly = false,
                          DWORD timeoutMs = 10000);

}  // namespace processwindows
