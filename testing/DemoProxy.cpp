// Stand-in for the mail proxy: started without parameters, it owns a hidden top-level window (so
// the launcher can end it) and runs until it is terminated. It logs that it started, and its
// command line.
//
//   DemoProxy [--log <file>] [--no-window] [--exit-after <ms>]
//
// --no-window (or DEMO_PROXY_NO_WINDOW set in its environment): own no top-level window at all (the
// launcher then cannot end it).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "testing/StandInLog.h"

int Run(int argc, char** argv) {
  const standin::EventLog log(standin::Option(argc, argv, "--log"));
  // The launcher starts the proxy without parameters, so it can also be told through its environment.
  const bool noWindow = standin::HasFlag(argc, argv, "--no-window") ||
                        GetEnvironmentVariableA("DEMO_PROXY_NO_WINDOW", nullptr, 0) > 0;
  log.Write(noWindow ? "started without a window" : "started");
  log.Write(std::string("command line ") + GetCommandLineA());  // exactly as the launcher gave it

  if (!noWindow) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DemoProxy";
    RegisterClassA(&windowClass);
    CreateWindowExA(0, "DemoProxy", "Demo proxy", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                    GetModuleHandleA(nullptr), nullptr);
  }
  const std::string exitAfter = standin::Option(argc, argv, "--exit-after");
  if (!exitAfter.empty()) SetTimer(nullptr, 0, static_cast<UINT>(std::strtoul(exitAfter.c_str(), nullptr, 0)), nullptr);

  // A message loop even without a window: the launcher's idle wait needs one.
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) break;
    DispatchMessageA(&message);
  }
  log.Write("ended by itself");
  return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return Run(__argc, __argv); }
