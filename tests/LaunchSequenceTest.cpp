// The launcher end to end: the real program, installed in a temporary folder with the mail client
// and proxy stand-ins, run under Wine. Timings come from the stand-ins' logs and from watching the
// processes, all on the one machine-wide clock.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "app/ComData.h"
#include "framework/AnsiText.h"
#include "framework/Handles.h"
#include "testing/MouseInput.h"
#include "testing/StandInLog.h"
#include "tests/TestSupport.h"

using testsupport::BuiltProgram;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

using LogEvent = standin::LoggedEvent;
using standin::FindEvent;

double Ms(long long from, long long to) { return (to - from) / 1000.0; }
// A time in milliseconds as a stand-in's option takes it.
std::string Whole(double milliseconds) { return std::to_string(static_cast<long>(milliseconds)); }

// A variable in this process's environment, which the launcher and the stand-ins it starts inherit,
// for the scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) { SetEnvironmentVariableA(name, value); }
  ~ScopedEnvironment() { SetEnvironmentVariableA(name_, nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
};

// One run of the mail client from its log: its start, its window brought to the front, its end.
struct ClientRun {
  explicit ClientRun(const class Installation& installation);
  // Each of the three is there; the test learns which one is not.
  bool Complete() const {
    EXPECT_NE(started, nullptr) << "the client did not start";
    EXPECT_NE(foreground, nullptr) << "the client's window was not brought to the front";
    EXPECT_NE(ended, nullptr) << "the client did not end";
    return started != nullptr && foreground != nullptr && ended != nullptr;
  }
  std::vector<LogEvent> events;
  const LogEvent* started = nullptr;
  const LogEvent* foreground = nullptr;
  const LogEvent* ended = nullptr;
};

// Waits on a process and stamps the moment it ended.
class ProcessWatch {
 public:
  explicit ProcessWatch(DWORD processId)
      : process_(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId)) {
    if (process_) {
      thread_ = std::thread([this] {
        WaitForSingleObject(process_.get(), INFINITE);
        endedUs_ = standin::NowMicroseconds();
      });
    }
  }
  ~ProcessWatch() {
    if (process_ && endedUs_ == 0) TerminateProcess(process_.get(), 1);  // leave nothing running
    if (thread_.joinable()) thread_.join();
  }
  // Once it says so, EndedUs holds the moment.
  bool Ended(DWORD waitMs = 0) {
    if (!process_ || WaitForSingleObject(process_.get(), waitMs) != WAIT_OBJECT_0) return false;
    while (endedUs_ == 0) Sleep(1);
    return true;
  }
  long long EndedUs() const { return endedUs_; }

 private:
  framework::UniqueHandle process_;
  std::atomic<long long> endedUs_{0};
  std::thread thread_;
};

// A launcher installed with the stand-ins in a folder of its own.
class Installation {
 public:
  explicit Installation(const std::string& suffix = "") : dir_(suffix) {
    for (const char* program : {"TolvaneLauncher.exe", "DemoMailClient.exe", "DemoProxy.exe"}) {
      CopyFileA(BuiltProgram(program).c_str(), (dir_ / program).c_str(), FALSE);
    }
  }

  const std::string& Folder() const { return dir_.Path(); }
  std::string Path(const std::string& name) const { return dir_ / name; }
  std::string MailCommand(const std::string& arguments) const {
    return "\"" + Path("DemoMailClient.exe") + "\" --log \"" + Path("mail.log") + "\" " + arguments;
  }
  void WriteSettings(const std::string& mail, const std::string& proxy) const {
    std::string content = "[Path]\r\n";
    if (!mail.empty()) content += "Mail=" + mail + "\r\n";
    if (!proxy.empty()) content += "Ondrel=" + proxy + "\r\n";
    WriteFileBytes(Path("TolvaneOndrel.ini"), content);
  }
  // A stand-in configuration program: a copy of the proxy stand-in, logging to Cunfigure.log.
  void AddConfigurationStandIn() const {
    CopyFileA(BuiltProgram("DemoProxy.exe").c_str(), Path("Cunfigure.exe").c_str(), FALSE);
  }

  std::vector<LogEvent> MailEvents() const { return standin::ReadEventLog(Path("mail.log")); }
  std::vector<LogEvent> HelperEvents() const { return standin::ReadEventLog(Path("helper.log")); }
  std::vector<LogEvent> ProxyEvents() const { return standin::ReadEventLog(Path(proxyLog_)); }
  // The console stand-in is the proxy from now on.
  void UseConsoleProxy() {
    CopyFileA(BuiltProgram("DemoConsoleProxy.exe").c_str(), Path("DemoConsoleProxy.exe").c_str(), FALSE);
    proxyLog_ = "DemoConsoleProxy.log";
  }
  std::vector<LogEvent> ConfigurationEvents() const { return standin::ReadEventLog(Path("Cunfigure.log")); }

  // Starts the launcher from another current directory (by default, a folder of no program's).
  void StartLauncher(const std::string& currentDirectory = "") {
    startedUs_ = standin::NowMicroseconds();
    launcher_ = StartAnotherLauncher(currentDirectory);
  }
  // Starts one more launcher of this folder, which the caller watches.
  using Started = framework::ProcessHandles;
  Started StartAnotherLauncher(const std::string& currentDirectory = "") const {
    const std::string commandLine = "\"" + Path("TolvaneLauncher.exe") + "\"";
    DWORD error = ERROR_SUCCESS;
    Started started = processwindows::StartProgram(
        commandLine, currentDirectory.empty() ? elsewhere_.Path() : currentDirectory, error);
    EXPECT_TRUE(started.process) << "error " << error << " starting " << commandLine;
    return started;
  }
  long long LauncherStartedUs() const { return startedUs_; }
  DWORD LauncherProcessId() const { return launcher_.processId; }

  // Waits for the launcher to end; returns false on time-out.
  bool WaitForLauncher(DWORD timeoutMs) {
    if (WaitForSingleObject(launcher_.process.get(), timeoutMs) != WAIT_OBJECT_0) return false;
    endedUs_ = standin::NowMicroseconds();
    GetExitCodeProcess(launcher_.process.get(), &exitCode_);
    return true;
  }
  long long LauncherEndedUs() const { return endedUs_; }
  DWORD LauncherExitCode() const { return exitCode_; }
  bool LauncherRunning() const { return WaitForSingleObject(launcher_.process.get(), 0) == WAIT_TIMEOUT; }

  // Waits until a log holds an event starting with prefix.
  template <class Read>
  const LogEvent WaitForEvent(Read read, const std::string& prefix, DWORD timeoutMs) const {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
      const std::vector<LogEvent> events = read();
      if (const LogEvent* event = FindEvent(events, prefix)) return *event;
      Sleep(20);
    }
    return LogEvent{};
  }

  ~Installation() {
    if (launcher_.process && LauncherRunning()) TerminateProcess(launcher_.process.get(), 1);
    // The stand-ins outlive the launcher in some runs: end them before the folder goes.
    for (const auto& events : {MailEvents(), HelperEvents(), ProxyEvents(), ConfigurationEvents()}) {
      for (const LogEvent& event : events) {
        framework::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, event.processId));
        if (process) {
          TerminateProcess(process.get(), 1);
          WaitForSingleObject(process.get(), 2000);
        }
      }
    }
  }

 private:
  TempDir dir_;
  TempDir elsewhere_;
  std::string proxyLog_ = "DemoProxy.log";
  framework::ProcessHandles launcher_;
  long long startedUs_ = 0;
  long long endedUs_ = 0;
  DWORD exitCode_ = 0;
};

ClientRun::ClientRun(const Installation& installation)
    : events(installation.MailEvents()),
      started(FindEvent(events, "started")),
      foreground(FindEvent(events, "foreground TOLVANE MAIL")),
      ended(FindEvent(events, "ended with exit code")) {}

// One ordinary run: the client ends by itself after closeAfterMs with exitCode.
void CheckOrdinaryRun(Installation& installation, const std::string& exitCode) {
  installation.WriteSettings(installation.MailCommand("--close-after 2500 --exit " + exitCode),
                             installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  const LogEvent proxyStarted = installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "started", 8000);
  ASSERT_NE(proxyStarted.processId, 0u) << "the proxy did not start";
  ProcessWatch proxy(proxyStarted.processId);

  ASSERT_TRUE(installation.WaitForLauncher(20000)) << "the launcher did not end";
  EXPECT_EQ(installation.LauncherExitCode(), 0u);

  const ClientRun run(installation);
  ASSERT_TRUE(run.Complete());
  const LogEvent* clientStarted = run.started;
  const LogEvent* foreground = run.foreground;
  const LogEvent* clientEnded = run.ended;
  EXPECT_LT(proxyStarted.us, clientStarted->us) << "the proxy starts before the client";
  // The search for the client's windows comes a second after the launcher started the client. The
  // proxy logged its start before the launcher went on (it waits for the proxy to be ready), so the
  // second counts from there at the earliest; the client's own line comes after its start-up.
  EXPECT_GE(Ms(proxyStarted.us, foreground->us), 990.0);
  EXPECT_LE(Ms(clientStarted->us, foreground->us), 3000.0);

  ASSERT_TRUE(proxy.Ended(2000)) << "the proxy was not terminated";
  EXPECT_GE(Ms(clientEnded->us, proxy.EndedUs()), 0.0);
  EXPECT_LE(Ms(clientEnded->us, proxy.EndedUs()), 2000.0);
  EXPECT_GE(Ms(clientEnded->us, installation.LauncherEndedUs()), 4900.0);
  EXPECT_LE(Ms(clientEnded->us, installation.LauncherEndedUs()), 8000.0);
}

}  // namespace

TEST(LaunchSequence, ClientExitingWithCode7EndsTheProxyAndTheLauncher5sLater) {
  Installation installation;
  CheckOrdinaryRun(installation, "7");
}

TEST(LaunchSequence, ClientExitingWithCode0EndsTheProxyAndTheLauncher5sLater) {
  Installation installation;
  CheckOrdinaryRun(installation, "0");
}

TEST(LaunchSequence, ClientCrashingWithAnAccessViolationCodeEndsTheProxyAndTheLauncher5sLater) {
  Installation installation;
  CheckOrdinaryRun(installation, "0xC0000005");
}

TEST(LaunchSequence, WorksTheSameFromAFolderWithBlanksAndJapaneseNames) {
  Installation installation(" \x95\x5C \x83\x4C\x83\x8B");  // " 表 キル"
  CheckOrdinaryRun(installation, "3");
}

namespace {
// The titles of a process's top-level windows that contain the launcher's search text, in the
// order the desktop lists them.
std::vector<std::string> MailWindowTitles(DWORD processId) {
  std::vector<std::string> titles;
  for (HWND window : processwindows::TopLevelWindowsOf(processId)) {
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    if (std::string(title).find("TOLVANE MAIL") != std::string::npos) titles.emplace_back(title);
  }
  return titles;
}
}  // namespace

TEST(LaunchSequence, EveryMatchingWindowComesForwardInListOrderButNotOtherLetterCase) {
  Installation installation;
  installation.WriteSettings(
      // Not ending in a quote: the platform's read would drop a pair enclosing the whole value.
      installation.MailCommand("--extra-window \"Tolvane Mail notes\" --extra-window \"Compose - TOLVANE MAIL\" "
                               "--close-after 2000"),
      installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  // Once the client's windows exist, and before the launcher looks (a second after the start),
  // note the order in which the desktop lists the matching ones.
  const LogEvent lastWindow =
      installation.WaitForEvent([&] { return installation.MailEvents(); }, "windows settled", 8000);
  ASSERT_NE(lastWindow.processId, 0u);
  const std::vector<std::string> expected = MailWindowTitles(lastWindow.processId);
  ASSERT_EQ(expected.size(), 2u);

  ASSERT_TRUE(installation.WaitForLauncher(20000));
  std::vector<std::string> broughtForward;
  for (const LogEvent& event : installation.MailEvents()) {
    if (event.text.compare(0, 11, "foreground ") == 0) broughtForward.push_back(event.text.substr(11));
  }
  EXPECT_EQ(broughtForward, expected);
}

TEST(LaunchSequence, AProxyWithoutATopLevelWindowKeepsRunning) {
  Installation installation;
  installation.WriteSettings(installation.MailCommand("--close-after 500"), installation.Path("DemoProxy.exe"));
  SetEnvironmentVariableA("DEMO_PROXY_NO_WINDOW", "1");  // inherited by the launcher and the proxy
  installation.StartLauncher();
  SetEnvironmentVariableA("DEMO_PROXY_NO_WINDOW", nullptr);
  const LogEvent proxyStarted =
      installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "started without a window", 8000);
  ASSERT_NE(proxyStarted.processId, 0u);
  ProcessWatch proxy(proxyStarted.processId);
  ASSERT_TRUE(installation.WaitForLauncher(20000));
  EXPECT_EQ(installation.LauncherExitCode(), 0u);
  EXPECT_FALSE(proxy.Ended(300));
}

namespace {
void CheckConfigurationRun(Installation& installation) {
  installation.AddConfigurationStandIn();
  installation.StartLauncher();
  const LogEvent started =
      installation.WaitForEvent([&] { return installation.ConfigurationEvents(); }, "started", 8000);
  EXPECT_NE(started.processId, 0u) << "the configuration program did not start";
  ASSERT_TRUE(installation.WaitForLauncher(20000));
  EXPECT_EQ(installation.LauncherExitCode(), 0u);
  EXPECT_GE(Ms(installation.LauncherStartedUs(), installation.LauncherEndedUs()), 4900.0);
  EXPECT_LE(Ms(installation.LauncherStartedUs(), installation.LauncherEndedUs()), testsupport::TimeBound(7500.0));
  EXPECT_TRUE(installation.MailEvents().empty()) << "the client was started";
  EXPECT_TRUE(installation.ProxyEvents().empty()) << "the proxy was started";
}
}  // namespace

TEST(LaunchSequence, WithoutAMailCommandTheConfigurationProgramStartsAndTheLauncherEnds) {
  Installation installation;
  installation.WriteSettings("", installation.Path("DemoProxy.exe"));
  CheckConfigurationRun(installation);
}

TEST(LaunchSequence, WithoutAProxyPathTheConfigurationProgramStartsAndTheLauncherEnds) {
  Installation installation;
  installation.WriteSettings(installation.MailCommand(""), "");
  CheckConfigurationRun(installation);
}

TEST(LaunchSequence, WithoutASettingsFileTheConfigurationProgramStartsAndTheLauncherEnds) {
  Installation installation;
  CheckConfigurationRun(installation);
}

// ---- notices from the tray icon ----

namespace {
// A path or command line of the system's code page, as the notices show it.
std::wstring Wide(const std::string& text) { return framework::AnsiToWide(text, CP_ACP).c_str(); }
// The system's text for an error code, as the notices give it.
std::wstring Reason(DWORD error) {
  wchar_t reason[160] = L"";
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                                160, nullptr);
  while (length > 0 && reason[length - 1] <= L' ') --length;
  return std::wstring(reason, length);
}
}  // namespace

// Told once, in the tray icon's notice; the client is still started, and without a click nothing
// else changes.
TEST(LauncherNotice, AProxyThatCannotStartIsToldAndTheClientStartsAllTheSame) {
  const testsupport::StandInShell shell(testsupport::StandInShell::Answer::Accept);
  Installation installation;
  const std::string proxy = installation.Path("No Such Proxy.exe");
  installation.WriteSettings(installation.MailCommand("--close-after 3000"), proxy);
  installation.StartLauncher();
  const std::vector<testsupport::StandInShell::Request> notices = shell.WaitForNotices(1, 8000);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].InfoTitle(), L"メールプロキシを起動できません");
  EXPECT_EQ(notices[0].Info(),
            L"「" + Wide(proxy) + L"」\n" + Reason(ERROR_FILE_NOT_FOUND) + L"\nクリックすると設定を開きます。");
  EXPECT_EQ(notices[0].InfoFlags() & 3u, static_cast<DWORD>(NIIF_ERROR));
  EXPECT_NE(installation.WaitForEvent([&] { return installation.MailEvents(); }, "started", 8000).processId, 0u);
  ASSERT_TRUE(installation.WaitForLauncher(15000)) << "the launcher did not end after its client";
  EXPECT_EQ(installation.LauncherExitCode(), 0u);
  EXPECT_EQ(shell.WaitForNotices(2, 0).size(), 1u) << "told more than once";
}

// The launcher stays with its menu, and the proxy with it: the user may start the client by hand.
// A click on the notice hands over to the settings: the proxy goes, Cunfigure comes, the launcher
// closes 5 s later.
TEST(LauncherNotice, AClientThatCannotStartIsToldAndAClickHandsOverToTheSettings) {
  const testsupport::StandInShell shell(testsupport::StandInShell::Answer::Accept);
  Installation installation;
  installation.AddConfigurationStandIn();
  const std::string command = "C:\\no\\such\\client.exe --inbox";
  installation.WriteSettings(command, installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  const LogEvent proxyStarted = installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "started", 8000);
  ASSERT_NE(proxyStarted.processId, 0u);
  ProcessWatch proxy(proxyStarted.processId);
  const std::vector<testsupport::StandInShell::Request> notices = shell.WaitForNotices(1, 8000);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].InfoTitle(), L"メールソフトを起動できません");
  EXPECT_EQ(notices[0].Info(),
            L"「" + Wide(command) + L"」\n" + Reason(ERROR_FILE_NOT_FOUND) + L"\nクリックすると設定を開きます。");
  Sleep(6500);  // longer than the close delay would be
  EXPECT_TRUE(installation.LauncherRunning());
  EXPECT_FALSE(proxy.Ended());
  EXPECT_TRUE(installation.ConfigurationEvents().empty());

  shell.ReportOnNotice(notices[0], NIN_BALLOONUSERCLICK);
  EXPECT_NE(installation.WaitForEvent([&] { return installation.ConfigurationEvents(); }, "started", 8000).processId,
            0u)
      << "the configuration program did not start";
  EXPECT_TRUE(proxy.Ended(3000)) << "the proxy was not ended";
  ASSERT_TRUE(installation.WaitForLauncher(10000));
  EXPECT_EQ(installation.LauncherExitCode(), 0u);
}

// No settings and no Cunfigure.exe: the user is told which file is missing and where, and has at
// least 10 s, and the notice's own time, to read it before the launcher closes.
TEST(LauncherNotice, WithoutSettingsAndWithoutTheConfigurationProgramTheUserIsToldBeforeTheLauncherCloses) {
  const testsupport::StandInShell shell(testsupport::StandInShell::Answer::Accept);
  Installation installation;
  installation.StartLauncher();
  const std::vector<testsupport::StandInShell::Request> notices = shell.WaitForNotices(1, 8000);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].InfoTitle(), L"設定プログラムを起動できません");
  EXPECT_EQ(notices[0].Info(), L"Cunfigure.exe が、フォルダー「" + Wide(installation.Folder()) +
                                   L"」に見つからないため、設定を開けません。ランチャーを終了します。");
  // The shell takes the notice away after its time.
  Sleep(3000);
  shell.ReportOnNotice(notices[0], NIN_BALLOONTIMEOUT);
  ASSERT_TRUE(installation.WaitForLauncher(15000));
  EXPECT_EQ(installation.LauncherExitCode(), 0u);
  EXPECT_GE(Ms(installation.LauncherStartedUs(), installation.LauncherEndedUs()), 10000.0);
}

// ---- one launcher per settings file ----

// A second start while the mail runs: it starts nothing, brings the mail forward, restored from
// minimised, and ends at once.
TEST(LauncherOnce, ASecondStartBringsTheMailForwardAndEndsStartingNothing) {
  Installation installation;
  installation.WriteSettings(installation.MailCommand("--close-after 8000"), installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  ASSERT_NE(installation.WaitForEvent([&] { return installation.MailEvents(); }, "foreground", 8000).processId, 0u);
  // The user works elsewhere, the mail minimised.
  const LogEvent window = installation.WaitForEvent([&] { return installation.MailEvents(); }, "window", 8000);
  HWND client = testsupport::FindProcessWindow(window.processId, "DemoMailClient");
  ASSERT_NE(client, nullptr);
  ShowWindow(client, SW_MINIMIZE);
  testsupport::Windows elsewhere;
  HWND other = elsewhere.Make("other work");
  SetForegroundWindow(other);
  ASSERT_TRUE(testsupport::PumpUntil([&] { return GetForegroundWindow() == other && IsIconic(client); }, 2000));

  const long long again = standin::NowMicroseconds();
  Installation::Started second = installation.StartAnotherLauncher();
  ASSERT_EQ(WaitForSingleObject(second.process.get(), 5000), WAIT_OBJECT_0) << "the second launcher did not end";
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(second.process.get(), &code);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(testsupport::PumpUntil(
      [&] {
        const std::vector<LogEvent> mail = installation.MailEvents();
        return std::any_of(mail.begin(), mail.end(), [&](const LogEvent& e) {
          return e.us > again && e.text.rfind("foreground TOLVANE MAIL", 0) == 0;
        });
      },
      3000))
      << "the mail was not brought forward again";
  EXPECT_FALSE(IsIconic(client)) << "brought forward, the mail stayed minimised";
  const std::vector<LogEvent> mail = installation.MailEvents();
  EXPECT_EQ(std::count_if(mail.begin(), mail.end(), [](const LogEvent& e) { return e.text == "started"; }), 1);
  const std::vector<LogEvent> proxy = installation.ProxyEvents();
  EXPECT_EQ(std::count_if(proxy.begin(), proxy.end(), [](const LogEvent& e) { return e.text == "started"; }), 1);
  EXPECT_TRUE(installation.LauncherRunning());
}

// A launcher only closing (its client ended) no longer counts: a start then runs the whole sequence.
TEST(LauncherOnce, AStartWhileTheLastOneOnlyClosesRunsTheWholeSequence) {
  Installation installation;
  installation.WriteSettings(installation.MailCommand("--close-after 1500"), installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  ASSERT_NE(installation.WaitForEvent([&] { return installation.MailEvents(); }, "ended", 10000).processId, 0u);
  Sleep(300);  // the end is reported
  ASSERT_TRUE(installation.LauncherRunning()) << "it was to close 5 s later";
  Installation::Started second = installation.StartAnotherLauncher();
  ASSERT_EQ(WaitForSingleObject(second.process.get(), 20000), WAIT_OBJECT_0) << "the second launcher did not end";
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(second.process.get(), &code);
  EXPECT_EQ(code, 0u);
  const std::vector<LogEvent> mail = installation.MailEvents();
  EXPECT_EQ(std::count_if(mail.begin(), mail.end(), [](const LogEvent& e) { return e.text == "started"; }), 2);
  const std::vector<LogEvent> proxy = installation.ProxyEvents();
  EXPECT_EQ(std::count_if(proxy.begin(), proxy.end(), [](const LogEvent& e) { return e.text == "started"; }), 2);
}

// The claim's name is taken by an object the launcher cannot open as its own: one of another kind
// here (a launcher running elevated holds one it may not open). Claimed all the same: nothing starts.
TEST(LauncherOnce, ANameTakenByAnObjectItCannotOpenCountsAsClaimed) {
  Installation installation;
  installation.WriteSettings(installation.MailCommand("--close-after 2000"), installation.Path("DemoProxy.exe"));
  const framework::UniqueHandle taken(
      CreateEventA(nullptr, TRUE, FALSE, TCommonData::ClaimName(installation.Path("TolvaneOndrel.ini")).c_str()));
  ASSERT_TRUE(taken);
  installation.StartLauncher();
  ASSERT_TRUE(installation.WaitForLauncher(5000)) << "it ran as if no launcher held its settings";
  EXPECT_EQ(installation.LauncherExitCode(), 0u);
  EXPECT_TRUE(installation.ProxyEvents().empty());
  EXPECT_TRUE(installation.MailEvents().empty());
}

// Its mail ended, a launcher still holds its settings while its proxy is being ended: a start then
// starts no second proxy beside the first, which may still hold the proxy's port.
TEST(LauncherOnce, AStartWhileTheProxyIsStillBeingEndedStartsNoSecondOne) {
  const ScopedEnvironment ignore("DEMO_PROXY_IGNORE_CLOSE", "1");  // given its 3 s
  Installation installation;
  installation.WriteSettings(installation.MailCommand("--close-after 1500"), installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  ASSERT_NE(installation.WaitForEvent([&] { return installation.MailEvents(); }, "ended", 10000).processId, 0u);
  ASSERT_NE(installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "asked to close", 2000).processId, 0u);
  Installation::Started second = installation.StartAnotherLauncher();
  ASSERT_EQ(WaitForSingleObject(second.process.get(), 5000), WAIT_OBJECT_0) << "the second launcher did not end";
  const std::vector<LogEvent> proxy = installation.ProxyEvents();
  EXPECT_EQ(std::count_if(proxy.begin(), proxy.end(), [](const LogEvent& e) { return e.text == "started"; }), 1);
}

TEST(LauncherOnce, LaunchersOfTwoFoldersBothRun) {
  Installation first;
  Installation second;
  for (Installation* installation : {&first, &second}) {
    installation->WriteSettings(installation->MailCommand("--close-after 2000"), installation->Path("DemoProxy.exe"));
    installation->StartLauncher();
  }
  for (Installation* installation : {&first, &second}) {
    EXPECT_NE(installation->WaitForEvent([&] { return installation->ProxyEvents(); }, "started", 8000).processId, 0u);
    EXPECT_NE(installation->WaitForEvent([&] { return installation->MailEvents(); }, "started", 8000).processId, 0u);
  }
  for (Installation* installation : {&first, &second}) {
    ASSERT_TRUE(installation->WaitForLauncher(15000));
    EXPECT_EQ(installation->LauncherExitCode(), 0u);
  }
}

namespace {
// Right-clicks the launcher's icon and chooses the menu's only item, as the user does.
void ChooseTheTrayMenuItem(DWORD launcherProcessId) {
  const HWND menu = mouseinput::OpenTrayMenu(launcherProcessId, 5, 1000);
  ASSERT_NE(menu, nullptr) << "no menu came up";
  mouseinput::ClickOnlyMenuItem(menu);
}
}  // namespace

TEST(LauncherTray, ChoosingExitFromTheTrayMenuEndsTheLauncherButNotTheMailClient) {
  Installation installation;
  installation.WriteSettings(installation.MailCommand("--close-after 30000"), installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  const LogEvent clientStarted = installation.WaitForEvent([&] { return installation.MailEvents(); }, "started", 8000);
  ASSERT_NE(clientStarted.processId, 0u);
  ProcessWatch client(clientStarted.processId);

  // In the tray, the taskbar button gone: the application window is minimised and hidden.
  HWND application = nullptr;
  for (int i = 0; i < 400 && application == nullptr; ++i) {
    for (HWND window = FindWindowExA(nullptr, nullptr, "TApplication", nullptr); window != nullptr;
         window = FindWindowExA(nullptr, window, "TApplication", nullptr)) {
      DWORD processId = 0;
      GetWindowThreadProcessId(window, &processId);
      if (processId == installation.LauncherProcessId() && IsIconic(window) && !IsWindowVisible(window)) {
        application = window;
      }
    }
    if (application == nullptr) Sleep(20);
  }
  ASSERT_NE(application, nullptr) << "the launcher did not go to the tray";

  ChooseTheTrayMenuItem(installation.LauncherProcessId());
  ASSERT_TRUE(installation.WaitForLauncher(5000)) << "choosing the item did not end the launcher";
  EXPECT_EQ(installation.LauncherExitCode(), 0u);
  EXPECT_FALSE(client.Ended(500)) << "the mail client must keep running";
}

TEST(LauncherTray, TheIconComesBackWhenTheShellRestarts) {
  Installation installation;
  installation.WriteSettings(installation.MailCommand("--close-after 30000"), installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  HWND iconWindow = processwindows::WaitForShownTrayIconWindow(installation.LauncherProcessId(), 8000);
  ASSERT_NE(iconWindow, nullptr) << "the launcher showed no tray icon";

  // A restarted shell has forgotten every icon, and tells every top-level window it is back.
  NOTIFYICONDATAA forgotten{};
  forgotten.cbSize = NOTIFYICONDATAA_V1_SIZE;
  forgotten.hWnd = iconWindow;
  forgotten.uID = 1;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &forgotten));
  ASSERT_EQ(processwindows::ShownTrayIconWindow(installation.LauncherProcessId()), nullptr);
  DWORD_PTR answer = 0;
  SendMessageTimeoutA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
  EXPECT_EQ(processwindows::WaitForShownTrayIconWindow(installation.LauncherProcessId(), 2000), iconWindow);

  HWND form = testsupport::FindProcessWindow(installation.LauncherProcessId(), "TForm1");
  ASSERT_NE(form, nullptr);
  PostMessageA(form, WM_CLOSE, 0, 0);
  ASSERT_TRUE(installation.WaitForLauncher(5000));
}

// The shell refuses the icon (it is not up yet at sign-in, or restarting): the launcher goes on
// without it, silently, and ends the proxy and itself as always.
TEST(LauncherTray, ARefusedIconLeavesTheSequenceAsItIs) {
  testsupport::StandInShell shell;
  ASSERT_TRUE(shell.Active());
  Installation installation;
  installation.WriteSettings(installation.MailCommand("--close-after 2000 --exit 0"),
                             installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  const LogEvent proxyStarted = installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "started", 8000);
  ASSERT_NE(proxyStarted.processId, 0u);
  ProcessWatch proxy(proxyStarted.processId);
  const LogEvent clientEnded = installation.WaitForEvent([&] { return installation.MailEvents(); }, "ended", 15000);
  ASSERT_NE(clientEnded.us, 0);
  EXPECT_EQ(processwindows::ShownTrayIconWindow(installation.LauncherProcessId()), nullptr);
  ASSERT_TRUE(proxy.Ended(5000)) << "the proxy was not terminated";
  ASSERT_TRUE(installation.WaitForLauncher(15000));
  EXPECT_EQ(installation.LauncherExitCode(), 0u);  // not an abort, and no box waited for
}

TEST(LauncherTray, ARefusedIconComesWhenTheShellIsBackAndItsMenuWorks) {
  testsupport::StandInShell shell;
  ASSERT_TRUE(shell.Active());
  Installation installation;
  installation.WriteSettings(installation.MailCommand("--close-after 30000"), installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  ASSERT_NE(installation.WaitForEvent([&] { return installation.MailEvents(); }, "started", 8000).processId, 0u);
  Sleep(500);  // the launcher has minimised and been refused
  EXPECT_EQ(processwindows::ShownTrayIconWindow(installation.LauncherProcessId()), nullptr);
  ASSERT_TRUE(installation.LauncherRunning());

  shell.Leave();
  DWORD_PTR answer = 0;
  SendMessageTimeoutA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
  ASSERT_NE(processwindows::WaitForShownTrayIconWindow(installation.LauncherProcessId(), 3000), nullptr)
      << "the icon did not come";
  ChooseTheTrayMenuItem(installation.LauncherProcessId());
  ASSERT_TRUE(installation.WaitForLauncher(5000)) << "choosing the item did not end the launcher";
  EXPECT_EQ(installation.LauncherExitCode(), 0u);
}

namespace {
BOOL CALLBACK AppendTopLevelWindow(HWND window, LPARAM windows) {
  reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  return TRUE;
}

// How many visible windows of a process come before a window in the desktop's order.
int VisibleWindowsInFront(DWORD processId, HWND window) {
  std::vector<HWND> order;
  EnumWindows(AppendTopLevelWindow, reinterpret_cast<LPARAM>(&order));
  int inFront = 0;
  for (HWND other : order) {
    if (other == window) return inFront;
    DWORD owner = 0;
    GetWindowThreadProcessId(other, &owner);
    if (owner == processId && IsWindowVisible(other)) ++inFront;
  }
  return -1;
}
}  // namespace

// The launcher's one look at the desktop comes a second after the client's start; 300 windows of
// another program, new to it and in front of the client's, may not make that look late.
TEST(LaunchSequence, OnACrowdedDesktopTheClientComesForwardASecondAfterItsStart) {
  constexpr int kCrowd = 300;
  // Another program's visible, titled windows.
  const processwindows::StayingProgram crowd(BuiltProgram("TestChild.exe"), "--windows " + std::to_string(kCrowd));
  ASSERT_TRUE(crowd.Ready()) << crowd.Describe();
  Installation installation;
  // The client shows its window behind the crowd.
  installation.WriteSettings(installation.MailCommand("--close-after 2500 --bottom"),
                             installation.Path("DemoProxy.exe"));
  installation.StartLauncher();
  const LogEvent proxyStarted = installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "started", 8000);
  ASSERT_NE(proxyStarted.processId, 0u) << "the proxy did not start";
  ProcessWatch proxy(proxyStarted.processId);
  const LogEvent window =
      installation.WaitForEvent([&] { return installation.MailEvents(); }, "window TOLVANE MAIL", 8000);
  ASSERT_NE(window.processId, 0u);
  HWND client = testsupport::FindProcessWindow(window.processId, "DemoMailClient");
  ASSERT_NE(client, nullptr);
  const int inFront = VisibleWindowsInFront(crowd.ProcessId(), client);

  ASSERT_TRUE(installation.WaitForLauncher(20000)) << "the launcher did not end";
  const ClientRun run(installation);
  ASSERT_TRUE(run.Complete());
  const LogEvent* clientStarted = run.started;
  const LogEvent* foreground = run.foreground;
  const LogEvent* clientEnded = run.ended;
  EXPECT_EQ(inFront, kCrowd) << "the crowd was not in front when the launcher looked";
  // A second, and the look at 300 new windows: a look that costs seconds (a file read per window)
  // would be far later. The benchmark holds the target of 1100 ms.
  EXPECT_LE(Ms(clientStarted->us, foreground->us), testsupport::TimeBound(1500.0));

  ASSERT_TRUE(proxy.Ended(2000)) << "the proxy was not terminated";
  EXPECT_GE(Ms(clientEnded->us, proxy.EndedUs()), 0.0);
  EXPECT_LE(Ms(clientEnded->us, proxy.EndedUs()), 2000.0);
}

// ---- following the mail, not the first process its command starts ----

namespace {
// Starts the launcher with a mail command and the proxy stand-in (proxy, in the installation), and
// watches the proxy it starts.
std::unique_ptr<ProcessWatch> StartWatchingTheProxy(Installation& installation, const std::string& mail,
                                                    const std::string& proxy = "DemoProxy.exe") {
  installation.WriteSettings(mail, installation.Path(proxy));
  installation.StartLauncher();
  const LogEvent started = installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "started", 8000);
  EXPECT_NE(started.processId, 0u) << "the proxy did not start";
  return started.processId != 0 ? std::make_unique<ProcessWatch>(started.processId) : nullptr;
}

// The command a user may give instead of the client's own: a starter that starts it and ends.
std::string ThroughAStarter(const std::string& clientCommand) { return "cmd.exe /c start \"\" " + clientCommand; }

// The client's event with a prefix, from the process that logged it (0: any), waited for.
LogEvent WaitForClientEvent(const Installation& installation, const std::string& prefix, DWORD processId = 0) {
  for (DWORD waited = 0; waited < 20000; waited += 20, Sleep(20)) {
    for (const LogEvent& event : installation.MailEvents()) {
      if ((processId == 0 || event.processId == processId) && event.text.rfind(prefix, 0) == 0) return event;
    }
  }
  ADD_FAILURE() << "the client never logged \"" << prefix << "\"";
  return LogEvent{};
}

// The mail ended at mailEndedUs: the proxy is ended then and not before, the launcher 5 s later.
void ExpectTheProxyAndTheLauncherEndAfter(long long mailEndedUs, ProcessWatch& proxy, Installation& installation) {
  ASSERT_TRUE(proxy.Ended(15000)) << "the proxy was not ended";
  EXPECT_GE(Ms(mailEndedUs, proxy.EndedUs()), 0.0) << "the proxy was ended while the mail ran";
  EXPECT_LE(Ms(mailEndedUs, proxy.EndedUs()), 2000.0);
  ASSERT_TRUE(installation.WaitForLauncher(15000)) << "the launcher did not end";
  EXPECT_EQ(installation.LauncherExitCode(), 0u);
  EXPECT_GE(Ms(mailEndedUs, installation.LauncherEndedUs()), 4900.0);
  EXPECT_LE(Ms(mailEndedUs, installation.LauncherEndedUs()), 8000.0);
}
}  // namespace

// The starter ends at once; the client it started is the mail. A helper the client leaves running
// (with no mail window) is not.
TEST(LaunchFollowsTheMail, AClientStartedThroughAStarterIsFollowedButNotTheHelperItLeaves) {
  Installation installation;
  std::unique_ptr<ProcessWatch> proxy =
      StartWatchingTheProxy(installation, ThroughAStarter(installation.MailCommand("--helper 20000 --close-after 4000")));
  ASSERT_TRUE(proxy);
  const LogEvent ended = WaitForClientEvent(installation, "ended with exit code");
  EXPECT_NE(FindEvent(installation.MailEvents(), "foreground TOLVANE MAIL"), nullptr) << "not brought forward";
  ExpectTheProxyAndTheLauncherEndAfter(ended.us, *proxy, installation);
  EXPECT_NE(FindEvent(installation.HelperEvents(), "started"), nullptr);
  EXPECT_EQ(FindEvent(installation.HelperEvents(), "ended"), nullptr) << "the helper was to outlive the mail";
}

// A client that dies before it shows any window ends the mail at once, also through a starter.
TEST(LaunchFollowsTheMail, AClientThatCrashesBeforeItsWindowEndsTheMailAtOnce) {
  Installation installation;
  std::unique_ptr<ProcessWatch> proxy = StartWatchingTheProxy(
      installation, ThroughAStarter(installation.MailCommand("--no-window --close-after 1500 --exit 0xC0000005")));
  ASSERT_TRUE(proxy);
  ExpectTheProxyAndTheLauncherEndAfter(WaitForClientEvent(installation, "ended with exit code").us, *proxy,
                                       installation);
}

// The user opened the client by hand; the command's copy hands over to it and ends. The open
// client is the mail, and is followed to its end.
TEST(LaunchFollowsTheMail, AClientAlreadyOpenThatTheCommandHandsOverToIsFollowed) {
  Installation installation;
  DWORD error = ERROR_SUCCESS;
  const framework::ProcessHandles open =
      processwindows::StartProgram(installation.MailCommand("--single --close-after " + Whole(testsupport::TimeBound(6000))),
                                   installation.Folder(), error);
  ASSERT_TRUE(open.process) << "error " << error;
  WaitForClientEvent(installation, "window", open.processId);
  std::unique_ptr<ProcessWatch> proxy = StartWatchingTheProxy(installation, installation.MailCommand("--single"));
  ASSERT_TRUE(proxy);
  EXPECT_NE(WaitForClientEvent(installation, "handed over").processId, 0u);
  const LogEvent ended = WaitForClientEvent(installation, "ended with exit code", open.processId);
  ExpectTheProxyAndTheLauncherEndAfter(ended.us, *proxy, installation);
}

// A slow start: the window comes up after the launcher's first look, and is brought forward as it
// comes.
TEST(LaunchFollowsTheMail, AWindowThatComesUpLateIsBroughtForwardAtOnce) {
  Installation installation;
  std::unique_ptr<ProcessWatch> proxy =
      StartWatchingTheProxy(installation, installation.MailCommand("--window-after 2500 --close-after 2000"));
  ASSERT_TRUE(proxy);
  const LogEvent window = WaitForClientEvent(installation, "window TOLVANE MAIL");
  const LogEvent foreground = WaitForClientEvent(installation, "foreground TOLVANE MAIL");
  ASSERT_NE(foreground.us, 0);
  // Logged once shown: the window was up for at least this long before it came forward.
  EXPECT_LE(Ms(window.us, foreground.us), 300.0);
  ExpectTheProxyAndTheLauncherEndAfter(WaitForClientEvent(installation, "ended with exit code").us, *proxy,
                                       installation);
}

// ---- the proxy: asked to close, in its own folder, its own end told of ----

namespace {
DWORD ExitCodeOf(DWORD processId) {
  framework::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
  DWORD code = STILL_ACTIVE;
  if (process && WaitForSingleObject(process.get(), 5000) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &code);
  return code;
}
}  // namespace

// Asked to close, the proxy closes itself: it ends with its own code, and is not terminated.
TEST(LauncherProxy, AProxyThatClosesWhenAskedEndsWithItsOwnCode) {
  const ScopedEnvironment code("DEMO_PROXY_CLOSE_CODE", "42");
  Installation installation;
  std::unique_ptr<ProcessWatch> proxy = StartWatchingTheProxy(installation, installation.MailCommand("--close-after 1500"));
  ASSERT_TRUE(proxy);
  const LogEvent proxyStarted = installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "started", 2000);
  const LogEvent ended = WaitForClientEvent(installation, "ended with exit code");
  ASSERT_TRUE(proxy->Ended(3000)) << "the proxy did not close";
  EXPECT_EQ(ExitCodeOf(proxyStarted.processId), 42u);
  const LogEvent asked = installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "asked to close", 2000);
  EXPECT_GE(Ms(ended.us, asked.us), 0.0);
  EXPECT_LE(Ms(ended.us, asked.us), 1000.0);
  EXPECT_NE(installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "closed", 2000).processId, 0u);
}

// A proxy that stays when asked is ended 3 s later, and the launcher still closes 5 s after the mail.
TEST(LauncherProxy, AProxyThatIgnoresTheRequestIsEndedThreeSecondsLater) {
  const ScopedEnvironment ignore("DEMO_PROXY_IGNORE_CLOSE", "1");
  Installation installation;
  std::unique_ptr<ProcessWatch> proxy = StartWatchingTheProxy(installation, installation.MailCommand("--close-after 1500"));
  ASSERT_TRUE(proxy);
  const LogEvent proxyStarted = installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "started", 2000);
  const LogEvent ended = WaitForClientEvent(installation, "ended with exit code");
  ASSERT_TRUE(proxy->Ended(8000)) << "the proxy was not ended";
  EXPECT_NE(installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "asked to close", 2000).processId, 0u);
  EXPECT_GE(Ms(ended.us, proxy->EndedUs()), 2900.0);
  EXPECT_LE(Ms(ended.us, proxy->EndedUs()), testsupport::TimeBound(3600.0));
  EXPECT_EQ(ExitCodeOf(proxyStarted.processId), 0u);
  ASSERT_TRUE(installation.WaitForLauncher(10000));
  EXPECT_GE(Ms(ended.us, installation.LauncherEndedUs()), 4900.0);
  EXPECT_LE(Ms(ended.us, installation.LauncherEndedUs()), 8000.0);
}

// A console program as the proxy: its console is its window, and it is ended with the mail.
TEST(LauncherProxy, AConsoleProxyIsEndedWithTheMail) {
  const ScopedEnvironment windowless("DEMO_PROXY_NO_WINDOW", "1");
  Installation installation;
  installation.UseConsoleProxy();
  std::unique_ptr<ProcessWatch> proxy =
      StartWatchingTheProxy(installation, installation.MailCommand("--close-after 1500"), "DemoConsoleProxy.exe");
  ASSERT_TRUE(proxy);
  ExpectTheProxyAndTheLauncherEndAfter(WaitForClientEvent(installation, "ended with exit code").us, *proxy,
                                       installation);
}

// Started at sign-in, the launcher's current directory is the system folder; the proxy and the
// client each get their own folder all the same.
TEST(LauncherProxy, EachProgramStartsInItsOwnFolderWhateverTheLaunchersCurrentDirectory) {
  Installation installation;
  char system[MAX_PATH] = "";
  GetSystemDirectoryA(system, MAX_PATH);
  installation.WriteSettings(installation.MailCommand("--close-after 1500"), installation.Path("DemoProxy.exe"));
  installation.StartLauncher(system);
  const std::string inOwnFolder = "current directory " + installation.Folder();
  EXPECT_EQ(installation.WaitForEvent([&] { return installation.ProxyEvents(); }, "current directory", 8000).text,
            inOwnFolder);
  EXPECT_EQ(WaitForClientEvent(installation, "current directory").text, inOwnFolder);
  ASSERT_TRUE(installation.WaitForLauncher(15000));
}

// The proxy crashes while the mail runs: the user is told once, with its code; a click starts it
// again (and its next crash is not told again).
TEST(LauncherProxy, AProxyThatCrashesIsToldOnceAndAClickStartsItAgain) {
  const testsupport::StandInShell shell(testsupport::StandInShell::Answer::Accept);
  const ScopedEnvironment crash("DEMO_PROXY_CRASH_AFTER", "1500");
  Installation installation;
  std::unique_ptr<ProcessWatch> proxy = StartWatchingTheProxy(installation, installation.MailCommand("--close-after 8000"));
  ASSERT_TRUE(proxy);
  const std::vector<testsupport::StandInShell::Request> notices = shell.WaitForNotices(1, 8000);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].InfoTitle(), L"メールプロキシが終了しました");
  EXPECT_EQ(notices[0].Info(), L"「" + Wide(installation.Path("DemoProxy.exe")) +
                                   L"」\n終了コード 0xC0000005\nクリックすると、もう一度起動します。");
  shell.ReportOnNotice(notices[0], NIN_BALLOONUSERCLICK);
  const auto starts = [&] {
    const std::vector<LogEvent> events = installation.ProxyEvents();
    return std::count_if(events.begin(), events.end(), [](const LogEvent& e) { return e.text == "started"; });
  };
  EXPECT_TRUE(testsupport::PumpUntil([&] { return starts() == 2; }, 5000)) << "the click did not start the proxy";
  EXPECT_EQ(shell.WaitForNotices(2, 3000).size(), 1u) << "told more than once";
  ASSERT_TRUE(installation.WaitForLauncher(20000));
}
