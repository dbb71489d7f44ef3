// Work handed to the main thread: workers queue small tasks that the main thread runs from its
// message loop (or while it waits for a worker), either waiting for them or not.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "framework/Handles.h"
#include "framework/Sync.h"
#include "framework/UtilityWindow.h"

namespace framework {

class MainThreadQueue {
 public:
  // Must be created on the main thread, whose message loop then runs the tasks.
  MainThreadQueue();
  // Frees pending tasks unrun and releases every worker still waiting in Run.
  ~MainThreadQueue();
  MainThreadQueue(const MainThreadQueue&) = delete;
  MainThreadQueue& operator=(const MainThreadQueue&) = delete;

  DWORD ThreadId() const { return threadId_; }
  bool IsMainThread() const { return GetCurrentThreadId() == threadId_; }

  // On the main thread: runs task at once. From another thread: queues task and waits until the
  // main thread has run it (true), or until cancel (optional) is signalled or the queue shuts down
  // before the main thread began it (false; the task is dropped unrun). A task already begun is
  // always waited for to its end, so it may use what the caller lent it.
  bool Run(std::function<void()> task, HANDLE cancel = nullptr);
  // Queues task for the main thread and returns at once.
  void Post(std::function<void()> task);
  // Main thread: runs every queued task, oldest first. Returns how many ran.
  int RunPending();
  // Set whenever a task is queued, so a main thread that waits for something else can run tasks.
  HANDLE WakeEvent() const { return state_->wake.get(); }

  // Where exceptions thrown by tasks go (they never reach the worker).
  void SetExceptionHandler(std::function<void(std::exception_ptr)> handler) { onException_ = std::move(handler); }

 private:
  struct Task {
    std::function<void()> function;
    UniqueHandle done;  // set once run; only for tasks a worker waits for
    bool started = false;
    bool dropped = false;
  };
  // Shared with workers inside Run, which may still hold it while the queue is destroyed.
  struct State {
    Mutex lock;
    // Oldest first; a handful at most.
    std::vector<std::shared_ptr<Task>> tasks;
    UniqueHandle wake;     // auto-reset
    UniqueHandle closing;  // manual-reset, set by the destructor
    bool closed = false;
  };

  bool Enqueue(const std::shared_ptr<Task>& task);
  LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  DWORD threadId_;
  std::shared_ptr<State> state_;
  std::function<void(std::exception_ptr)> onException_;
  UtilityWindow window_;
};

}  // namespace framework
