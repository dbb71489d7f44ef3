// Executable launcher.
#include "launch/ExFile.h"

#include <shellapi.h>

#include <algorithm>

#include "framework/AnsiText.h"
#include "framework/Properties.h"

namespace launch {

using framework::PropertyTable;

namespace {
constexpr char kVersion[] = "TExFile Version 1.05";

// Indexed by the negated failure code.
constexpr const char* kMessages[] = {
    "Zero",
    "Another Process with the same Name and ID is executing.",
    "Cannot mix 'WaitUntilDone' types.",
    "Process timed out",
    "Current Directory Invalid",
    "Unknown Error Code",
};
constexpr int32_t kDuplicate = -1;
constexpr int32_t kMixedWaits = -2;
constexpr int32_t kTimedOut = -3;
constexpr int32_t kBadDirectory = -4;

constexpr WORD kWindowCommands[] = {SW_SHOWNORMAL, SW_SHOWMINIMIZED,   SW_SHOWMAXIMIZED,
                                    SW_HIDE,       SW_SHOWMINNOACTIVE, SW_SHOWNA};
constexpr DWORD kPriorityFlags[] = {NORMAL_PRIORITY_CLASS, IDLE_PRIORITY_CLASS, HIGH_PRIORITY_CLASS,
                                    REALTIME_PRIORITY_CLASS};

constexpr DWORD kIdleWaitMs = 3000;
constexpr int32_t kLongestTimeOutSec = 3600;
// CreateProcess takes at most 32767 characters, the terminating zero included.
constexpr int kLongestCommandLine = 32766;
constexpr DWORD kMessageBufferSize = 256;

// Waits up to kIdleWaitMs for a new process to wait for input; true also when the time runs out,
// false (with the system's code, maybe 0) when it cannot be waited for. Wine fails the wait at once,
// with no code, both for a console program and for a windowed one that has not finished starting (it
// has no idle event yet; on a busy machine that takes a while): a windowed program is waited for
// again, within the same time, until it can be.
bool BecameIdle(HANDLE process, const std::string& file, DWORD& code) {
  const DWORD start = GetTickCount();
  int windowed = -1;  // not yet known
  for (;;) {
    const DWORD waited = GetTickCount() - start;
    const DWORD idle = WaitForInputIdle(process, waited < kIdleWaitMs ? kIdleWaitMs - waited : 0);
    if (idle == 0 || idle == WAIT_TIMEOUT) return true;
    code = GetLastError();
    if (code != ERROR_SUCCESS || GetTickCount() - start >= kIdleWaitMs) return false;
    if (windowed < 0) windowed = HIWORD(SHGetFileInfoA(file.c_str(), 0, nullptr, 0, SHGFI_EXETYPE)) != 0;
    if (windowed == 0 || WaitForSingleObject(process, 10) != WAIT_TIMEOUT) return false;
  }
}

bool RaisesCompleted(TUseEvent useEvent) {
  return useEvent == TUseEvent::ueAll || useEvent == TUseEvent::ueOnProcCompleted;
}
bool RaisesFailed(TUseEvent useEvent) {
  return useEvent == TUseEvent::ueAll || useEvent == TUseEvent::ueOnLaunchFailed;
}

// A trailing full stop: the ASCII one, or the ideographic and full-width ones that end the system's
// texts in code page 932.
bool IsFullStop(std::string_view character) {
  return character == "." || character == "\x81\x42" || character == "\x81\x44";
}

// Trailing blanks, control characters and full stops off, whole characters at a time.
std::string TrimMessage(const std::string& text) {
  size_t end = 0;  // after the last character that stays
  for (size_t i = 0; i < text.size();) {
    const std::string_view character = std::string_view(text).substr(i, framework::CharLength(text, i));
    i += character.size();
    const bool control = character.size() == 1 && static_cast<unsigned char>(character[0]) <= ' ';
    if (!control && !IsFullStop(character)) end = i;
  }
  return text.substr(0, end);
}

// The system's text for a code. Inserts such as %1 are left as they stand: there are no arguments
// to put in, and formatting them would fail or read what is not there.
std::string SystemMessage(DWORD code) {
  char buffer[kMessageBufferSize];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, kMessageBufferSize, nullptr);
  return TrimMessage(std::string(buffer, length < kMessageBufferSize ? length : 0));
}

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM parameter) {
  auto* record = reinterpret_cast<AThreadRecord*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != record->processId) return TRUE;
  record->foundWindow = window;
  return FALSE;
}

// A console program's console window, for a caller without a console of its own: it attaches to
// the program's console for a moment. Windows reports the program as the window's owner, so the
// enumeration finds it there; Wine reports the console host, and only this finds it.
HWND ConsoleWindowOf(DWORD processId) {
  if (GetConsoleWindow() != nullptr || !AttachConsole(processId)) return nullptr;
  HWND window = GetConsoleWindow();
  FreeConsole();
  return window;
}

// Asks every top-level window of the record's process to close; the record's found window is
// the last one asked, or null when there was none.
BOOL CALLBACK AskWindowOfProcessToClose(HWND window, LPARAM parameter) {
  auto* record = reinterpret_cast<AThreadRecord*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == record->processId && PostMessageA(window, WM_CLOSE, 0, 0)) record->foundWindow = window;
  return TRUE;
}
}  // namespace

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "the product's STARTUPINFO is 68 bytes");
#endif

WORD WindowTypeCommand(TWindowType value) {
  const size_t index = static_cast<size_t>(value);
  return index < sizeof kWindowCommands / sizeof kWindowCommands[0] ? kWindowCommands[index] : SW_SHOWNORMAL;
}

DWORD PriorityClassFlag(TPriorityClass value) {
  const size_t index = static_cast<size_t>(value);
  return index < sizeof kPriorityFlags / sizeof kPriorityFlags[0] ? kPriorityFlags[index] : NORMAL_PRIORITY_CLASS;
}

// ---- LaunchedProcess ----

namespace detail {

bool LaunchedProcess::Running() {
  std::lock_guard<framework::Mutex> guard(lock_);
  return handles_.process && WaitForSingleObject(handles_.process.get(), 0) == WAIT_TIMEOUT;
}

void LaunchedProcess::CloseThread() {
  std::lock_guard<framework::Mutex> guard(lock_);
  handles_.thread.reset();
}

void LaunchedProcess::Close() {
  std::lock_guard<framework::Mutex> guard(lock_);
  handles_.process.reset();
  handles_.thread.reset();
}

}  // namespace detail

// ---- TProcThread ----

TProcThread::TProcThread(std::shared_ptr<detail::LaunchedProcess> process, std::shared_ptr<detail::LaunchShared> shared,
                         std::string fileName, std::string identifier, TProcCompleted onProcCompleted,
                         TUseEvent useEvent, DWORD waitTime)
    : process_(std::move(process)),
      shared_(std::move(shared)),
      fileName_(std::move(fileName)),
      identifier_(std::move(identifier)),
      onProcCompleted_(std::move(onProcCompleted)),
      useEvent_(useEvent),
      waitTime_(waitTime) {}

void TProcThread::Execute() {
  // However the run ends, the component's destructor must learn that this worker is done.
  struct Leaving {
    detail::LaunchShared& shared;
    ~Leaving() {
      {
        std::lock_guard<framework::Mutex> guard(shared.lock);
        --shared.workers;
      }
      shared.changed.NotifyAll();
    }
  } leaving{*shared_};

  HANDLE waits[2] = {process_->Handle(), shared_->stopEvent.get()};
  const DWORD result = WaitForMultipleObjects(2, waits, FALSE, waitTime_);
  if (result != WAIT_OBJECT_0 + 1) {
    if (result == WAIT_OBJECT_0) {
      DWORD exitCode = 0;
      GetExitCodeProcess(process_->Handle(), &exitCode);
      returnValue_ = static_cast<int32_t>(exitCode);
    } else {
      returnValue_ = static_cast<int32_t>(waitTime_ / 1000);
    }
    timedOut_ = result != WAIT_OBJECT_0;
    if (onProcCompleted_ && RaisesCompleted(useEvent_)) Notify();
  }
  process_->Close();
  Terminate();
}

void TProcThread::Notify() {
  // The stop event comes first, so a stopping component wins over a free mutex.
  HANDLE waits[2] = {shared_->stopEvent.get(), shared_->notifyMutex.get()};
  const DWORD taken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  if (taken != WAIT_OBJECT_0 + 1 && taken != WAIT_ABANDONED_0 + 1) return;

  // A call the main thread has begun keeps this worker (its sender) waiting until it returns; one it
  // has not begun when the component stops is dropped. The count tells the destructor, which may
  // run underneath the call, not to wait for this worker.
  std::shared_ptr<detail::LaunchShared> shared = shared_;
  Synchronize(
      [this, shared] {
        {
          std::lock_guard<framework::Mutex> guard(shared->lock);
          ++shared->handlersRunning;
        }
        struct Finish {
          detail::LaunchShared& shared;
          ~Finish() {
            {
              std::lock_guard<framework::Mutex> guard(shared.lock);
              --shared.handlersRunning;
            }
            shared.changed.NotifyAll();
          }
        } finish{*shared};
        onProcCompleted_(this, fileName_, identifier_, returnValue_, timedOut_);
      },
      shared_->stopEvent.get());
  ReleaseMutex(shared_->notifyMutex.get());
}

// ---- TCloseThread ----

void TCloseThread::Execute() {
  if (WaitForSingleObject(process_.get(), graceMs_) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 0);
}

// ---- TExFile ----

TExFile::TExFile(framework::TComponent* owner)
    : TComponent(owner), version_(kVersion), shared_(std::make_shared<detail::LaunchShared>()) {
  shared_->stopEvent.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  shared_->notifyMutex.reset(CreateMutexA(nullptr, FALSE, nullptr));
}

TExFile::~TExFile() {
  // Set, not pulsed: a worker that is not waiting at this moment sees it as well.
  SetEvent(shared_->stopEvent.get());
  {
    // Every worker ends promptly now: its waits include the stop event, and a report queued for the
    // main thread is cancelled by it. A report already running can only be running on this thread,
    // underneath this destructor, so its worker cannot end before we return and is not waited for.
    std::unique_lock<framework::Mutex> guard(shared_->lock);
    shared_->changed.Wait(guard, [this] { return shared_->workers <= shared_->handlersRunning; });
  }
  {
    std::lock_guard<framework::Mutex> guard(recordsLock_);
    records_.clear();  // closes nothing a worker still holds: the handles are shared with them
  }
  closers_.clear();  // each waits out what is left of its grace
}

void TExFile::SetVersion(const std::string&) {
  // The version text is fixed; assigning it is accepted and ignored.
}

void TExFile::SetProcFileName(const std::string& value) {
  procFileName_ = value;
  lowerFileName_ = framework::AsciiLowerCase(value);
}

void TExFile::SetTimeOutSec(int32_t value) {
  timeOutSec_ = value;
  if (value == 0) {
    waitTime_ = INFINITE;
  } else if (value > kLongestTimeOutSec) {
    waitTime_ = static_cast<DWORD>(kLongestTimeOutSec) * 1000;
  } else {
    // Negative values wrap in 32 bits into a long unsigned wait, as the product has always done.
    waitTime_ = static_cast<DWORD>(static_cast<uint32_t>(value) * 1000u);
  }
}

int TExFile::RecordCount() const {
  std::lock_guard<framework::Mutex> guard(recordsLock_);
  return static_cast<int>(records_.size());
}

bool TExFile::Execute() {
  lastErrorCode_ = 0;
  processCreated_ = false;
  DWORD idleFailure = ERROR_SUCCESS;
  if (!waitUntilDone_) {
    const std::shared_ptr<detail::LaunchedProcess> process = Launch(true, idleFailure);
    if (!process) return false;
    process->CloseThread();
    auto* worker =
        new TProcThread(process, shared_, procFileName_, procIdentifier_, onProcCompleted_, useEvent_, waitTime_);
    worker->SetFreeOnTerminate(true);
    if (worker->Handle() == nullptr) {
      // No thread: the record keeps the handle, and the purge closes it once the process is gone.
      delete worker;
    } else {
      {
        std::lock_guard<framework::Mutex> guard(shared_->lock);
        ++shared_->workers;
      }
      worker->Resume();
    }
    if (idleFailure == ERROR_SUCCESS) return true;
    ReportSystemError(idleFailure);  // last: the handler may free this component
    return false;
  }

  const std::shared_ptr<detail::LaunchedProcess> process = Launch(false, idleFailure);
  if (!process) return false;
  const DWORD result = WaitForSingleObject(process->Handle(), waitTime_);
  if (result == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    GetExitCodeProcess(process->Handle(), &exitCode);
    returnValue_ = static_cast<int32_t>(exitCode);
  } else {
    returnValue_ = timeOutSec_;
    lastErrorCode_ = kTimedOut;
  }
  timedOut_ = result != WAIT_OBJECT_0;
  process->Close();
  if (onProcCompleted_ && RaisesCompleted(useEvent_)) {
    // Copies: the handler may free this component.
    const TProcCompleted handler = onProcCompleted_;
    const std::string fileName = procFileName_;
    const std::string identifier = procIdentifier_;
    handler(this, fileName, identifier, returnValue_, timedOut_);
  }
  return true;
}

std::shared_ptr<detail::LaunchedProcess> TExFile::Launch(bool watched, DWORD& idleFailure) {
  Purge();

  const char* directory = nullptr;
  if (!procCurrentDir_.empty()) {
    const DWORD attributes = GetFileAttributesA(procCurrentDir_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ReportFailure(kBadDirectory, kMessages[-kBadDirectory]);
      return nullptr;
    }
    directory = procCurrentDir_.c_str();
  }

  int32_t refusal = 0;
  {
    std::lock_guard<framework::Mutex> guard(recordsLock_);
    for (const AThreadRecord& record : records_) {
      if (!watched && record.watched) {
        refusal = kMixedWaits;
        break;
      }
    }
    if (refusal == 0) {
      for (const AThreadRecord& record : records_) {
        if (record.fileName == lowerFileName_ && record.identifier == procIdentifier_) {
          refusal = kDuplicate;
          break;
        }
      }
    }
  }
  if (refusal != 0) {
    ReportFailure(refusal, kMessages[-refusal]);
    return nullptr;
  }

  std::string commandLine = CommandLine();  // CreateProcessA may write into it
  // Counted in characters, as the platform counts; no character takes more than two bytes.
  if (commandLine.size() > static_cast<size_t>(kLongestCommandLine) * 2 ||
      MultiByteToWideChar(CP_ACP, 0, commandLine.data(), static_cast<int>(commandLine.size()), nullptr, 0) >
          kLongestCommandLine) {
    // Beyond what CreateProcess accepts: refused as the system refuses an over-long name.
    ReportSystemError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }

  startupInfo_ = STARTUPINFOA{};
  startupInfo_.cb = sizeof startupInfo_;
  startupInfo_.dwFlags = STARTF_USESHOWWINDOW;
  startupInfo_.wShowWindow = WindowTypeCommand(windowType_);
  creationFlags_ = PriorityClassFlag(priority_) | CREATE_NEW_CONSOLE;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, creationFlags_, nullptr, directory,
                      &startupInfo_, &info)) {
    ReportSystemError(GetLastError());
    return nullptr;
  }
  framework::ProcessHandles handles = framework::ProcessHandles::Adopt(info);
  processCreated_ = true;

  if (watched && !BecameIdle(handles.process.get(), lowerFileName_, idleFailure)) {
    // Wine leaves the code at 0 for a process without a message queue; a failure must not read as
    // success, so it counts as the invalid parameter it is. The process runs all the same: it is
    // recorded, so that it can be ended and is not started twice.
    if (idleFailure == ERROR_SUCCESS) idleFailure = ERROR_INVALID_PARAMETER;
  }

  auto process = std::make_shared<detail::LaunchedProcess>(std::move(handles));
  AThreadRecord record;
  record.fileName = lowerFileName_;
  record.identifier = procIdentifier_;
  record.process = process;
  record.processId = info.dwProcessId;
  record.watched = watched;
  std::lock_guard<framework::Mutex> guard(recordsLock_);
  records_.push_back(std::move(record));
  return process;
}

void TExFile::Purge() {
  std::lock_guard<framework::Mutex> guard(recordsLock_);
  for (size_t i = records_.size(); i-- > 0;) {
    if (!records_[i].process->Running()) records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

std::string TExFile::CommandLine() const {
  // Unquoted, Windows would try "C:\Program.exe" and the like first: for a missing file, that
  // could start another program.
  const std::string& path = lowerFileName_;
  return (path.find(' ') != std::string::npos ? '"' + path + '"' : path) + ' ' + procParameters_;
}

void TExFile::ReportFailure(int32_t code, const std::string& message) {
  lastErrorCode_ = code;
  if (onLaunchFailed_ && RaisesFailed(useEvent_)) {
    // Copies: the handler may free this component.
    const TLaunchFailed handler = onLaunchFailed_;
    const std::string fileName = procFileName_;
    const std::string identifier = procIdentifier_;
    handler(this, fileName, identifier, code, message);
  }
}

void TExFile::ReportSystemError(DWORD code) { ReportFailure(static_cast<int32_t>(code), SystemMessage(code)); }

template <class Use>
bool TExFile::WithCurrentLaunch(Use use) {
  std::lock_guard<framework::Mutex> guard(recordsLock_);
  for (AThreadRecord& record : records_) {
    if (record.fileName != lowerFileName_ || record.identifier != procIdentifier_) continue;
    bool done = false;
    // A handle that is already closed is never used: its value may belong to something else now.
    record.process->WithOpenHandle([&](HANDLE process) { done = use(record, process); });
    return done;
  }
  return false;
}

bool TExFile::TerminateProc() {
  return WithCurrentLaunch([](AThreadRecord& record, HANDLE process) {
    record.foundWindow = nullptr;
    EnumWindows(&FindWindowOfProcess, reinterpret_cast<LPARAM>(&record));
    if (record.foundWindow == nullptr) record.foundWindow = ConsoleWindowOf(record.processId);
    if (record.foundWindow == nullptr) return false;
    TerminateProcess(process, 0);
    return true;
  });
}

bool TExFile::CloseProc(DWORD graceMs) {
  closers_.erase(std::remove_if(closers_.begin(), closers_.end(),
                                [](const std::unique_ptr<TCloseThread>& closer) { return closer->Finished(); }),
                 closers_.end());
  return WithCurrentLaunch([this, graceMs](AThreadRecord& record, HANDLE process) {
    record.foundWindow = nullptr;
    EnumWindows(&AskWindowOfProcessToClose, reinterpret_cast<LPARAM>(&record));
    if (record.foundWindow == nullptr) {
      // Its console's close: the program is told, and may clean up.
      record.foundWindow = ConsoleWindowOf(record.processId);
      if (record.foundWindow == nullptr || !PostMessageA(record.foundWindow, WM_CLOSE, 0, 0)) return false;
    }
    // The grace is kept on a handle of its own: the record's goes with its worker. Without a thread
    // to keep it, the process is ended as it was before it could be asked.
    HANDLE copy = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, SYNCHRONIZE | PROCESS_TERMINATE,
                        FALSE, 0)) {
      auto closer = std::make_unique<TCloseThread>(framework::UniqueHandle(copy), graceMs);
      if (closer->Handle() != nullptr) {
        closer->Resume();
        closers_.push_back(std::move(closer));
        return true;
      }
    }
    TerminateProcess(process, 0);
    return true;
  });
}

const PropertyTable& TExFile::ClassProperties() {
  static const PropertyTable table = [] {
    PropertyTable t("TExFile", &framework::TComponent::ClassProperties());
    t.String("Version", &TExFile::Version, &TExFile::SetVersion, true)
        .String("ProcFileName", &TExFile::ProcFileName, &TExFile::SetProcFileName)
        .String("ProcParameters", &TExFile::ProcParameters, &TExFile::SetProcParameters)
        .String("ProcIdentifier", &TExFile::ProcIdentifier, &TExFile::SetProcIdentifier)
        .String("ProcCurrentDir", &TExFile::ProcCurrentDir, &TExFile::SetProcCurrentDir)
        .EventHandler("OnProcCompleted", &TExFile::OnProcCompleted, &TExFile::SetOnProcCompleted)
        .EventHandler("OnLaunchFailed", &TExFile::OnLaunchFailed, &TExFile::SetOnLaunchFailed)
        .Enumeration("WindowType", &TExFile::WindowType, &TExFile::SetWindowType,
                     {"wtNorm", "wtMinimize", "wtMaximize", "wtHide", "wtMinNoActivate", "wtShowNoActivate"})
        .Boolean("WaitUntilDone", &TExFile::WaitUntilDone, &TExFile::SetWaitUntilDone)
        .Enumeration("UseEvent", &TExFile::UseEvent, &TExFile::SetUseEvent,
                     {"ueAll", "ueOnLaunchFailed", "ueOnProcCompleted", "ueNone"})
        .Enumeration("Priority", &TExFile::Priority, &TExFile::SetPriority,
                     {"prNormal", "prIdle", "prHigh", "prRealTime"})
        .Integer("TimeOutSec", &TExFile::TimeOutSec, &TExFile::SetTimeOutSec);
    return t;
  }();
  return table;
}

}  // namespace launch
