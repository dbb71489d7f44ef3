// Drives one demo run of the launcher installed with the stand-ins, and prints a timeline:
//   DemoDriver <install folder> [seconds until the client is closed] [screenshot folder]
// The folder holds TolvaneLauncher.exe, the stand-ins and "TolvaneOndrel.ini" whose mail command
// logs to mail.log there. The driver starts the launcher, closes the client's window after the
// given seconds (default 5) as the user would, and tells when the proxy and the client started,
// when the client came to the front and ended, when the proxy was terminated and when and how the
// launcher ended. Given a screenshot folder, it also opens the launcher's tray menu with a real right
// click a little before closing the client, writes "menu-open" there and waits (at most 10 s) for
// the screenshot taker to write "menu-shot-done" before it dismisses the menu.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "testing/MouseInput.h"
#include "testing/ProcessWindows.h"
#include "testing/StandInLog.h"

namespace {
struct Line {
  long long us;
  std::string text;
};

std::vector<Line> ReadLog(const std::string& path, const std::string& label) {
  std::vector<Line> lines;
  for (const standin::LoggedEvent& event : standin::ReadEventLog(path)) {
    lines.push_back({event.us, label + " " + event.text});
  }
  return lines;
}

DWORD ProcessIdIn(const std::string& logPath) {
  const std::vector<standin::LoggedEvent> events = standin::ReadEventLog(logPath);
  return events.empty() ? 0 : static_cast<DWORD>(events.front().processId);
}

// The mail client's main window: of its windows, the last one the desktop lists is the first made.
HWND FindMailMainWindow(DWORD processId) {
  HWND main = nullptr;
  for (HWND window : processwindows::TopLevelWindowsOf(processId)) {
    if (processwindows::ClassOf(window) == "DemoMailClient") main = window;
  }
  return main;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: DemoDriver <install folder> [seconds]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const DWORD closeAfterMs = static_cast<DWORD>((argc > 2 ? std::atof(argv[2]) : 5.0) * 1000);
  const std::string mailLog = folder + "\\mail.log";
  const std::string proxyLog = folder + "\\DemoProxy.log";
  const std::string shotFolder = argc > 3 ? argv[3] : "";
  bool menuShown = shotFolder.empty();  // nothing to show without somebody to take the picture

  std::vector<Line> timeline;
  const long long start = standin::NowMicroseconds();
  DWORD error = ERROR_SUCCESS;
  const framework::ProcessHandles launcher =
      processwindows::StartProgram("\"" + folder + "\\TolvaneLauncher.exe\"", folder, error);
  if (!launcher.process) {
    std::printf("could not start the launcher (error %lu)\n", error);
    return 1;
  }
  timeline.push_back({start, "launcher started"});

  // Watch the proxy from the moment it has logged its start, to see when it ends.
  framework::UniqueHandle proxy;
  DWORD mailProcessId = 0;
  bool closed = false;
  long long proxyEnded = 0;
  for (;;) {
    if (!proxy) {
      if (const DWORD id = ProcessIdIn(proxyLog)) proxy.reset(OpenProcess(SYNCHRONIZE, FALSE, id));
    }
    if (mailProcessId == 0) mailProcessId = ProcessIdIn(mailLog);
    if (!menuShown && mailProcessId != 0 && standin::NowMicroseconds() - start >= closeAfterMs * 1000LL - 1200000) {
      menuShown = true;
      timeline.push_back({standin::NowMicroseconds(), "demo right-clicks the tray icon"});
      if (HWND menu = mouseinput::OpenTrayMenu(launcher.processId, 5, 1000)) {
        timeline.push_back({standin::NowMicroseconds(), "tray menu shown"});
        // The pointer goes onto the item, as the user's would, so the item lights up. The picture is
        // taken at once: the icon's tip shows half a second after the click, over the menu.
        RECT item{};
        GetWindowRect(menu, &item);
        mouseinput::MoveTo((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        Sleep(50);
        CloseHandle(
            CreateFileA((shotFolder + "\\menu-open").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        for (int wait = 0; wait < 500 && !FileExists(shotFolder + "\\menu-shot-done"); ++wait) Sleep(20);
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        timeline.push_back({standin::NowMicroseconds(), "demo dismisses the tray menu"});
      } else {
        timeline.push_back({standin::NowMicroseconds(), "the tray menu did not show"});
      }
    }
    if (!closed && mailProcessId != 0 && standin::NowMicroseconds() - start >= closeAfterMs * 1000LL) {
      if (HWND mainWindow = FindMailMainWindow(mailProcessId)) {
        timeline.push_back({standin::NowMicroseconds(), "demo closes the mail client's window"});
        PostMessageA(mainWindow, WM_CLOSE, 0, 0);
      }
      closed = true;
    }
    if (proxy && proxyEnded == 0 && WaitForSingleObject(proxy.get(), 0) == WAIT_OBJECT_0) {
      proxyEnded = standin::NowMicroseconds();
      timeline.push_back({proxyEnded, "proxy ended (terminated)"});
    }
    if (WaitForSingleObject(launcher.process.get(), 5) == WAIT_OBJECT_0) break;
    if (standin::NowMicroseconds() - start > 30 * 1000000LL) {
      timeline.push_back({standin::NowMicroseconds(), "launcher still running after 30 s: stopped"});
      TerminateProcess(launcher.process.get(), 1);
      break;
    }
  }
  const long long ended = standin::NowMicroseconds();
  DWORD exitCode = 0;
  GetExitCodeProcess(launcher.process.get(), &exitCode);
  char text[64];
  std::snprintf(text, sizeof text, "launcher ended with exit code %lu", exitCode);
  timeline.push_back({ended, text});

  for (const Line& line : ReadLog(mailLog, "mail client:")) timeline.push_back(line);
  for (const Line& line : ReadLog(proxyLog, "proxy:")) timeline.push_back(line);
  std::stable_sort(timeline.begin(), timeline.end(), [](const Line& a, const Line& b) { return a.us < b.us; });
  for (const Line& line : timeline) std::printf("%8.3f s  %s\n", (line.us - start) / 1e6, line.text.c_str());
  return 0;
}
