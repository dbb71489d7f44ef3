// Times the launcher's whole sequence against the stand-ins, N runs:
//   client start -> client's window fronted, client exit -> proxy asked to close (its WM_CLOSE
//   received), client exit -> proxy ended (it closes itself when asked), and client exit ->
//   launcher exit,
// then N runs with 300 visible windows of another program (TestChild.exe, beside this program) in
// front of the client's window: client start -> client's window fronted, client exit -> proxy
// ended (the launcher's last look at the desktop goes past the 300),
// and, in the same run, the batch file a user might write instead (started by Wine's cmd):
//   start the proxy, start /wait the client, taskkill the proxy.
// Usage (inside a Wine session): SequenceBench [runs]   (default 7)
// Ends with FIGURE|name|value|unit|comparison|target lines (medians) for bench/run-all.sh's table.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "framework/Paths.h"
#include "testing/ProcessWindows.h"
#include "testing/StandInLog.h"

namespace {

std::string ProgramDir() { return framework::ExtractFileDir(framework::ModuleFileName()); }

std::string MakeFolder(int run) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder =
      std::string(temp) + "seqbench_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(run);
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* program : {"TolvaneLauncher.exe", "DemoMailClient.exe", "DemoProxy.exe"}) {
    CopyFileA((ProgramDir() + "\\" + program).c_str(), (folder + "\\" + program).c_str(), FALSE);
  }
  return folder;
}

void RemoveFolder(const std::string& folder) {
  for (const char* name : {"TolvaneLauncher.exe", "DemoMailClient.exe", "DemoProxy.exe", "TolvaneOndrel.ini",
                           "mail.log", "DemoProxy.log", "run.bat"}) {
    DeleteFileA((folder + "\\" + name).c_str());
  }
  RemoveDirectoryA(folder.c_str());
}

void WriteText(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

framework::ProcessHandles Start(const std::string& commandLine, const std::string& directory) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, directory.c_str(),
                      &startup, &info)) {
    return {};
  }
  return framework::ProcessHandles::Adopt(info);
}

// Puts the client's window, once its log names it, at the bottom of the desktop's order (behind a
// crowd), before the launcher looks a second after the client's start. True once done.
bool PutClientBehind(const std::string& folder) {
  const auto mail = standin::ReadEventLog(folder + "\\mail.log");
  const standin::LoggedEvent* window = standin::FindEvent(mail, "window TOLVANE MAIL");
  if (window == nullptr) return false;
  for (HWND found = FindWindowExA(nullptr, nullptr, "DemoMailClient", nullptr); found != nullptr;
       found = FindWindowExA(nullptr, found, "DemoMailClient", nullptr)) {
    DWORD processId = 0;
    GetWindowThreadProcessId(found, &processId);
    if (processId == window->processId) {
      SetWindowPos(found, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      return true;
    }
  }
  return false;
}

// Watches the proxy from its first log line; returns when it ended, on the shared clock (0: never).
long long WatchProxy(const std::string& folder, HANDLE runner, long long& clientEnded, bool clientBehind = false) {
  framework::UniqueHandle proxy;
  long long proxyEnded = 0;
  bool behind = !clientBehind;
  const long long start = standin::NowMicroseconds();
  while (standin::NowMicroseconds() - start < 30000000LL) {
    if (!behind) behind = PutClientBehind(folder);
    if (!proxy) {
      const auto events = standin::ReadEventLog(folder + "\\DemoProxy.log");
      if (!events.empty()) proxy.reset(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(events[0].processId)));
    }
    if (proxy && proxyEnded == 0 && WaitForSingleObject(proxy.get(), 0) == WAIT_OBJECT_0) {
      proxyEnded = standin::NowMicroseconds();
    }
    if (proxyEnded != 0 && WaitForSingleObject(runner, 0) == WAIT_OBJECT_0) break;
    // Polled at 1 ms: short next to what is measured, and the waiting never sleeps past an end.
    HANDLE handles[2] = {runner, proxy ? proxy.get() : runner};
    WaitForMultipleObjects(2, handles, FALSE, 1);
  }
  const auto mail = standin::ReadEventLog(folder + "\\mail.log");
  const standin::LoggedEvent* ended = standin::FindEvent(mail, "ended");
  clientEnded = ended != nullptr ? ended->us : 0;
  return proxyEnded;
}

// Client exit -> the proxy asked to close (its WM_CLOSE received), in ms, from the logs (-1: never).
double AskedToClose(const std::string& folder, long long clientEnded) {
  const auto proxy = standin::ReadEventLog(folder + "\\DemoProxy.log");
  const standin::LoggedEvent* asked = standin::FindEvent(proxy, "asked to close");
  return asked != nullptr && clientEnded != 0 ? (asked->us - clientEnded) / 1000.0 : -1;
}

// Client start -> the client's window brought to the front, in ms, from the client's log (-1: never).
double Fronted(const std::string& folder) {
  const auto mail = standin::ReadEventLog(folder + "\\mail.log");
  const standin::LoggedEvent* started = standin::FindEvent(mail, "started");
  const standin::LoggedEvent* foreground = standin::FindEvent(mail, "foreground TOLVANE MAIL");
  return started != nullptr && foreground != nullptr ? (foreground->us - started->us) / 1000.0 : -1;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void Report(const char* what, const std::vector<double>& values) {
  if (values.empty()) {
    std::printf("  %-42s no samples\n", what);
    return;
  }
  std::printf("  %-42s median %9.1f ms   min %9.1f   max %9.1f   (%zu runs)\n", what, Median(values),
              *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()),
              values.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
  std::vector<double> launcherProxy, launcherProxyCrowded, launcherAsked, launcherExit, batchProxy, fronted,
      frontedCrowded;
  int neverFronted = 0;
  int neverFrontedCrowded = 0;

  // The launcher's runs: alone on the desktop, then with the crowd in front of the client.
  constexpr int kCrowd = 300;
  std::unique_ptr<processwindows::StayingProgram> crowd;
  for (int run = 0; run < 2 * runs; ++run) {
    const bool crowded = run >= runs;
    if (crowded && !crowd)
      crowd = std::make_unique<processwindows::StayingProgram>(ProgramDir() + "\\TestChild.exe",
                                                               "--windows " + std::to_string(kCrowd));
    const std::string folder = MakeFolder(run);
    const std::string client =
        "\"" + folder + "\\DemoMailClient.exe\" --log \"" + folder + "\\mail.log\" --close-after 1500";
    WriteText(folder + "\\TolvaneOndrel.ini",
              "[Path]\r\nMail=" + client + "\r\nOndrel=" + folder + "\\DemoProxy.exe\r\n");
    framework::ProcessHandles launcher = Start("\"" + folder + "\\TolvaneLauncher.exe\"", folder);
    long long clientEnded = 0;
    const long long proxyEnded = WatchProxy(folder, launcher.process.get(), clientEnded, crowded);
    WaitForSingleObject(launcher.process.get(), 30000);
    const long long launcherEnded = standin::NowMicroseconds();
    const double frontedMs = Fronted(folder);
    if (frontedMs >= 0) {
      (crowded ? frontedCrowded : fronted).push_back(frontedMs);
    } else {
      ++(crowded ? neverFrontedCrowded : neverFronted);
    }
    if (clientEnded != 0 && proxyEnded != 0) {
      (crowded ? launcherProxyCrowded : launcherProxy).push_back((proxyEnded - clientEnded) / 1000.0);
      if (!crowded) launcherExit.push_back((launcherEnded - clientEnded) / 1000.0);
    }
    const double asked = AskedToClose(folder, clientEnded);
    if (!crowded && asked >= 0) launcherAsked.push_back(asked);
    RemoveFolder(folder);
  }
  crowd.reset();

  for (int run = 0; run < runs; ++run) {
    const std::string folder = MakeFolder(runs + run);
    const std::string client =
        "\"" + folder + "\\DemoMailClient.exe\" --log \"" + folder + "\\mail.log\" --close-after 1500";
    WriteText(folder + "\\run.bat", "@echo off\r\nstart \"\" \"" + folder + "\\DemoProxy.exe\"\r\nstart \"\" /wait " +
                                        client + "\r\ntaskkill /F /IM DemoProxy.exe >nul 2>&1\r\n");
    framework::ProcessHandles batch = Start("cmd.exe /c \"" + folder + "\\run.bat\"", folder);
    long long clientEnded = 0;
    const long long proxyEnded = WatchProxy(folder, batch.process.get(), clientEnded);
    WaitForSingleObject(batch.process.get(), 30000);
    if (clientEnded != 0 && proxyEnded != 0) batchProxy.push_back((proxyEnded - clientEnded) / 1000.0);
    RemoveFolder(folder);
  }

  std::printf("Launch sequence, %d runs each:\n", runs);
  Report("launcher: client start -> window fronted", fronted);
  if (neverFronted > 0) std::printf("  %d runs never fronted the client's window\n", neverFronted);
  Report("  the same, 300 windows in front", frontedCrowded);
  if (neverFrontedCrowded > 0) std::printf("  %d runs never fronted the client's window\n", neverFrontedCrowded);
  Report("launcher: client exit -> proxy asked to close", launcherAsked);
  Report("launcher: client exit -> proxy ended", launcherProxy);
  Report("  the same, 300 windows in front", launcherProxyCrowded);
  Report("launcher: client exit -> launcher exit", launcherExit);
  Report("batch file: client exit -> proxy killed", batchProxy);
  // The launcher closes itself 5 s after the client's exit; 30 ms is what it may add to that.
  const auto figure = [](const std::vector<double>& values) {
    if (values.empty()) return std::string("-");
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", Median(values));
    return std::string(text);
  };
  // The launcher looks a second after it started the client; 100 ms is what the look may cost.
  std::printf("FIGURE|sequence: client start -> window fronted (median)|%s|ms|-|<= 1100\n", figure(fronted).c_str());
  std::printf("FIGURE|sequence: client start -> window fronted, %d windows in front (median)|%s|ms|%s (none)|<= 1100\n",
              kCrowd, figure(frontedCrowded).c_str(), figure(fronted).c_str());
  std::printf("FIGURE|sequence: client exit -> proxy asked to close (median)|%s|ms|-|<= 10\n",
              figure(launcherAsked).c_str());
  std::printf("FIGURE|sequence: client exit -> proxy ended (median)|%s|ms|%s (batch file)|<= 10\n",
              figure(launcherProxy).c_str(), figure(batchProxy).c_str());
  std::printf("FIGURE|sequence: client exit -> proxy ended, %d windows in front (median)|%s|ms|%s (none)|-\n",
              kCrowd, figure(launcherProxyCrowded).c_str(), figure(launcherProxy).c_str());
  std::printf("FIGURE|sequence: client exit -> launcher exit (median)|%s|ms|-|<= 5030\n", figure(launcherExit).c_str());
  return 0;
}
