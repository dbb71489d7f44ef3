// Stand-in for the mail proxy: started without parameters, it owns a hidden top-level window (so
// the launcher can end it) and runs until it is closed or terminated. It logs that it started, its
// command line and its current directory, when it is asked to close, and when it ends by itself.
//
//   DemoProxy [--log <file>] [--no-window] [--exit-after <ms>]      (DemoConsoleProxy: the same)
//
// The launcher starts it without parameters, so it is also told through its environment:
//   DEMO_PROXY_NO_WINDOW (or --no-window)  own no top-level window at all (the launcher then cannot
//                                          end it)
//   DEMO_PROXY_IGNORE_CLOSE                stay when asked to close (WM_CLOSE)
//   DEMO_PROXY_CLOSE_CODE=<code>           the exit code when it closes on request (default 0)
//   DEMO_PROXY_CRASH_AFTER=<ms>            end after that long with the code of an access violation
#include <windows.h>

#include <cstdlib>
#include <string>

#include "testing/StandInLog.h"

namespace {
const standin::EventLog* eventLog = nullptr;  // the window procedure's only way to the log

std::string Environment(const char* name) {
  char value[64] = "";
  return GetEnvironmentVariableA(name, value, sizeof value) > 0 ? value : "";
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      eventLog->Write("asked to close");
      if (!Environment("DEMO_PROXY_IGNORE_CLOSE").empty()) return 0;
      break;  // the default closes the window
    case WM_DESTROY:
      PostQuitMessage(static_cast<int>(std::strtoul(Environment("DEMO_PROXY_CLOSE_CODE").c_str(), nullptr, 0)));
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int Run(int argc, char** argv) {
  const standin::EventLog log(standin::Option(argc, argv, "--log"));
  eventLog = &log;
  const bool noWindow = standin::HasFlag(argc, argv, "--no-window") || !Environment("DEMO_PROXY_NO_WINDOW").empty();
  log.Write(noWindow ? "started without a window" : "started");
  log.Write(std::string("command line ") + GetCommandLineA());  // exactly as the launcher gave it
  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, directory);
  log.Write(std::string("current directory ") + directory);

  if (!noWindow) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DemoProxy";
    RegisterClassA(&windowClass);
    CreateWindowExA(0, "DemoProxy", "Demo proxy", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                    GetModuleHandleA(nullptr), nullptr);
  }
  const std::string exitAfter = standin::Option(argc, argv, "--exit-after");
  if (!exitAfter.empty()) SetTimer(nullptr, 0, static_cast<UINT>(std::strtoul(exitAfter.c_str(), nullptr, 0)), nullptr);
  const std::string crashAfter = Environment("DEMO_PROXY_CRASH_AFTER");
  const UINT_PTR crashTimer =
      crashAfter.empty() ? 0 : SetTimer(nullptr, 0, static_cast<UINT>(std::strtoul(crashAfter.c_str(), nullptr, 0)), nullptr);

  // A message loop even without a window: the launcher's idle wait needs one.
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) {
      if (crashTimer != 0 && message.wParam == crashTimer) {
        log.Write("crashed");
        ExitProcess(0xC0000005);
      }
      log.Write("ended by itself");
      return 0;
    }
    DispatchMessageA(&message);
  }
  log.Write("closed");
  return static_cast<int>(message.wParam);
}

// Built both ways: a windowed program, and a console one (DemoConsoleProxy) whose only window is its
// console's.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return Run(__argc, __argv); }
int main(int argc, char** argv) { return Run(argc, argv); }
