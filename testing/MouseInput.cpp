// Mouse input through SendInput, in absolute coordinates of the primary screen; the shown taskbar.
#include "testing/MouseInput.h"

#include "testing/ProcessWindows.h"

namespace mouseinput {

namespace {
INPUT MouseAt(int x, int y, DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = static_cast<LONG>(x * 65535LL / (GetSystemMetrics(SM_CXSCREEN) - 1));
  input.mi.dy = static_cast<LONG>(y * 65535LL / (GetSystemMetrics(SM_CYSCREEN) - 1));
  input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
  return input;
}
}  // namespace

void MoveTo(int x, int y) {
  INPUT move = MouseAt(x, y, 0);
  SendInput(1, &move, sizeof move);
}

void Click(int x, int y, DWORD down, DWORD up) {
  INPUT inputs[2] = {MouseAt(x, y, down), MouseAt(x, y, up)};
  SendInput(2, inputs, sizeof(INPUT));
}

HWND WaitForShownTaskbar(DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    for (HWND window = FindWindowExA(nullptr, nullptr, "Shell_TrayWnd", nullptr); window != nullptr;
         window = FindWindowExA(nullptr, window, "Shell_TrayWnd", nullptr)) {
      if (IsWindowVisible(window)) return window;
    }
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(20);
  }
}

HWND OpenTrayMenu(DWORD processId, int clicks, DWORD waitMs) {
  RECT tray{};
  if (!GetWindowRect(WaitForShownTaskbar(5000), &tray)) return nullptr;
  for (int click = 0; click < clicks; ++click) {
    // A menu still coming up from the click before is not clicked away.
    if (HWND menu = processwindows::FindProcessWindow(processId, "#32768", true)) return menu;
    Click(tray.right - 12, (tray.top + tray.bottom) / 2, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    if (HWND menu = processwindows::WaitForProcessWindow(processId, "#32768", true, waitMs)) return menu;
  }
  return nullptr;
}

void ClickOnlyMenuItem(HWND menu) {
  RECT item{};
  GetWindowRect(menu, &item);
  Click((item.left + item.right) / 2, (item.top + item.bottom) / 2, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
}

}  // namespace mouseinput
