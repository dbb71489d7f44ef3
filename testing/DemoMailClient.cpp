// Stand-in for the mail client: a window whose title contains "TOLVANE MAIL", ended by the user
// (closing it) or after a given time, with a given exit code. It logs started, its command line,
// its current directory, each window, "windows settled" once their order on the desktop stays, each time one of its
// windows gains the foreground, and ended.
//
//   DemoMailClient [--log <file>] [--title <text>] [--extra-window <title>]... [--close-after <ms>]
//                  [--exit <code>] [--bottom] [--window-after <ms>] [--no-window] [--single]
//                  [--helper <ms>]
//
// Its windows are shown without activating them, so any foreground they gain comes from outside;
// with --bottom they are shown behind every other window. --window-after shows them only after a
// while (a slow start); --no-window never (a client that dies before it shows one). --single hands
// over to a copy already running, as many mail clients do: it ends 300 ms later with code 0,
// logging "handed over". --helper starts a helper program (a copy of this one without a window,
// logging to helper.log beside the log) that outlives the client by the given time.
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

// The main window of a copy already running, or null.
HWND RunningCopy() {
  for (HWND window = FindWindowExA(nullptr, nullptr, "DemoMailClient", nullptr); window != nullptr;
       window = FindWindowExA(nullptr, window, "DemoMailClient", nullptr)) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId() && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

void StartHelper(const std::string& log, const std::string& livesMs) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string folder = log.substr(0, log.find_last_of('\\') + 1);
  std::string commandLine = std::string("\"") + self + "\" --no-window --log \"" + folder + "helper.log\" --close-after " + livesMs;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    eventLog->Write("started a helper");
  }
}

HWND MakeWindow(const std::string& title, int index) {
  return CreateWindowExA(0, "DemoMailClient", title.c_str(), WS_OVERLAPPEDWINDOW, 120 + 40 * index, 100 + 40 * index,
                         480, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Shown together, once all are made: a look at the desktop finds all of them, or none.
void ShowWindows(const std::vector<HWND>& windows) {
  for (HWND window : windows) ShowWindow(window, SW_SHOWNOACTIVATE);
  for (HWND window : windows) {
    // Wine may raise a window again as it maps it on the display: it is put back until it stays.
    for (int tries = 0; atBottom && GetWindow(window, GW_HWNDNEXT) != nullptr && tries < 200; ++tries) {
      SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(10);
    }
    eventLog->Write("window " + Title(window));
  }
}

// Waits until the display has mapped the windows and their order on the desktop has stayed the same
// for a while (at most 2 s), then logs it: Wine may still reorder windows it has just mapped.
void SettleWindows() {
  std::string order;
  DWORD stableSince = GetTickCount();
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 2000 && GetTickCount() - stableSince < 200;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    std::string now;
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
      DWORD processId = 0;
      GetWindowThreadProcessId(window, &processId);
      if (processId == GetCurrentProcessId()) now += Title(window) + "|";
    }
    if (now != order) {
      order = now;
      stableSince = GetTickCount();
    }
    Sleep(10);
  }
  eventLog->Write("windows settled");
}
}  // namespace

int Run(int argc, char** argv) {
  const standin::EventLog log(standin::Option(argc, argv, "--log"));
  eventLog = &log;
  log.Write("started");
  log.Write(std::string("command line ") + GetCommandLineA());  // exactly as the launcher gave it
  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, directory);
  log.Write(std::string("current directory ") + directory);

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "DemoMailClient";
  RegisterClassA(&windowClass);

  if (standin::HasFlag(argc, argv, "--single") && RunningCopy() != nullptr) {
    log.Write("handed over");
    Sleep(300);
    log.Write("ended with exit code 0x0");
    return 0;
  }
  const std::string helperLives = standin::Option(argc, argv, "--helper");
  if (!helperLives.empty()) StartHelper(log.Path(), helperLives);
  const std::string windowAfter = standin::Option(argc, argv, "--window-after");
  if (!windowAfter.empty()) Sleep(static_cast<DWORD>(std::strtoul(windowAfter.c_str(), nullptr, 0)));

  atBottom = standin::HasFlag(argc, argv, "--bottom");
  if (!standin::HasFlag(argc, argv, "--no-window")) {
    mainWindow = MakeWindow(standin::Option(argc, argv, "--title", "TOLVANE MAIL - Inbox"), 0);
    std::vector<HWND> windows{mainWindow};
    for (int i = 1; i + 1 < argc; ++i) {
      if (std::string(argv[i]) == "--extra-window") windows.push_back(MakeWindow(argv[i + 1], static_cast<int>(windows.size())));
    }
    ShowWindows(windows);
    SettleWindows();
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
