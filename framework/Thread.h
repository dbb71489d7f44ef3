// A small explicit worker thread: created paused, started by Resume, paused and woken through an
// event (never SuspendThread), asked to stop with Terminate, and optionally freed when it ends.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "framework/Handles.h"
#include "framework/Object.h"

namespace framework {

class TThread : public TObject {
 public:
  TThread();
  // A thread that has not ended is asked to stop, woken and waited for (never from the thread itself).
  ~TThread() override;

  // The first call starts the thread; later calls wake it when it is paused.
  void Resume();
  // Marks the thread paused; its body stops at its next WaitWhilePaused until Resume or Terminate.
  void Pause();
  bool Paused() const { return paused_; }
  // Asks the body to stop (it polls Terminated) and wakes a paused thread.
  void Terminate();
  bool Terminated() const { return terminated_; }
  bool Started() const { return started_; }
  bool Finished() const { return finished_; }

  // The thread object deletes itself once its body has returned. Set before Resume; such a thread
  // must not be waited for or deleted by others.
  void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
  bool FreeOnTerminate() const { return freeOnTerminate_; }

  // Waits until the body has returned and gives its return value. On the main thread, tasks that
  // workers hand to the main thread meanwhile are run, so a worker waiting in Synchronize cannot
  // deadlock this wait.
  DWORD WaitFor();

  HANDLE Handle() const { return handle_.get(); }
  DWORD ThreadId() const { return threadId_; }

 protected:
  // The thread's body.
  virtual void Execute() = 0;

  // Runs method on the main thread while this thread waits. Returns false, without having run it,
  // when cancel (optional) is signalled first, when there is no application, or when the
  // application shuts down.
  bool Synchronize(const std::function<void()>& method, HANDLE cancel = nullptr);

  // Blocks while the thread is paused; returns false once termination has been requested.
  bool WaitWhilePaused();

  void SetReturnValue(DWORD value) { returnValue_ = value; }

 private:
  static unsigned __stdcall ThreadProc(void* parameter);

  UniqueHandle handle_;
  UniqueHandle running_;  // manual-reset: set while not paused (or when terminating)
  unsigned threadId_ = 0;
  std::atomic<bool> started_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> freeOnTerminate_{false};
  DWORD returnValue_ = 0;
};

}  // namespace framework
