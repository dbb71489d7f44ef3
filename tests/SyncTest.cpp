// The locks on the system's primitives: exclusion, re-entry by the holder, and waits that release
// the lock until they are woken.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "framework/Handles.h"
#include "framework/Sync.h"

using framework::ConditionVariable;
using framework::Mutex;
using framework::RecursiveMutex;

namespace {
// Read, yield, write: two threads doing this unguarded lose increments at once.
void SlowIncrement(int& counter) {
  const int seen = counter;
  SwitchToThread();
  counter = seen + 1;
}
}  // namespace

TEST(Sync, MutexLetsOneThreadAtATimeIn) {
  Mutex lock;
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 2000; ++i) {
      std::lock_guard<Mutex> guard(lock);
      SlowIncrement(counter);
    }
  };
  std::thread first(work);
  std::thread second(work);
  first.join();
  second.join();
  EXPECT_EQ(counter, 4000);
}

TEST(Sync, RecursiveMutexIsReenteredByItsHolderAndHeldUntilFullyReleased) {
  RecursiveMutex lock;
  framework::UniqueHandle entered(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  lock.lock();
  lock.lock();  // the holder takes it again without blocking
  std::thread other([&] {
    std::lock_guard<RecursiveMutex> guard(lock);
    SetEvent(entered.get());
  });
  lock.unlock();
  EXPECT_EQ(WaitForSingleObject(entered.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT)) << "still held once";
  lock.unlock();
  EXPECT_EQ(WaitForSingleObject(entered.get(), 5000), WAIT_OBJECT_0);
  other.join();
}

TEST(Sync, ConditionWaitReleasesTheLockAndReturnsOnceNotified) {
  Mutex lock;
  ConditionVariable changed;
  bool ready = false;
  std::atomic<bool> waiting{false};
  framework::UniqueHandle woke(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::thread waiter([&] {
    std::unique_lock<Mutex> guard(lock);
    waiting = true;
    changed.Wait(guard, [&] { return ready; });
    SetEvent(woke.get());
  });
  while (!waiting) Sleep(1);
  Sleep(50);
  EXPECT_EQ(WaitForSingleObject(woke.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  {
    // Taking the lock here works only because the waiter released it while it waits.
    std::lock_guard<Mutex> guard(lock);
    ready = true;
  }
  changed.NotifyAll();
  const DWORD result = WaitForSingleObject(woke.get(), 5000);
  EXPECT_EQ(result, WAIT_OBJECT_0);
  if (result == WAIT_OBJECT_0) {
    waiter.join();
  } else {
    waiter.detach();  // stuck in its wait; joining would hang the test
  }
}
