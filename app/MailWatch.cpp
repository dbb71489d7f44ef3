// Following the mail: its windows on the desktop, and its processes through their handles.
#include "app/MailWatch.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/Application.h"
#include "framework/Sync.h"
#include "framework/Thread.h"

namespace {
constexpr char kMailTitle[] = "TOLVANE MAIL";
// A mail window that comes up late is brought forward within this, and the look's own cost.
constexpr DWORD kLateLookMs = 100;
// How often a mail window is looked for whose process cannot be waited on (another user's, say).
constexpr DWORD kUnwaitableLookMs = 500;
// The processes one wait can take besides the wake event.
constexpr size_t kMostWaited = MAXIMUM_WAIT_OBJECTS - 1;
// The processes of the job that are followed at most; a job rarely holds more than a few.
constexpr DWORD kMostListed = 64;

BOOL CALLBACK CollectMailWindow(HWND window, LPARAM found) {
  char title[256];
  if (!IsWindowVisible(window) || GetWindowTextA(window, title, sizeof title) == 0 || !IsMailTitle(title)) {
    return TRUE;
  }
  try {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  } catch (...) {
    return FALSE;  // no exception crosses the system's call; the windows found so far stand
  }
  return TRUE;
}

// A process of the mail, waited on through its handle.
struct Followed {
  DWORD id;
  framework::UniqueHandle process;
};

bool Holds(const std::vector<Followed>& processes, DWORD id) {
  return std::any_of(processes.begin(), processes.end(), [id](const Followed& p) { return p.id == id; });
}

void Follow(std::vector<Followed>& processes, DWORD id) {
  if (id == 0 || Holds(processes, id)) return;
  framework::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
  if (process) processes.push_back({id, std::move(process)});
}

void DropEnded(std::vector<Followed>& processes) {
  processes.erase(std::remove_if(processes.begin(), processes.end(),
                                 [](const Followed& p) { return WaitForSingleObject(p.process.get(), 0) == WAIT_OBJECT_0; }),
                  processes.end());
}

// The ids of the processes in the job now.
std::vector<DWORD> JobProcessIds(HANDLE job) {
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[kMostListed - 1];
  } buffer{};
  buffer.list.NumberOfAssignedProcesses = kMostListed;
  std::vector<DWORD> ids;
  // A list longer than the buffer fails with ERROR_MORE_DATA but still holds what fitted.
  if (QueryInformationJobObject(job, JobObjectBasicProcessIdList, &buffer, sizeof buffer, nullptr) ||
      GetLastError() == ERROR_MORE_DATA) {
    for (DWORD i = 0; i < buffer.list.NumberOfProcessIdsInList && i < kMostListed; ++i) {
      ids.push_back(static_cast<DWORD>(buffer.list.ProcessIdList[i]));
    }
  }
  return ids;
}

// Follows every process of the job that is not followed yet. An id is opened after it was listed,
// so it is kept only if the job still lists it then: it may have ended, and its id gone to another.
void FollowJob(HANDLE job, std::vector<Followed>& processes) {
  const size_t known = processes.size();
  for (DWORD id : JobProcessIds(job)) Follow(processes, id);
  if (processes.size() == known) return;
  const std::vector<DWORD> listed = JobProcessIds(job);
  processes.erase(std::remove_if(processes.begin() + static_cast<std::ptrdiff_t>(known), processes.end(),
                                 [&listed](const Followed& p) {
                                   return std::find(listed.begin(), listed.end(), p.id) == listed.end();
                                 }),
                  processes.end());
}

void FollowOwners(const std::vector<HWND>& windows, std::vector<Followed>& owners) {
  for (HWND window : windows) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    Follow(owners, id);
  }
}
}  // namespace

std::vector<HWND> VisibleMailWindows() {
  std::vector<HWND> windows;
  EnumWindows(&CollectMailWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

bool IsMailTitle(const char* title) { return std::strstr(title, kMailTitle) != nullptr; }

void BringTopMailWindowForward() {
  const std::vector<HWND> windows = VisibleMailWindows();
  if (windows.empty()) return;
  // Activated while minimised, a window stays on the taskbar and the user sees nothing happen.
  if (IsIconic(windows.front())) ShowWindow(windows.front(), SW_RESTORE);
  SetForegroundWindow(windows.front());
}

struct TMailWatch::State {
  framework::Mutex lock;
  framework::UniqueHandle wake;  // auto-reset: something below changed
  bool stopping = false;
  bool programEnded = false;
  bool firstLookDone = false;
  std::vector<DWORD> firstLookOwners;
  DWORD lookUntil = 0;

  // Set at construction, then only read.
  HANDLE job = nullptr;
  framework::MainThreadQueue* mainThread = nullptr;
  WindowsHandler onLateWindows;
  std::function<void()> onEnded;
  // Main thread only: set once the watch goes, so that nothing posted reaches its owner after.
  bool closed = false;
};

// The worker: waits on the mail's processes, and looks at the desktop when the last one has ended.
class MailWatchThread : public framework::TThread {
 public:
  explicit MailWatchThread(std::shared_ptr<TMailWatch::State> state) : state_(std::move(state)) {}

 protected:
  void Execute() override;

 private:
  void PostLateWindows(const std::vector<HWND>& windows) const;
  void PostEnded() const;

  std::shared_ptr<TMailWatch::State> state_;
};

void MailWatchThread::Execute() {
  TMailWatch::State& state = *state_;
  std::vector<Followed> owners;   // processes that owned a visible mail window
  std::vector<Followed> started;  // the job's processes, followed until a mail window is seen
  bool windowSeen = false;
  bool lateWatch = false;  // the first look found nothing: watching for a window to come up
  DWORD lookUntil = 0;
  for (;;) {
    bool programEnded = false;
    std::vector<DWORD> firstLookOwners;
    bool firstLookDone = false;
    {
      std::lock_guard<framework::Mutex> guard(state.lock);
      if (state.stopping) return;
      programEnded = state.programEnded;
      if (state.firstLookDone) {
        firstLookDone = true;
        state.firstLookDone = false;
        firstLookOwners.swap(state.firstLookOwners);
        lookUntil = state.lookUntil;
      }
    }
    if (firstLookDone) {
      for (DWORD id : firstLookOwners) Follow(owners, id);
      windowSeen = windowSeen || !firstLookOwners.empty();
      lateWatch = !windowSeen;
    }
    const auto sawWindows = [&](const std::vector<HWND>& windows) {
      FollowOwners(windows, owners);
      windowSeen = true;
      started.clear();
      if (lateWatch) PostLateWindows(windows);
      lateWatch = false;
    };

    DropEnded(owners);
    if (windowSeen) {
      started.clear();  // what the client starts (a browser, a viewer) is not the mail
    } else {
      DropEnded(started);
      if (programEnded && state.job != nullptr) FollowJob(state.job, started);
    }
    bool unwaitable = owners.size() + started.size() > kMostWaited;
    if (programEnded && owners.empty() && started.empty()) {
      // The last look: a mail window still up belongs to the mail, whoever owns it now.
      const std::vector<HWND> windows = VisibleMailWindows();
      if (windows.empty()) {
        PostEnded();
        return;
      }
      sawWindows(windows);
      if (!owners.empty()) continue;
      unwaitable = true;  // its owner cannot be waited on: looked for again instead
    }

    DWORD timeout = INFINITE;
    if (lateWatch) {
      const LONG left = static_cast<LONG>(lookUntil - GetTickCount());
      if (left <= 0) {
        lateWatch = false;
      } else {
        timeout = std::min<DWORD>(kLateLookMs, static_cast<DWORD>(left));
      }
    }
    if (unwaitable) timeout = std::min(timeout, kUnwaitableLookMs);
    std::vector<HANDLE> handles{state.wake.get()};
    for (const std::vector<Followed>* group : {&owners, &started}) {
      for (const Followed& process : *group) {
        if (handles.size() < MAXIMUM_WAIT_OBJECTS) handles.push_back(process.process.get());
      }
    }
    const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeout);
    if (result == WAIT_TIMEOUT && lateWatch) {
      const std::vector<HWND> windows = VisibleMailWindows();
      if (!windows.empty()) sawWindows(windows);
    }
  }
}

void MailWatchThread::PostLateWindows(const std::vector<HWND>& windows) const {
  std::shared_ptr<TMailWatch::State> state = state_;
  state->mainThread->Post([state, windows] {
    if (state->closed) return;
    const TMailWatch::WindowsHandler handler = state->onLateWindows;  // the handler may end the watch
    if (handler) handler(windows);
  });
}

void MailWatchThread::PostEnded() const {
  std::shared_ptr<TMailWatch::State> state = state_;
  state->mainThread->Post([state] {
    if (state->closed) return;
    const std::function<void()> handler = state->onEnded;  // the handler may end the watch
    if (handler) handler();
  });
}

TMailWatch::TMailWatch(WindowsHandler onLateWindows, std::function<void()> onEnded)
    : job_(CreateJobObjectA(nullptr, nullptr)), state_(std::make_shared<State>()) {
  if (job_) {
    // A process of the mail that asks to leave the job may: a browser that makes a job of its own
    // where jobs cannot nest.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  state_->wake.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  state_->job = job_.get();
  state_->mainThread = &framework::TApplication::Current()->MainThread();
  state_->onLateWindows = std::move(onLateWindows);
  state_->onEnded = std::move(onEnded);
  worker_ = std::make_unique<MailWatchThread>(state_);
  worker_->Resume();
}

TMailWatch::~TMailWatch() {
  state_->closed = true;  // first: the wait below runs tasks posted to the main thread
  {
    std::lock_guard<framework::Mutex> guard(state_->lock);
    state_->stopping = true;
  }
  SetEvent(state_->wake.get());
  worker_.reset();
}

void TMailWatch::FirstLook(const std::vector<HWND>& windows, DWORD lookUntil) {
  std::vector<DWORD> owners;
  for (HWND window : windows) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    if (id != 0) owners.push_back(id);
  }
  {
    std::lock_guard<framework::Mutex> guard(state_->lock);
    state_->firstLookOwners = std::move(owners);
    state_->firstLookDone = true;
    state_->lookUntil = lookUntil;
  }
  SetEvent(state_->wake.get());
}

std::function<void()> TMailWatch::ProgramEndedSignal() const {
  return [state = state_] {
    {
      std::lock_guard<framework::Mutex> guard(state->lock);
      state->programEnded = true;
    }
    SetEvent(state->wake.get());
  };
}
