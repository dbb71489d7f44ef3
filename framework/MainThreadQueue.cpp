// Main-thread task queue.
#include "framework/MainThreadQueue.h"

#include <algorithm>

namespace framework {

namespace {
constexpr UINT kRunPendingMessage = WM_APP + 1;
}

MainThreadQueue::MainThreadQueue()
    : threadId_(GetCurrentThreadId()),
      state_(std::make_shared<State>()),
      window_([this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return WindowProcedure(window, message, wParam, lParam);
      }) {
  state_->wake.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  state_->closing.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

MainThreadQueue::~MainThreadQueue() {
  std::vector<std::shared_ptr<Task>> dropped;
  {
    std::lock_guard<Mutex> guard(state_->lock);
    state_->closed = true;
    dropped.swap(state_->tasks);
    for (const auto& task : dropped) task->dropped = true;
  }
  SetEvent(state_->closing.get());
}

LRESULT MainThreadQueue::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunPendingMessage) {
    RunPending();
    return 0;
  }
  return UtilityWindow::Default(window, message, wParam, lParam);
}

bool MainThreadQueue::Enqueue(const std::shared_ptr<Task>& task) {
  {
    std::lock_guard<Mutex> guard(state_->lock);
    if (state_->closed) return false;
    state_->tasks.push_back(task);
  }
  SetEvent(state_->wake.get());
  // The posted message wakes a main thread that sits in GetMessage.
  PostMessageA(window_.Handle(), kRunPendingMessage, 0, 0);
  return true;
}

void MainThreadQueue::Post(std::function<void()> task) {
  auto queued = std::make_shared<Task>();
  queued->function = std::move(task);
  Enqueue(queued);
}

bool MainThreadQueue::Run(std::function<void()> task, HANDLE cancel) {
  if (IsMainThread()) {
    task();
    return true;
  }
  const std::shared_ptr<State> state = state_;  // outlives the queue if it is destroyed meanwhile
  auto queued = std::make_shared<Task>();
  queued->function = std::move(task);
  queued->done.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!queued->done || !Enqueue(queued)) return false;

  HANDLE handles[3] = {queued->done.get(), state->closing.get(), cancel};
  const DWORD count = cancel != nullptr ? 3 : 2;
  if (WaitForMultipleObjects(count, handles, FALSE, INFINITE) == WAIT_OBJECT_0) return true;

  {
    std::lock_guard<Mutex> guard(state->lock);
    if (!queued->started) {
      queued->dropped = true;
      auto& tasks = state->tasks;
      tasks.erase(std::remove(tasks.begin(), tasks.end(), queued), tasks.end());
      return false;
    }
  }
  // The main thread has begun the task: it may use what the caller lent it (its stack, its object),
  // so the caller waits until the task is over, however it was cancelled.
  WaitForSingleObject(queued->done.get(), INFINITE);
  return true;
}

int MainThreadQueue::RunPending() {
  int ran = 0;
  for (;;) {
    std::shared_ptr<Task> task;
    {
      std::lock_guard<Mutex> guard(state_->lock);
      if (state_->tasks.empty()) break;
      task = state_->tasks.front();
      state_->tasks.erase(state_->tasks.begin());
      if (task->dropped) continue;
      task->started = true;
    }
    try {
      task->function();
    } catch (...) {
      if (onException_) onException_(std::current_exception());
    }
    if (task->done) SetEvent(task->done.get());
    ++ran;
  }
  return ran;
}

}  // namespace framework
