// Drives the demo's first run and prints a timeline:
//   FirstRunDriver <install folder> <screenshot folder>
// The folder holds TolvaneLauncher.exe, Cunfigure.exe and the stand-ins, and no settings file. The
// driver starts the launcher, which starts Cunfigure.exe; once its window is up it writes
// "first-run-open" in the screenshot folder and waits (at most 10 s) for "first-run-shot-done". Then
// it fills in the stand-ins as a user would type them (the mail client closing itself after 3 s) and
// presses OK, leaving the check boxes as they came. The launcher Cunfigure.exe starts then runs the
// sequence; the driver tells when each part happened and how that launcher ended.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "framework/Handles.h"
#include "cunfigure/ConfigDialog.h"
#include "testing/ProcessWindows.h"
#include "testing/StandInLog.h"

namespace {
bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

template <class Done>
bool WaitUntil(Done done, DWORD timeoutMs) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(20)) {
    if (GetTickCount() - start > timeoutMs) return false;
  }
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: FirstRunDriver <install folder> <screenshot folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string shots = argv[2];
  const long long start = standin::NowMicroseconds();
  std::vector<std::pair<long long, std::string>> timeline;  // printed in order at the end
  auto say = [&](long long us, const std::string& text) { timeline.emplace_back(us, text); };
  auto print = [&] {
    std::stable_sort(timeline.begin(), timeline.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [us, text] : timeline) std::printf("  %8.3f s  %s\n", (us - start) / 1e6, text.c_str());
  };

  const std::string launcher = folder + "\\TolvaneLauncher.exe";
  DWORD error = ERROR_SUCCESS;
  const framework::ProcessHandles first = processwindows::StartProgram("\"" + launcher + "\"", folder, error);
  if (!first.process) {
    std::printf("cannot start %s (error %lu)\n", launcher.c_str(), error);
    return 1;
  }
  say(start, "launcher started, with no settings file");

  DWORD configId = 0;
  HWND window = nullptr;
  WaitUntil(
      [&] {
        const std::vector<DWORD> ids = processwindows::ProcessesOf(folder + "\\Cunfigure.exe");
        configId = ids.empty() ? 0 : ids.front();
        window = configId == 0 ? nullptr : processwindows::FindProcessWindow(configId, "Cunfigure", true);
        return window != nullptr;
      },
      20000);
  if (window == nullptr) {
    say(standin::NowMicroseconds(), "Cunfigure.exe did not come up");
    print();
    return 1;
  }
  auto checked = [&](int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED ? "on" : "off"; };
  say(standin::NowMicroseconds(), std::string("Cunfigure.exe shows its window (start the launcher once saved: ") +
                                      checked(configure::kStartNowId) + ", at sign-in: " + checked(configure::kSignInId) + ")");
  CloseHandle(CreateFileA((shots + "\\first-run-open").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  WaitUntil([&] { return FileExists(shots + "\\first-run-shot-done"); }, 10000);

  // What the user types: the mail client (closing itself after 3 s) and the proxy.
  processwindows::SaveInConfigurationWindow(
      window, "\"" + folder + "\\DemoMailClient.exe\" --log \"" + folder + "\\mail.log\" --close-after 3000",
      folder + "\\DemoProxy.exe");
  say(standin::NowMicroseconds(), "the settings are filled in and OK pressed");
  framework::UniqueHandle config(OpenProcess(SYNCHRONIZE, FALSE, configId));
  if (config && WaitForSingleObject(config.get(), 10000) == WAIT_OBJECT_0) {
    say(standin::NowMicroseconds(), "Cunfigure.exe saved and closed");
  }

  const std::string proxyLog = folder + "\\DemoProxy.log";
  const std::string mailLog = folder + "\\mail.log";
  DWORD secondId = 0;
  WaitUntil(
      [&] {
        for (DWORD id : processwindows::ProcessesOf(launcher)) {
          if (id != first.processId) secondId = id;
        }
        return secondId != 0;
      },
      10000);
  framework::UniqueHandle second(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, secondId));
  if (second) say(standin::NowMicroseconds(), "a second launcher runs, started by Cunfigure.exe");
  if (WaitForSingleObject(first.process.get(), 10000) == WAIT_OBJECT_0) {
    say(standin::NowMicroseconds(), "the first launcher ended, 5 s after it started Cunfigure.exe");
  }
  WaitUntil([&] { return standin::FindEvent(standin::ReadEventLog(mailLog), "ended with exit code") != nullptr; },
            20000);
  for (const auto& [log, label] : {std::pair{proxyLog, "proxy:"}, std::pair{mailLog, "mail client:"}}) {
    for (const standin::LoggedEvent& event : standin::ReadEventLog(log)) {
      if (event.text.rfind("command line", 0) != 0) say(event.us, std::string(label) + " " + event.text);
    }
  }
  DWORD code = STILL_ACTIVE;
  if (second && WaitForSingleObject(second.get(), 15000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(second.get(), &code);
    say(standin::NowMicroseconds(), "the second launcher ended with exit code " + std::to_string(code));
  }
  print();
  return code == 0 ? 0 : 1;
}
