// Drives one demo run of the launcher and tells what happened:
//   DemoDriver <launcher.exe> [seconds]
// starts the launcher in its own folder, waits for its window, reports its state, closes its main
// window after the given seconds (default 3) as the tray menu will, and prints its exit code.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/Handles.h"
#include "framework/Paths.h"

namespace {
struct Search {
  DWORD processId;
  const char* className;
  HWND found;
};

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  if (processId == search->processId && std::string(className) == search->className) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForWindow(DWORD processId, const char* className, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    Search search{processId, className, nullptr};
    EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    Sleep(20);
  }
  return nullptr;
}

double Seconds(DWORD since) { return (GetTickCount() - since) / 1000.0; }
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: DemoDriver <launcher.exe> [seconds]\n");
    return 2;
  }
  const std::string launcher = argv[1];
  const DWORD closeAfterMs = static_cast<DWORD>((argc > 2 ? std::atof(argv[2]) : 3.0) * 1000);
  const std::string folder = framework::ExtractFileDir(launcher);

  const DWORD start = GetTickCount();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string commandLine = "\"" + launcher + "\"";
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &info)) {
    std::printf("could not start %s (error %lu)\n", launcher.c_str(), GetLastError());
    return 1;
  }
  framework::ProcessHandles process = framework::ProcessHandles::Adopt(info);
  std::printf("%6.2f s  launcher started (process %lu)\n", Seconds(start), process.processId);

  HWND form = WaitForWindow(process.processId, "TForm1", 10000);
  HWND application = WaitForWindow(process.processId, "TApplication", 1000);
  if (form == nullptr || application == nullptr) {
    std::printf("%6.2f s  the launcher's windows did not appear\n", Seconds(start));
  } else {
    Sleep(300);
    std::printf("%6.2f s  launcher window up: application minimised=%s, main window visible=%s\n", Seconds(start),
                IsIconic(application) ? "yes" : "no", IsWindowVisible(form) ? "yes" : "no");
    Sleep(closeAfterMs);
    std::printf("%6.2f s  closing the launcher's main window\n", Seconds(start));
    PostMessageA(form, WM_CLOSE, 0, 0);
  }
  if (WaitForSingleObject(process.process.get(), 15000) != WAIT_OBJECT_0) {
    std::printf("%6.2f s  the launcher did not end; terminating it\n", Seconds(start));
    TerminateProcess(process.process.get(), 1);
    return 1;
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process.process.get(), &exitCode);
  std::printf("%6.2f s  launcher ended with exit code %lu\n", Seconds(start), exitCode);
  return 0;
}
