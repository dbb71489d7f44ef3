// Worker threads.
#include "framework/Thread.h"

#include <process.h>

#include "framework/Application.h"

namespace framework {

TThread::TThread() {
  running_.reset(CreateEventA(nullptr, TRUE, TRUE, nullptr));
  handle_.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &threadId_)));
}

TThread::~TThread() {
  if (!handle_ || GetCurrentThreadId() == threadId_) return;
  if (!finished_) {
    Terminate();
    if (!started_) Resume();  // the body sees the request and never runs
    WaitFor();
  }
}

unsigned __stdcall TThread::ThreadProc(void* parameter) {
  auto* self = static_cast<TThread*>(parameter);
  if (!self->terminated_) {
    try {
      self->Execute();
    } catch (...) {
      // No exception leaves a thread; an ending body is the only report.
    }
  }
  const DWORD result = self->returnValue_;
  const bool freeOnTerminate = self->freeOnTerminate_;
  self->finished_ = true;
  if (freeOnTerminate) delete self;
  return result;
}

void TThread::Resume() {
  if (!handle_) return;
  if (!started_.exchange(true)) {
    ResumeThread(handle_.get());
    return;
  }
  paused_ = false;
  SetEvent(running_.get());
}

void TThread::Pause() {
  paused_ = true;
  ResetEvent(running_.get());
  if (terminated_) SetEvent(running_.get());
}

void TThread::Terminate() {
  terminated_ = true;
  SetEvent(running_.get());
}

bool TThread::WaitWhilePaused() {
  while (paused_ && !terminated_) WaitForSingleObject(running_.get(), INFINITE);
  return !terminated_;
}

DWORD TThread::WaitFor() {
  if (!handle_ || GetCurrentThreadId() == threadId_) return returnValue_;
  TApplication* application = TApplication::Current();
  if (application != nullptr && application->MainThread().IsMainThread()) {
    MainThreadQueue& queue = application->MainThread();
    HANDLE handles[2] = {handle_.get(), queue.WakeEvent()};
    for (;;) {
      const DWORD result = MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_SENDMESSAGE);
      if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) break;
      if (result == WAIT_OBJECT_0 + 1) {
        queue.RunPending();
      } else {
        // Messages sent from other threads are delivered by a peek.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
      }
    }
  } else {
    WaitForSingleObject(handle_.get(), INFINITE);
  }
  DWORD exitCode = 0;
  GetExitCodeThread(handle_.get(), &exitCode);
  return exitCode;
}

bool TThread::Synchronize(const std::function<void()>& method, HANDLE cancel) {
  TApplication* application = TApplication::Current();
  if (application == nullptr) return false;
  return application->MainThread().Run(method, cancel);
}

}  // namespace framework
