// TExFile: starts an executable with parameters, show state, priority class and working directory,
// and either waits for it on the caller's thread or hands the wait to a worker (TProcThread) that
// reports the end on the main thread. Keeps a record per launch, refuses a second launch of the same
// file and identifier while the first runs, and can terminate a launch that owns a top-level window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/Handles.h"
#include "framework/Sync.h"
#include "framework/Thread.h"

namespace framework {
class PropertyTable;
}

namespace launch {

enum class TWindowType : unsigned char { wtNorm, wtMinimize, wtMaximize, wtHide, wtMinNoActivate, wtShowNoActivate };
enum class TUseEvent : unsigned char { ueAll, ueOnLaunchFailed, ueOnProcCompleted, ueNone };
enum class TPriorityClass : unsigned char { prNormal, prIdle, prHigh, prRealTime };

// The wShowWindow value and the priority creation flag each value stands for.
WORD WindowTypeCommand(TWindowType value);
DWORD PriorityClassFlag(TPriorityClass value);

// (sender, evFileName, evIdentifier, evRetValue, evTimedOut)
using TProcCompleted = framework::Event<framework::TObject*, const std::string&, const std::string&, int32_t, bool>;
// (sender, evFileName, evIdentifier, evErrorCode, evErrorMessage)
using TLaunchFailed =
    framework::Event<framework::TObject*, const std::string&, const std::string&, int32_t, const std::string&>;

namespace detail {

// The handles of one launched process, shared by its record and, for a watched launch, its worker.
// Once closed they are gone for good: a record asks here instead of keeping a raw handle value that
// may since have been closed or reused.
class LaunchedProcess {
 public:
  explicit LaunchedProcess(framework::ProcessHandles handles) : handles_(std::move(handles)) {}

  DWORD ProcessId() const { return handles_.processId; }
  // The process handle, for the one party that closes it (the worker or the synchronous wait).
  HANDLE Handle() const { return handles_.process.get(); }
  // Open and not yet signalled. A zero-time wait, so an exit code of 259 is no sign of life.
  bool Running();
  // Runs use(handle) while the handle is open and cannot be closed meanwhile; false when closed.
  template <class Use>
  bool WithOpenHandle(Use use) {
    std::lock_guard<framework::Mutex> guard(lock_);
    if (!handles_.process) return false;
    use(handles_.process.get());
    return true;
  }
  void CloseThread();
  // The process handle, then the thread handle.
  void Close();

 private:
  framework::Mutex lock_;
  framework::ProcessHandles handles_;
};

// What a TExFile shares with its workers. The stop event and the notification mutex close with the
// last owner, so never while a worker may still use them.
struct LaunchShared {
  framework::UniqueHandle stopEvent;    // manual-reset; set once, when the component is destroyed
  framework::UniqueHandle notifyMutex;  // one worker at a time in its notification step
  framework::Mutex lock;
  framework::ConditionVariable changed;
  int workers = 0;           // workers started and not yet done
  int handlersRunning = 0;   // completion handlers running on the main thread right now
};

}  // namespace detail

// One successful launch. The process and thread handles live in the shared LaunchedProcess, which
// tells whether they are still open.
struct AThreadRecord {
  std::string fileName;    // the lower-cased ProcFileName at launch
  std::string identifier;  // ProcIdentifier at launch
  std::shared_ptr<detail::LaunchedProcess> process;
  DWORD processId = 0;
  HWND foundWindow = nullptr;  // set by TerminateProc
  bool watched = false;        // asynchronous launch
};

// Waits for one asynchronously launched process (or for its component's end) and reports the end
// through the completion handler on the main thread. Frees itself.
class TProcThread : public framework::TThread {
 public:
  TProcThread(std::shared_ptr<detail::LaunchedProcess> process, std::shared_ptr<detail::LaunchShared> shared,
              std::string fileName, std::string identifier, TProcCompleted onProcCompleted, TUseEvent useEvent,
              DWORD waitTime);

  // Its results, valid once its wait has ended (for instance while its report runs).
  int32_t ReturnValue() const { return returnValue_; }
  bool TimedOut() const { return timedOut_; }

 protected:
  void Execute() override;

 private:
  void Notify();

  std::shared_ptr<detail::LaunchedProcess> process_;
  std::shared_ptr<detail::LaunchShared> shared_;
  std::string fileName_;
  std::string identifier_;
  TProcCompleted onProcCompleted_;
  TUseEvent useEvent_;
  DWORD waitTime_;
  int32_t returnValue_ = 0;
  bool timedOut_ = false;
};

// Gives a process that was asked to close its time, then terminates it (exit code 0) if it still runs.
class TCloseThread : public framework::TThread {
 public:
  TCloseThread(framework::UniqueHandle process, DWORD graceMs) : process_(std::move(process)), graceMs_(graceMs) {}

 protected:
  void Execute() override;

 private:
  framework::UniqueHandle process_;
  DWORD graceMs_;
};

class TExFile : public framework::TComponent {
 public:
  explicit TExFile(framework::TComponent* owner);
  // On the main thread, like every other use but TerminateProc. Releases every worker without a
  // report and waits for them to end (except one whose report is running on this very thread below
  // the destructor: it ends once that report returns). Started processes keep running, but one that
  // CloseProc asked to close is given the rest of its time first.
  ~TExFile() override;

  const std::string& Version() const { return version_; }
  void SetVersion(const std::string& value);
  const std::string& ProcFileName() const { return procFileName_; }
  void SetProcFileName(const std::string& value);
  const std::string& ProcParameters() const { return procParameters_; }
  void SetProcParameters(const std::string& value) { procParameters_ = value; }
  const std::string& ProcIdentifier() const { return procIdentifier_; }
  void SetProcIdentifier(const std::string& value) { procIdentifier_ = value; }
  const std::string& ProcCurrentDir() const { return procCurrentDir_; }
  void SetProcCurrentDir(const std::string& value) { procCurrentDir_ = value; }
  const TProcCompleted& OnProcCompleted() const { return onProcCompleted_; }
  void SetOnProcCompleted(TProcCompleted handler) { onProcCompleted_ = std::move(handler); }
  const TLaunchFailed& OnLaunchFailed() const { return onLaunchFailed_; }
  void SetOnLaunchFailed(TLaunchFailed handler) { onLaunchFailed_ = std::move(handler); }
  TWindowType WindowType() const { return windowType_; }
  void SetWindowType(TWindowType value) { windowType_ = value; }
  bool WaitUntilDone() const { return waitUntilDone_; }
  void SetWaitUntilDone(bool value) { waitUntilDone_ = value; }
  TUseEvent UseEvent() const { return useEvent_; }
  void SetUseEvent(TUseEvent value) { useEvent_ = value; }
  TPriorityClass Priority() const { return priority_; }
  void SetPriority(TPriorityClass value) { priority_ = value; }
  int32_t TimeOutSec() const { return timeOutSec_; }
  void SetTimeOutSec(int32_t value);

  // Starts ProcFileName. True: started (a synchronous launch also when its wait timed out).
  // False: a test or the start failed, and the failure has been reported. A process that was
  // created but could not be waited for to become idle (a console program) is still recorded and
  // watched like any other (ProcessCreated tells).
  bool Execute();
  // Terminates (exit code 0) the launch of the current ProcFileName and ProcIdentifier if its
  // process is still open to us and owns a top-level window.
  bool TerminateProc();
  // Asks the same launch to close, as Windows asks a program to: WM_CLOSE to each of its top-level
  // windows (a console program's console window among them, whose close the program is told of),
  // and terminates it (exit code 0) if it still runs graceMs later. Returns at once. False, and
  // nothing asked, when the process is not open to us or owns no top-level window.
  bool CloseProc(DWORD graceMs);

  // 0, a failure code (-1, -2, -4 or the system's), or -3 after a synchronous wait that timed out.
  int32_t LastErrorCode() const { return lastErrorCode_; }
  // Whether the latest Execute created a process, also when a later step of it failed (the wait
  // for a new program to become idle).
  bool ProcessCreated() const { return processCreated_; }
  // The latest synchronous wait's return value and timed-out flag.
  int32_t ReturnValue() const { return returnValue_; }
  bool TimedOut() const { return timedOut_; }
  // The wait time in milliseconds derived from TimeOutSec (INFINITE for 0).
  DWORD WaitTime() const { return waitTime_; }
  // The creation flags of the latest CreateProcessA call (priority class and new console).
  DWORD CreationFlags() const { return creationFlags_; }
  int RecordCount() const;

  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }

 private:
  // The launch steps: tests, command line, CreateProcessA, the idle wait when watched, the record.
  // A process whose idle wait failed is recorded, and the wait's code left in idleFailure to report.
  std::shared_ptr<detail::LaunchedProcess> Launch(bool watched, DWORD& idleFailure);
  // Runs use(record, handle) for the running launch of the current ProcFileName and ProcIdentifier
  // whose handle is still open; false when there is none.
  template <class Use>
  bool WithCurrentLaunch(Use use);
  void Purge();
  std::string CommandLine() const;
  void ReportFailure(int32_t code, const std::string& message);
  void ReportSystemError(DWORD code);

  std::string version_;
  std::string procFileName_;
  std::string lowerFileName_;
  std::string procParameters_;
  std::string procIdentifier_;
  std::string procCurrentDir_;
  TProcCompleted onProcCompleted_;
  TLaunchFailed onLaunchFailed_;
  TWindowType windowType_ = TWindowType::wtNorm;
  bool waitUntilDone_ = false;
  TUseEvent useEvent_ = TUseEvent::ueAll;
  TPriorityClass priority_ = TPriorityClass::prNormal;
  int32_t timeOutSec_ = 0;
  DWORD waitTime_ = INFINITE;

  // The records may also be searched by TerminateProc from a thread other than Execute's.
  mutable framework::Mutex recordsLock_;
  std::vector<AThreadRecord> records_;
  STARTUPINFOA startupInfo_{};
  DWORD creationFlags_ = 0;
  std::shared_ptr<detail::LaunchShared> shared_;
  std::vector<std::unique_ptr<TCloseThread>> closers_;  // main thread only
  int32_t lastErrorCode_ = 0;
  bool processCreated_ = false;
  int32_t returnValue_ = 0;
  bool timedOut_ = false;
};

}  // namespace launch
