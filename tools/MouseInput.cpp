// Mouse input through SendInput, in absolute coordinates of the primary screen; the shown taskbar.
#include "tools/MouseInput.h"

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

}  // namespace mouseinput
