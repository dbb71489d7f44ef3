// Comparison programs for the idle benchmark: a window and a bare message loop that waits for
// messages and nothing else, or, given a period, the same loop woken by a SetTimer poll.
//
//   IdleLoop [poll ms]      (no period: never wakes by itself)
//
// It runs until it is closed or its process is ended.
#include <windows.h>

#include <cstdlib>

namespace {
constexpr char kClassName[] = "IdleLoopWindow";
constexpr UINT_PTR kPollTimer = 1;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      return 0;  // the poll itself: a wake-up that does nothing, which is what is being measured
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const UINT period = __argc > 1 ? static_cast<UINT>(std::strtoul(__argv[1], nullptr, 10)) : 0;

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, kClassName, period != 0 ? "IdleLoop (poll)" : "IdleLoop", WS_OVERLAPPEDWINDOW, 60,
                                60, 320, 200, nullptr, nullptr, instance, nullptr);
  // Not activated, so it takes nothing from the window that has the foreground.
  ShowWindow(window, SW_SHOWNOACTIVATE);
  if (period != 0) SetTimer(window, kPollTimer, period, nullptr);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
