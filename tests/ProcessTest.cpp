// Command runner: what the started process receives, the completion report from the worker, and
// the component's end while its workers still wait.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "framework/Application.h"
#include "framework/FormText.h"
#include "framework/Forms.h"
#include "launch/Process.h"
#include "tests/LaunchTestSupport.h"
#include "tests/TestSupport.h"

using launch::TProcess;
using launch::TShowWindow;
using launchtest::ChildPath;
using launchtest::WaitForReport;

namespace {
// What OnFinished saw, filled on the worker thread.
struct Finishes {
  struct Call {
    framework::TObject* sender;
    uint32_t exitCode;
    DWORD threadId;
  };
  std::mutex lock;
  std::vector<Call> calls;

  launch::TProcessEvent Handler() {
    return [this](framework::TObject* sender, uint32_t exitCode) {
      std::lock_guard<std::mutex> guard(lock);
      calls.push_back({sender, exitCode, GetCurrentThreadId()});
    };
  }
  size_t Count() {
    std::lock_guard<std::mutex> guard(lock);
    return calls.size();
  }
  bool WaitFor(size_t count, DWORD timeoutMs = static_cast<DWORD>(testsupport::TimeBound(5000))) {
    return testsupport::PumpUntil([&] { return Count() >= count; }, timeoutMs);
  }
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string CurrentDirectory() {
  char directory[MAX_PATH * 2] = "";
  GetCurrentDirectoryA(sizeof directory, directory);
  return directory;
}
}  // namespace

TEST(ProcessStart, EveryShowWindowValueReachesTheChildThroughItsTable) {
  testsupport::TempDir dir;
  // wShowWindow for swHide .. swShowNormal, in declaration order.
  const unsigned expected[] = {0, 3, 6, 9, 5, 10, 3, 2, 7, 8, 4, 1};
  TProcess process(nullptr);
  Finishes finishes;
  process.SetWait(true);
  process.SetOnFinished(finishes.Handler());
  for (int value = 0; value < 12; ++value) {
    const std::string report = dir / ("show" + std::to_string(value) + ".txt");
    process.SetShowWindow(static_cast<TShowWindow>(value));
    process.SetCommand(Quoted(ChildPath()) + " --report " + Quoted(report));
    process.Execute();
    ASSERT_TRUE(finishes.WaitFor(static_cast<size_t>(value) + 1)) << value;
    const launchtest::Report child = WaitForReport(report);
    EXPECT_EQ(child.at("ShowWindow"), std::to_string(expected[value])) << value;
    EXPECT_EQ(child.at("StartupFlags"), "0x1") << value;
  }
}

TEST(ProcessStart, TheCommandLineIsPassedUnchangedWithNoConsoleOfItsOwn) {
  testsupport::TempDir dir;
  const std::string report = dir / "report.txt";
  // Extra blanks and quotes stay exactly as given.
  const std::string command =
      Quoted(launchtest::ConsoleChildPath()) + "  --report " + Quoted(report) + "  \"two words\"  ";
  TProcess process(nullptr);
  Finishes finishes;
  process.SetCommand(command);
  process.SetWait(true);
  process.SetOnFinished(finishes.Handler());
  process.Execute();
  ASSERT_TRUE(finishes.WaitFor(1));
  const launchtest::Report child = WaitForReport(report);
  EXPECT_EQ(child.at("CommandLine"), command);
  EXPECT_EQ(child.at("CurrentDir"), CurrentDirectory());
  EXPECT_EQ(child.at("Priority"), "0x20");
  // No console of its own: it shares this process's console, or has none when this one has none.
  EXPECT_NE(child.at("ConsoleProcesses"), "1");
}

TEST(ProcessStart, DirectoryIsTrimmedUsedAndWrittenBack) {
  testsupport::TempDir dir;
  TProcess process(nullptr);
  Finishes finishes;
  process.SetWait(true);
  process.SetOnFinished(finishes.Handler());

  const std::string report = dir / "trimmed.txt";
  process.SetDirectory(" \t " + dir.Path() + "\r\n ");
  process.SetCommand(Quoted(ChildPath()) + " --report " + Quoted(report));
  process.Execute();
  ASSERT_TRUE(finishes.WaitFor(1));
  EXPECT_EQ(WaitForReport(report).at("CurrentDir"), dir.Path());
  EXPECT_EQ(process.Directory(), dir.Path());

  // Blanks only: empty, so the child inherits this process's directory.
  const std::string blankReport = dir / "blank.txt";
  process.SetDirectory("   ");
  process.SetCommand(Quoted(ChildPath()) + " --report " + Quoted(blankReport));
  process.Execute();
  ASSERT_TRUE(finishes.WaitFor(2));
  EXPECT_EQ(WaitForReport(blankReport).at("CurrentDir"), CurrentDirectory());
  EXPECT_EQ(process.Directory(), "");
}

TEST(ProcessFinished, IsRaisedOnceOnTheWorkerWithTheUnsignedExitCode) {
  TProcess process(nullptr);
  Finishes finishes;
  process.SetWait(true);
  process.SetOnFinished(finishes.Handler());
  process.SetCommand(Quoted(ChildPath()) + " --exit 3");
  process.Execute();
  ASSERT_TRUE(finishes.WaitFor(1));
  testsupport::PumpFor(100);
  ASSERT_EQ(finishes.Count(), 1u);
  EXPECT_EQ(finishes.calls[0].sender, &process);
  EXPECT_EQ(finishes.calls[0].exitCode, 3u);
  EXPECT_NE(finishes.calls[0].threadId, GetCurrentThreadId());

  process.SetCommand(Quoted(ChildPath()) + " --exit 0xC0000005");
  process.Execute();
  ASSERT_TRUE(finishes.WaitFor(2));
  EXPECT_EQ(finishes.calls[1].exitCode, 0xC0000005u);
}

TEST(ProcessFinished, IsNeverRaisedWithoutWaitOrWithoutAProcess) {
  testsupport::TempDir dir;
  const std::string report = dir / "report.txt";
  Finishes finishes;
  {
    // A component of its own: its worker reads Wait only after the child is created, so the child's
    // report does not mean Wait may change yet.
    TProcess noWait(nullptr);
    noWait.SetOnFinished(finishes.Handler());
    noWait.SetCommand(Quoted(ChildPath()) + " --report " + Quoted(report));
    noWait.Execute();  // Wait is False
    const DWORD child = launchtest::ReportedProcessId(WaitForReport(report));
    ASSERT_NE(child, 0u);  // it did start
  }

  TProcess process(nullptr);
  process.SetOnFinished(finishes.Handler());
  process.SetWait(true);
  process.SetCommand("");
  process.Execute();
  process.SetCommand(Quoted(dir / "missing.exe"));
  process.Execute();
  process.SetCommand(Quoted(ChildPath()));
  process.SetDirectory(dir / "no such folder");
  process.Execute();
  testsupport::PumpFor(500);
  EXPECT_EQ(finishes.Count(), 0u);
}

TEST(ProcessStartFailed, IsRaisedOnTheMainThreadWithTheSystemsCodeForAFailedStartOnly) {
  testsupport::TempDir dir;
  Finishes failures;
  TProcess process(nullptr);
  process.SetOnStartFailed(failures.Handler());
  process.SetCommand(Quoted(dir / "missing.exe"));
  process.Execute();
  ASSERT_TRUE(failures.WaitFor(1));
  EXPECT_EQ(failures.calls[0].sender, &process);
  EXPECT_EQ(failures.calls[0].exitCode, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(failures.calls[0].threadId, GetCurrentThreadId());

  const std::string report = dir / "report.txt";
  process.SetCommand(Quoted(ChildPath()) + " --report " + Quoted(report));
  process.Execute();
  ASSERT_NE(launchtest::ReportedProcessId(WaitForReport(report)), 0u);
  testsupport::PumpFor(300);
  EXPECT_EQ(failures.Count(), 1u);
}

TEST(ProcessFinished, TwoRunsReportInTheOrderTheirProcessesEnd) {
  testsupport::TempDir dir;
  for (const bool firstEndsFirst : {false, true}) {
    TProcess process(nullptr);
    Finishes finishes;
    process.SetWait(true);
    process.SetOnFinished(finishes.Handler());
    const std::string report = dir / (firstEndsFirst ? "a1.txt" : "a2.txt");
    process.SetCommand(Quoted(ChildPath()) + " --exit 1 --after " + (firstEndsFirst ? "100" : "3000") + " --report " +
                       Quoted(report));
    process.Execute();
    // The first worker has read Command: it may change now. The second child has the first one's
    // 3 s to start, plenty on a busy machine.
    WaitForReport(report);
    process.SetCommand(Quoted(ChildPath()) + " --exit 2 --after " + (firstEndsFirst ? "3000" : "100"));
    process.Execute();
    ASSERT_TRUE(finishes.WaitFor(2, 15000));
    EXPECT_EQ(finishes.calls[0].exitCode, firstEndsFirst ? 1u : 2u);
    EXPECT_EQ(finishes.calls[1].exitCode, firstEndsFirst ? 2u : 1u);
  }
}

TEST(ProcessLifetime, AComponentFreedWhileItsWorkersWaitIsNeverTouchedAgain) {
  testsupport::TempDir dir;
  const std::string report = dir / "report.txt";
  Finishes finishes;
  auto* process = new TProcess(nullptr);
  process->SetWait(true);
  process->SetOnFinished(finishes.Handler());
  process->SetCommand(Quoted(ChildPath()) + " --after 200 --report " + Quoted(report));
  process->Execute();
  process->Execute();
  WaitForReport(report);
  delete process;
  // The children run on and end; their workers find no component and report nothing.
  const DWORD child = launchtest::ReportedProcessId(WaitForReport(report));
  EXPECT_TRUE(testsupport::PumpUntil([&] { return !launchtest::ProcessAlive(child); }, 3000));
  testsupport::PumpFor(400);
  EXPECT_EQ(finishes.Count(), 0u);
}

TEST(ProcessLifetime, DestructionWaitsForAHandlerThatIsRunning) {
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  auto* process = new TProcess(nullptr);
  process->SetWait(true);
  process->SetOnFinished([&](framework::TObject* sender, uint32_t) {
    started = true;
    Sleep(300);
    // Still the live component: its destructor has not got past the running handler.
    ASSERT_EQ(sender, process);
    EXPECT_EQ(static_cast<TProcess*>(sender)->Command(), Quoted(ChildPath()));
    finished = true;
  });
  process->SetCommand(Quoted(ChildPath()));
  process->Execute();
  ASSERT_TRUE(testsupport::PumpUntil([&] { return started.load(); }, 5000));
  delete process;
  EXPECT_TRUE(finished);
}

TEST(ProcessLifetime, AHandlerMayFreeItsOwnComponent) {
  std::atomic<bool> returned{false};
  auto* process = new TProcess(nullptr);
  process->SetWait(true);
  process->SetOnFinished([&](framework::TObject* sender, uint32_t) {
    delete sender;
    returned = true;
  });
  process->SetCommand(Quoted(ChildPath()));
  process->Execute();
  EXPECT_TRUE(testsupport::PumpUntil([&] { return returned.load(); }, 5000));
  testsupport::PumpFor(100);
}

TEST(ProcessLifetime, RepeatedRunsLeaveNoHandlesOpen) {
  const auto cycle = [] {
    Finishes finishes;
    {
      TProcess process(nullptr);
      process.SetWait(true);
      process.SetOnFinished(finishes.Handler());
      process.SetCommand(Quoted(ChildPath()));
      process.Execute();
      ASSERT_TRUE(finishes.WaitFor(1));
    }
  };
  cycle();  // first use settles what stays (thread pools, the child's first start)
  testsupport::PumpFor(100);
  const int before = launchtest::CountOpenHandles();
  constexpr int kCycles = 100;
  for (int i = 0; i < kCycles; ++i) cycle();
  // The last workers close their handles just after their handler returns.
  int after = 0;
  testsupport::PumpUntil([&] { return (after = launchtest::CountOpenHandles()) <= before + 5; }, 3000);
  EXPECT_LE(after, before + 5) << "before " << before;
}

namespace {
using TProcessHost = testsupport::THostModule;
}  // namespace

TEST(ProcessProperties, ShowWindowAndWaitAreAlwaysStoredAndEmptyStringsNever) {
  TProcessHost host(nullptr);
  framework::ReadComponent(host,
                           "object Host: THostModule\n"
                           "  object Process1: TProcess\n"
                           "    Command = 'mail.exe /x'\n"
                           "    ShowWindow = swShowNormal\n"
                           "    Wait = True\n"
                           "  end\n"
                           "end\n",
                           framework::ClassRegistry().Add<TProcess>());
  auto* process = framework::ComponentAs<TProcess>(host.FindComponent("Process1"));
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->Command(), "mail.exe /x");
  EXPECT_EQ(process->ShowWindow(), TShowWindow::swShowNormal);
  EXPECT_TRUE(process->Wait());

  auto* fresh = new TProcess(&host);  // the host frees it
  fresh->SetName("Process2");
  const std::string text = framework::WriteComponent(host);
  const size_t second = text.find("object Process2");
  ASSERT_NE(second, std::string::npos) << text;
  const std::string freshText = text.substr(second);
  EXPECT_NE(freshText.find("ShowWindow = swHide"), std::string::npos) << text;
  EXPECT_NE(freshText.find("Wait = False"), std::string::npos) << text;
  EXPECT_EQ(freshText.find("Command"), std::string::npos) << text;
  EXPECT_EQ(freshText.find("Directory"), std::string::npos) << text;
}
