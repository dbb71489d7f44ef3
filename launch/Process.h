// TProcess: runs one command line as a new process. Execute returns at once; a worker thread
// creates the process and, when Wait is set, waits for it and reports its exit code through
// OnFinished, on the worker thread. A process that could not be created is reported through
// OnStartFailed, with the system's error code, on the main thread; without that handler, silently.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "framework/Component.h"
#include "framework/Event.h"
#include "framework/Sync.h"
#include "framework/Thread.h"

namespace framework {
class PropertyTable;
}

namespace launch {

// Show states in their published order (not the numeric order of the SW_ commands).
enum class TShowWindow : unsigned char {
  swHide,
  swMaximize,
  swMinimize,
  swRestore,
  swShow,
  swShowDefault,
  swShowMaximized,
  swShowMinimized,
  swShowMinNoActive,
  swShowNA,
  swShowNoActivate,
  swShowNormal
};

// The wShowWindow value a TShowWindow hands to the new process.
WORD ShowWindowCommand(TShowWindow value);

// (Sender, ExitCode): the exit code exactly as the system gives it.
using TProcessEvent = framework::Event<framework::TObject*, uint32_t>;

class TProcess;

namespace detail {
// Shared by a TProcess and its workers, which may outlive it. A worker touches the component only
// while holding the lock and only while component is set; the destructor clears it under the lock.
// Recursive, so a handler may read the component's properties or even free it.
struct ProcessLink {
  framework::RecursiveMutex lock;
  TProcess* component = nullptr;
};
}  // namespace detail

class TProcess : public framework::TComponent {
 public:
  explicit TProcess(framework::TComponent* owner);
  // Workers keep running and their processes too. A handler running at this moment is waited for;
  // after that no worker touches the component. So an OnFinished handler must never wait for the
  // thread that frees the component (in the launcher, the main thread).
  ~TProcess() override;

  // The caller leaves these alone while a worker runs (it reads them, and rewrites Directory).
  const std::string& Command() const { return command_; }
  void SetCommand(const std::string& value) { command_ = value; }
  const std::string& Directory() const { return directory_; }
  void SetDirectory(const std::string& value) { directory_ = value; }
  TShowWindow ShowWindow() const { return showWindow_; }
  void SetShowWindow(TShowWindow value) { showWindow_ = value; }
  bool Wait() const { return wait_; }
  void SetWait(bool value) { wait_ = value; }
  const TProcessEvent& OnFinished() const { return onFinished_; }
  void SetOnFinished(TProcessEvent handler) { onFinished_ = std::move(handler); }
  // The job every process this component starts is put in before it runs its first instruction,
  // so that whatever it starts is in the job too; null for none. Not owned: the caller keeps it
  // open until Execute has returned (each worker takes a handle of its own).
  HANDLE Job() const { return job_; }
  void SetJob(HANDLE job) { job_ = job; }
  // (Sender, the system's error code).
  const TProcessEvent& OnStartFailed() const { return onStartFailed_; }
  void SetOnStartFailed(TProcessEvent handler) { onStartFailed_ = std::move(handler); }

  // Starts one more worker and returns without waiting; failures are silent.
  void Execute();

  static const framework::PropertyTable& ClassProperties();
  const framework::PropertyTable& Published() const override { return ClassProperties(); }

 private:
  friend class TProcessThread;

  std::shared_ptr<detail::ProcessLink> link_;
  std::string command_;
  std::string directory_;
  TShowWindow showWindow_ = TShowWindow::swHide;
  bool wait_ = false;
  HANDLE job_ = nullptr;
  TProcessEvent onFinished_;
  TProcessEvent onStartFailed_;
};

// One run of a TProcess: creates the process, optionally waits and reports, closes the handles and
// frees itself.
class TProcessThread : public framework::TThread {
 public:
  // Takes its own handle to the component's job, if any, while the caller's is surely open.
  explicit TProcessThread(std::shared_ptr<detail::ProcessLink> link);

 protected:
  void Execute() override;

 private:
  // Hands the failure to the main thread, for a component that is still there then.
  void ReportStartFailure(DWORD error);

  std::shared_ptr<detail::ProcessLink> link_;
  framework::UniqueHandle job_;
};

}  // namespace launch
