// Stand-in for the mail client: a window whose title contains "TOLVANE MAIL", ended by the user
// (closing it) or after a given time, with a given exit code. It logs started, its command line,
// each window, each time one of its windows gains the foreground, and ended.
//
//   DemoMailClient [--log <file>] [--title <text>] [--extra-window <title>]... [--close-after <ms>]
//                  [--exit <code>] [--bottom]
//
// Its windows are shown without activating them, so any foreground they gain comes from outside;
// with --bottom they are shown behind every other window.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testing/StandInLog.h"

namespace {
const standin::EventLog* eventLog = nullptr;  // the window procedure's only way to the log
HWND mainWindow = nullptr;
bool atBottom = false;

std::string Title(HWND window) {
  char title[256] = "";
  GetWindowTextA(window, title, sizeof title);
  return title;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) eventLog->Write("foreground " + Title(window));
      break;
    case WM_CLOSE:
      if (window == mainWindow) {
        eventLog->Write("closed by the user");
        PostQuitMessage(0);
      }
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const std::string& title, int index) {
  HWND window = CreateWindowExA(0, "DemoMailClient", title.c_str(), WS_OVERLAPPEDWINDOW, 120 + 40 * index,
                                100 + 40 * index, 480, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  // Wine may raise a window again as it maps it on the display: it is put back until it stays.
  for (int tries = 0; atBottom && GetWindow(window, GW_HWNDNEXT) != nullptr && tries < 200; ++tries) {
    SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(10);
  }
  eventLog->Write("window " + title);
  return window;
}
}  // namespace

int Run(int argc, char** argv) {
  const standin::EventLog log(standin::Option(argc, argv, "--log"));
  eventLog = &log;
  log.Write("started");
  log.Write(std::string("command line ") + GetCommandLineA());  // exactly as the launcher gave it

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "DemoMailClient";
  RegisterClassA(&windowClass);

  for (int i = 1; i < argc; ++i) atBottom = atBottom || std::string(argv[i]) == "--bottom";
  mainWindow = MakeWindow(standin::Option(argc, argv, "--title", "TOLVANE MAIL - Inbox"), 0);
  int index = 1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--extra-window") MakeWindow(argv[i + 1], index++);
  }

  const std::string closeAfter = standin::Option(argc, argv, "--close-after");
  if (!closeAfter.empty()) SetTimer(nullptr, 0, static_cast<UINT>(std::strtoul(closeAfter.c_str(), nullptr, 0)), nullptr);
  const UINT exitCode = static_cast<UINT>(std::strtoul(standin::Option(argc, argv, "--exit", "0").c_str(), nullptr, 0));

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) break;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  char code[32];
  wsprintfA(code, "ended with exit code 0x%lX", static_cast<unsigned long>(exitCode));
  log.Write(code);
  ExitProcess(exitCode);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return Run(__argc, __argv); }
