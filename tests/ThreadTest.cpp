// Worker threads: start, pause and wake, termination, freeing, and calls run on the main thread.
#include <gtest/gtest.h>

#include <atomic>

#include "framework/Application.h"
#include "framework/Thread.h"
#include "tests/TestSupport.h"

using framework::TThread;

namespace {
// Runs a function as its body; the function gets the thread to call its protected helpers.
class TFunctionThread : public TThread {
 public:
  explicit TFunctionThread(std::function<void(TFunctionThread&)> body, bool* destroyed = nullptr)
      : body_(std::move(body)), destroyed_(destroyed) {}
  ~TFunctionThread() override {
    if (destroyed_ != nullptr) *destroyed_ = true;
  }
  using TThread::SetReturnValue;
  using TThread::Synchronize;
  using TThread::WaitWhilePaused;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(TFunctionThread&)> body_;
  bool* destroyed_;
};
}  // namespace

TEST(Thread, IsCreatedPausedAndStartsOnResume) {
  std::atomic<bool> ran{false};
  TFunctionThread thread([&](TFunctionThread& self) {
    ran = true;
    self.SetReturnValue(42);
  });
  Sleep(50);
  EXPECT_FALSE(ran);
  thread.Resume();
  EXPECT_EQ(thread.WaitFor(), 42u);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(thread.Finished());
}

TEST(Thread, APausedThreadMakesNoStepsUntilWoken) {
  std::atomic<int> steps{0};
  TFunctionThread thread([&](TFunctionThread& self) {
    while (self.WaitWhilePaused()) {
      ++steps;
      Sleep(5);
    }
  });
  thread.Resume();
  ASSERT_TRUE(testsupport::PumpUntil([&] { return steps > 3; }, 2000));
  thread.Pause();
  Sleep(50);  // a step under way finishes
  const int paused = steps;
  Sleep(100);
  EXPECT_EQ(steps, paused);
  EXPECT_TRUE(thread.Paused());
  thread.Resume();
  EXPECT_TRUE(testsupport::PumpUntil([&] { return steps > paused + 3; }, 2000));
  thread.Terminate();
  thread.WaitFor();
}

TEST(Thread, TerminateEndsAPausedThread) {
  TFunctionThread thread([](TFunctionThread& self) {
    while (self.WaitWhilePaused()) Sleep(1);
  });
  thread.Pause();
  thread.Resume();  // starts it, still marked paused
  Sleep(20);
  thread.Terminate();
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 2000), WAIT_OBJECT_0);
}

TEST(Thread, ANeverStartedThreadIsFreedWithoutRunningItsBody) {
  std::atomic<bool> ran{false};
  { TFunctionThread thread([&](TFunctionThread&) { ran = true; }); }
  EXPECT_FALSE(ran);
}

TEST(Thread, AFreeOnTerminateThreadDeletesItselfWhenDone) {
  bool destroyed = false;
  auto* thread = new TFunctionThread([](TFunctionThread&) {}, &destroyed);
  thread->SetFreeOnTerminate(true);
  thread->Resume();
  EXPECT_TRUE(testsupport::PumpUntil([&] { return destroyed; }, 2000));
}

TEST(Thread, SynchronizeRunsTheMethodOnTheMainThreadWhileTheWorkerWaits) {
  const DWORD mainThread = GetCurrentThreadId();
  std::atomic<DWORD> ranOn{0};
  std::atomic<bool> afterCall{false};
  std::atomic<bool> result{false};
  TFunctionThread thread([&](TFunctionThread& self) {
    result = self.Synchronize([&] {
      Sleep(50);  // the worker is still waiting meanwhile
      EXPECT_FALSE(afterCall);
      ranOn = GetCurrentThreadId();
    });
    afterCall = true;
  });
  thread.Resume();
  EXPECT_TRUE(testsupport::PumpUntil([&] { return afterCall.load(); }, 5000));
  EXPECT_TRUE(result);
  EXPECT_EQ(ranOn, mainThread);
}

TEST(Thread, WaitingForAWorkerOnTheMainThreadRunsItsSynchronizedCalls) {
  std::atomic<int> calls{0};
  TFunctionThread thread([&](TFunctionThread& self) {
    for (int i = 0; i < 3; ++i) self.Synchronize([&] { ++calls; });
  });
  thread.Resume();
  // No message loop runs here: the wait itself must serve the worker, or it would never end.
  thread.WaitFor();
  EXPECT_EQ(calls, 3);
}

TEST(Thread, ACancelledSynchronizeReturnsWithoutRunningTheMethod) {
  framework::UniqueHandle cancel(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::atomic<bool> ran{false};
  std::atomic<bool> returned{false};
  std::atomic<bool> result{true};
  TFunctionThread thread([&](TFunctionThread& self) {
    result = self.Synchronize([&] { ran = true; }, cancel.get());
    returned = true;
  });
  thread.Resume();
  Sleep(50);  // the call is queued; the main thread does not pump
  SetEvent(cancel.get());
  ASSERT_EQ(WaitForSingleObject(thread.Handle(), 2000), WAIT_OBJECT_0);
  EXPECT_TRUE(returned);
  EXPECT_FALSE(result);
  testsupport::PumpFor(50);
  EXPECT_FALSE(ran);  // dropped, not run later
}

TEST(MainThreadQueue, PostedTasksRunOnTheMainThreadInOrder) {
  framework::MainThreadQueue& queue = framework::TApplication::Current()->MainThread();
  std::vector<int> order;
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i) queue.Post([&order, i] { order.push_back(i); });
  });
  worker.join();
  EXPECT_TRUE(testsupport::PumpUntil([&] { return order.size() == 5; }, 2000));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}
