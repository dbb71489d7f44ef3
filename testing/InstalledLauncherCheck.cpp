// Runs an installed launcher (whichever build is in the folder) through one check and prints a line
// per step:
//   InstalledLauncherCheck <check> <install folder> [limit in seconds, default 300]
// The folder holds TolvaneLauncher.exe, Cunfigure.exe and the stand-ins; the check writes
// "TolvaneOndrel.ini" itself. Checks:
//   sequence  both settings: proxy, client, the client's window to the front, proxy terminated,
//             the launcher gone about 5 s after the client
//   no-proxy  the proxy's file is missing: the rest of that sequence
//   missing   no mail command: the configuration program is started, the launcher ends by itself
//   quit      the tray menu's only item ends a running launcher, and not the mail client
//   first-run no settings file: the launcher opens Cunfigure.exe and ends; Cunfigure, filled in and
//             saved as a user would, starts a launcher that runs the whole sequence
// Exit code 0: passed; 1: failed; 3: all was right until the launcher died or hung after starting the
// proxy (a failure; under an emulator, which stops programs by itself, the caller cannot tell).
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cunfigure/ConfigDialog.h"
#include "framework/Handles.h"
#include "testing/MouseInput.h"
#include "testing/ProcessWindows.h"
#include "testing/StandInLog.h"

namespace {

using framework::UniqueHandle;

constexpr int kPassed = 0;
constexpr int kFailed = 1;
constexpr int kStopped = 3;  // the launcher died or hung after starting the proxy

// A process watched until it ends; left running processes are ended when the watch goes.
class Watch {
 public:
  explicit Watch(DWORD processId)
      : process_(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, processId)) {}
  ~Watch() {
    if (process_ && !Ended()) TerminateProcess(process_.get(), 1);
  }
  bool Ended() {
    if (endedUs_ == 0 && process_ && WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) {
      endedUs_ = standin::NowMicroseconds();
    }
    return endedUs_ != 0;
  }
  bool Opened() const { return static_cast<bool>(process_); }
  long long EndedUs() const { return endedUs_; }
  DWORD ExitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  UniqueHandle process_;
  long long endedUs_ = 0;
};

class Check {
 public:
  Check(std::string folder, DWORD limitMs) : folder_(std::move(folder)), limitMs_(limitMs) {}

  std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
  DWORD LimitMs() const { return limitMs_; }
  bool Failed() const { return failed_; }

  void Expect(bool good, const std::string& what) {
    std::printf("  %s %s\n", good ? "ok:    " : "FAILED:", what.c_str());
    std::fflush(stdout);
    failed_ = failed_ || !good;
  }

  void WriteSettings(const std::string& mail, const std::string& proxy) const {
    std::string text = "[Path]\r\n";
    if (!mail.empty()) text += "Mail=" + mail + "\r\n";
    if (!proxy.empty()) text += "Ondrel=" + proxy + "\r\n";
    UniqueHandle file(CreateFileA(Path("TolvaneOndrel.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

  bool StartLauncher() {
    for (const char* log : {"mail.log", "demoproxy.log"}) DeleteFileA(Path(log).c_str());
    startedUs_ = standin::NowMicroseconds();
    DWORD error = ERROR_SUCCESS;
    const framework::ProcessHandles started =
        processwindows::StartProgram('"' + Path("TolvaneLauncher.exe") + '"', folder_, error);
    if (!started.process) {
      Expect(false, "start the launcher (error " + std::to_string(error) + ")");
      return false;
    }
    return FollowLauncher(started.processId);
  }
  // Follows another launcher from now on (one the first started through Cunfigure).
  bool FollowLauncher(DWORD processId) {
    launcher_ = std::make_unique<Watch>(processId);
    launcherId_ = processId;
    return launcher_->Opened();
  }
  DWORD LauncherId() const { return launcherId_; }
  bool LauncherEnded() { return launcher_ && launcher_->Ended(); }
  long long LauncherEndedUs() const { return launcher_ ? launcher_->EndedUs() : 0; }
  DWORD LauncherExitCode() const { return launcher_ ? launcher_->ExitCode() : STILL_ACTIVE; }
  // Seconds since the launcher was started, for the report.
  std::string At(long long us) const {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", (us - startedUs_) / 1e6);
    return text;
  }

  // Polls until found returns true or the limit passes; each poll also notes whether the launcher
  // has ended, so its end is timed to the poll.
  bool WaitUntil(const std::function<bool()>& found, DWORD limitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
      LauncherEnded();
      if (found()) return true;
      if (GetTickCount() - start >= limitMs) return false;
      Sleep(50);
    }
  }
  // The first event of a log whose text starts with prefix, waited for; empty when it never came,
  // or (stopWhenLauncherEnds) when the launcher ended first.
  standin::LoggedEvent WaitForEvent(const std::string& log, const std::string& prefix,
                                    bool stopWhenLauncherEnds = false, DWORD limitMs = 0) {
    standin::LoggedEvent event;
    WaitUntil(
        [&] {
          const std::vector<standin::LoggedEvent> events = standin::ReadEventLog(Path(log));
          if (const standin::LoggedEvent* found = standin::FindEvent(events, prefix)) event = *found;
          return event.us != 0 || (stopWhenLauncherEnds && LauncherEnded());
        },
        limitMs != 0 ? limitMs : limitMs_);
    return event;
  }

  void EndProcess(DWORD processId) const {
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    if (process) TerminateProcess(process.get(), 1);
  }

 private:
  std::string folder_;
  DWORD limitMs_;
  bool failed_ = false;
  std::unique_ptr<Watch> launcher_;  // a launcher still running at the end is ended with it
  DWORD launcherId_ = 0;
  long long startedUs_ = 0;
};

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string MailCommand(const Check& check, int closeAfterMs) {
  // The command does not end in a quote: the platform's read drops a pair enclosing a whole value.
  return '"' + check.Path("DemoMailClient.exe") + "\" --log \"" + check.Path("mail.log") + "\" --close-after " +
         std::to_string(closeAfterMs) + " --exit 0";
}

// From the client's start: its command line, its window to the front, its end, the launcher's end.
// proxy (optional) must be terminated between the client's end and the launcher's.
int JudgeClientRun(Check& check, const std::string& mail, Watch* proxy, long long proxyStartedUs) {
  // Once the proxy runs, the client follows within moments, even emulated.
  const standin::LoggedEvent client = check.WaitForEvent("mail.log", "started", true, proxy != nullptr ? 120000 : 0);
  if (client.us == 0) {
    if (proxy != nullptr) {
      if (check.LauncherEnded()) {
        std::printf("  the launcher died (exit code 0x%lx) after starting the proxy, before the mail client ran\n",
                    check.LauncherExitCode());
      } else {
        std::printf("  the launcher is stuck after starting the proxy: no mail client within 120 s\n");
      }
      return kStopped;
    }
    check.Expect(false, "the mail client was started");
    return kFailed;
  }
  Watch clientWatch(static_cast<DWORD>(client.processId));
  check.Expect(true, "the mail client started at " + check.At(client.us));
  const standin::LoggedEvent commandLine = check.WaitForEvent("mail.log", "command line ");
  check.Expect(commandLine.text == "command line " + mail,
               "its command line is the Mail value exactly: " +
                   commandLine.text.substr(std::min<size_t>(13, commandLine.text.size())));
  if (proxy != nullptr) check.Expect(proxyStartedUs < client.us, "the proxy was started before the mail client");
  const standin::LoggedEvent front = check.WaitForEvent("mail.log", "foreground ");
  check.Expect(front.us != 0 && front.text.find("TOLVANE MAIL") != std::string::npos,
               "its \"TOLVANE MAIL\" window was brought to the front" + (front.us ? " at " + check.At(front.us) : ""));
  const standin::LoggedEvent ended = check.WaitForEvent("mail.log", "ended");
  check.Expect(ended.us != 0, "the mail client ended" + (ended.us ? " at " + check.At(ended.us) : ""));
  if (ended.us == 0) return kFailed;
  if (proxy != nullptr && check.LauncherEnded() && check.LauncherEndedUs() < ended.us) {
    // It had nothing to do but wait.
    std::printf("  the launcher died (exit code 0x%lx) at %s, while the mail client ran\n", check.LauncherExitCode(),
                check.At(check.LauncherEndedUs()).c_str());
    return check.Failed() ? kFailed : kStopped;
  }
  if (proxy != nullptr) {
    check.WaitUntil([&] { return proxy->Ended(); }, check.LimitMs());
    check.Expect(proxy->Ended() && proxy->EndedUs() >= ended.us,
                 "the proxy was terminated after the client ended" +
                     (proxy->Ended() ? " (at " + check.At(proxy->EndedUs()) + ")" : ""));
    check.Expect(proxy->Ended() && proxy->ExitCode() == 0, "the proxy's exit code is 0");
  }
  check.WaitUntil([&] { return check.LauncherEnded(); }, check.LimitMs());
  if (proxy != nullptr && check.LauncherEnded() && check.LauncherExitCode() >= 0xC0000000u) {
    std::printf("  the launcher died (exit code 0x%lx) at %s, waiting to close\n", check.LauncherExitCode(),
                check.At(check.LauncherEndedUs()).c_str());
    return check.Failed() ? kFailed : kStopped;
  }
  const double afterClient = check.LauncherEnded() ? (check.LauncherEndedUs() - ended.us) / 1e6 : -1;
  char text[128];
  std::snprintf(text, sizeof text, "the launcher ended %.1f s after the client, with exit code %lu", afterClient,
                check.LauncherEnded() ? check.LauncherExitCode() : STILL_ACTIVE);
  // About 5 s: never sooner, and later only by the emulation's slowness.
  check.Expect(check.LauncherEnded() && afterClient >= 4.5 && afterClient <= 60 && check.LauncherExitCode() == 0, text);
  return check.Failed() ? kFailed : kPassed;
}

// A launcher started with both settings, from the proxy's start to its own end.
int JudgeSequence(Check& check, const std::string& mail, const std::string& proxyPath) {
  const standin::LoggedEvent proxy = check.WaitForEvent("demoproxy.log", "started", true);
  check.Expect(proxy.us != 0, "the proxy started" + (proxy.us ? " at " + check.At(proxy.us) : ""));
  if (proxy.us == 0) return kFailed;
  Watch proxyWatch(static_cast<DWORD>(proxy.processId));
  const standin::LoggedEvent commandLine = check.WaitForEvent("demoproxy.log", "command line ");
  const std::string expected = "command line " + AsciiLower(proxyPath) + " ";
  check.Expect(commandLine.text == expected,
               "its command line is the lower-cased path and one blank: \"" +
                   commandLine.text.substr(std::min<size_t>(13, commandLine.text.size())) + "\"");
  return JudgeClientRun(check, mail, &proxyWatch, proxy.us);
}

int Sequence(Check& check) {
  const std::string mail = MailCommand(check, 10000);
  const std::string proxyPath = check.Path("DemoProxy.exe");
  check.WriteSettings(mail, proxyPath);
  if (!check.StartLauncher()) return kFailed;
  return JudgeSequence(check, mail, proxyPath);
}

int NoProxy(Check& check) {
  const std::string mail = MailCommand(check, 10000);
  check.WriteSettings(mail, check.Path("NoSuchProxy.exe"));
  if (!check.StartLauncher()) return kFailed;
  return JudgeClientRun(check, mail, nullptr, 0);
}

int Missing(Check& check) {
  check.WriteSettings("", check.Path("DemoProxy.exe"));
  const std::string configuration = check.Path("Cunfigure.exe");
  if (!check.StartLauncher()) return kFailed;
  std::vector<DWORD> started;
  check.WaitUntil(
      [&] {
        started = processwindows::ProcessesOf(configuration);
        return !started.empty();
      },
      check.LimitMs());
  check.Expect(!started.empty(), "Cunfigure.exe was started from the launcher's folder");
  check.WaitUntil([&] { return check.LauncherEnded(); }, check.LimitMs());
  check.Expect(check.LauncherEnded() && check.LauncherExitCode() == 0,
               "the launcher ended by itself with exit code 0" +
                   (check.LauncherEnded() ? " at " + check.At(check.LauncherEndedUs()) : ""));
  if (started.empty()) return kFailed;
  // The configuration program is 32-bit too: it must come up, not only start.
  HWND window = nullptr;
  check.WaitUntil(
      [&] {
        for (HWND candidate : processwindows::TopLevelWindowsOf(started.front())) {
          if (IsWindowVisible(candidate)) window = candidate;
        }
        return window != nullptr;
      },
      check.LimitMs());
  check.Expect(window != nullptr, "the configuration program shows its window");
  for (DWORD processId : started) check.EndProcess(processId);
  return check.Failed() ? kFailed : kPassed;
}

int Quit(Check& check) {
  check.WriteSettings(MailCommand(check, 600000), check.Path("NoSuchProxy.exe"));
  if (!check.StartLauncher()) return kFailed;
  const standin::LoggedEvent front = check.WaitForEvent("mail.log", "foreground ", true);
  check.Expect(front.us != 0, "the launcher is running: the mail client is in front");
  if (front.us == 0) return kFailed;
  const standin::LoggedEvent client = check.WaitForEvent("mail.log", "started");
  Watch clientWatch(static_cast<DWORD>(client.processId));
  check.Expect(processwindows::WaitForShownTrayIconWindow(check.LauncherId(), check.LimitMs()) != nullptr,
               "its tray icon is shown");
  if (check.Failed()) return kFailed;
  // The launcher's is the only icon: the rightmost one. An emulated launcher lays its menu out
  // slowly: each click is given long to bring it up.
  const HWND menu = mouseinput::OpenTrayMenu(check.LauncherId(), 5, 20000);
  const bool menuCameUp = menu != nullptr;
  if (menuCameUp) {
    Sleep(1000);  // laid out before the click
    mouseinput::ClickOnlyMenuItem(menu);
    check.WaitUntil([&] { return check.LauncherEnded(); }, 30000);
  }
  check.Expect(menuCameUp, "a right click on the icon brings up its menu");
  check.Expect(check.LauncherEnded() && check.LauncherExitCode() == 0,
               "choosing its item ended the launcher with exit code 0");
  check.Expect(!clientWatch.Ended(), "the mail client keeps running");
  return check.Failed() ? kFailed : kPassed;
}

int FirstRun(Check& check) {
  DeleteFileA(check.Path("TolvaneOndrel.ini").c_str());
  if (!check.StartLauncher()) return kFailed;
  const DWORD first = check.LauncherId();
  HWND window = nullptr;
  check.WaitUntil(
      [&] {
        const std::vector<DWORD> ids = processwindows::ProcessesOf(check.Path("Cunfigure.exe"));
        window = ids.empty() ? nullptr : processwindows::FindProcessWindow(ids.front(), "Cunfigure", true);
        return window != nullptr;
      },
      check.LimitMs());
  check.Expect(window != nullptr, "the launcher found no settings and Cunfigure.exe shows its window");
  if (window == nullptr) return kFailed;
  check.Expect(IsDlgButtonChecked(window, configure::kStartNowId) == BST_CHECKED,
               "its box to start the launcher once saved is on");
  const std::string mail = MailCommand(check, 10000);
  const std::string proxyPath = check.Path("DemoProxy.exe");
  processwindows::SaveInConfigurationWindow(window, mail, proxyPath);
  check.WaitUntil([&] { return check.LauncherEnded(); }, check.LimitMs());
  check.Expect(check.LauncherEnded() && check.LauncherExitCode() == 0,
               "the first launcher ended by itself with exit code 0");
  DWORD second = 0;
  check.WaitUntil(
      [&] {
        for (DWORD id : processwindows::ProcessesOf(check.Path("TolvaneLauncher.exe"))) {
          if (id != first) second = id;
        }
        return second != 0;
      },
      check.LimitMs());
  check.Expect(second != 0 && check.FollowLauncher(second), "Cunfigure saved and started a launcher");
  if (check.Failed()) return kFailed;
  return JudgeSequence(check, mail, proxyPath);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: InstalledLauncherCheck sequence|no-proxy|missing|quit|first-run <folder> [limit s]\n");
    return 2;
  }
  const std::string name = argv[1];
  const DWORD limitMs = static_cast<DWORD>((argc > 3 ? std::atoi(argv[3]) : 300) * 1000);
  Check check(argv[2], limitMs);
  if (name == "sequence") return Sequence(check);
  if (name == "no-proxy") return NoProxy(check);
  if (name == "missing") return Missing(check);
  if (name == "quit") return Quit(check);
  if (name == "first-run") return FirstRun(check);
  std::fprintf(stderr, "unknown check %s\n", name.c_str());
  return 2;
}
