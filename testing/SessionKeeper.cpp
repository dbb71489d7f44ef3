// Keeps a Wine session's shell alive between short test processes: a hidden window and a message
// loop, until the session's server ends it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "SessionKeeper";
  RegisterClassA(&windowClass);
  CreateWindowExA(WS_EX_TOOLWINDOW, "SessionKeeper", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
