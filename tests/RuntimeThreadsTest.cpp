// The thread primitives the shipped programs give the C++ runtime: run-once, the lazily made lock,
// thread-local keys with exit-time destructors, and the static-init guard, each under contention.
#include "framework/RuntimeThreads.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "tests/TestSupport.h"

using namespace framework::runtime_threads;

namespace {

// Starts count threads that each wait for the others before calling body, to make them collide.
void RunTogether(int count, const std::function<void(int)>& body) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready.load() < count) std::this_thread::yield();
      body(i);
    });
  }
  for (std::thread& thread : threads) thread.join();
}

std::atomic<int> onceRuns{0};
std::atomic<bool> onceFinished{false};
void SlowInit() {
  ++onceRuns;
  Sleep(50);
  onceFinished = true;
}

}  // namespace

TEST(RuntimeThreads, RunOnceRunsOnceAndLatecomersWaitForItToFinish) {
  volatile long control = 0;
  std::atomic<int> sawUnfinished{0};
  RunTogether(8, [&](int) {
    RunOnce(&control, &SlowInit);
    if (!onceFinished) ++sawUnfinished;
  });
  EXPECT_EQ(onceRuns.load(), 1);
  EXPECT_EQ(sawUnfinished.load(), 0);
  RunOnce(&control, &SlowInit);
  EXPECT_EQ(onceRuns.load(), 1);
}

TEST(RuntimeThreads, AStaticallyInitialisedLockIsMadeOnceAndExcludes) {
  for (intptr_t initialiser : {intptr_t{0}, intptr_t{-1}, intptr_t{-2}, intptr_t{-3}}) {
    intptr_t slot = initialiser;
    long long counter = 0;  // plain: only the lock keeps the increments whole
    RunTogether(8, [&](int) {
      for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(Lock(&slot), 0);
        counter = counter + 1;
        ASSERT_EQ(Unlock(&slot), 0);
      }
    });
    EXPECT_EQ(counter, 8 * 20000) << initialiser;
    EXPECT_TRUE(LockMade(slot));
    EXPECT_EQ(DestroyLock(&slot), 0);
    EXPECT_FALSE(LockMade(slot));
  }
}

TEST(RuntimeThreads, LocksAreReentrantAndUnlockingAnUnusedOneFails) {
  intptr_t slot = 0;
  ASSERT_EQ(InitLock(&slot), 0);
  ASSERT_EQ(Lock(&slot), 0);
  ASSERT_EQ(Lock(&slot), 0);
  EXPECT_EQ(Unlock(&slot), 0);
  EXPECT_EQ(Unlock(&slot), 0);
  DestroyLock(&slot);
  intptr_t unused = -1;
  EXPECT_NE(Unlock(&unused), 0);
}

namespace {
std::atomic<int> destroyed{0};
std::atomic<intptr_t> destroyedSum{0};
void CountDestroyed(void* value) {
  ++destroyed;
  destroyedSum += reinterpret_cast<intptr_t>(value);
}
}  // namespace

TEST(RuntimeThreads, AKeyHoldsAValuePerThreadAndItsDestructorRunsAtThreadExit) {
  unsigned key = 0;
  ASSERT_EQ(CreateKey(&key, &CountDestroyed), 0);
  destroyed = 0;
  destroyedSum = 0;
  std::atomic<int> mismatches{0};
  RunTogether(6, [&](int i) {
    if (KeyValue(key) != nullptr) ++mismatches;
    if (i == 0) return;  // a thread that never sets a value gets no destructor call
    auto* value = reinterpret_cast<void*>(static_cast<intptr_t>(i));
    SetKeyValue(key, value);
    Sleep(20);
    if (KeyValue(key) != value) ++mismatches;
  });
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(destroyed.load(), 5);
  EXPECT_EQ(destroyedSum.load(), 1 + 2 + 3 + 4 + 5);

  // Deleting the key runs no destructor for the values left in live threads.
  SetKeyValue(key, reinterpret_cast<void*>(intptr_t{99}));
  EXPECT_EQ(DeleteKey(key), 0);
  EXPECT_EQ(destroyed.load(), 5);
}

TEST(RuntimeThreads, KeyAccessKeepsTheLastErrorAndKeysRunOut) {
  unsigned key = 0;
  ASSERT_EQ(CreateKey(&key, nullptr), 0);
  SetLastError(1234);
  SetKeyValue(key, &key);
  EXPECT_EQ(KeyValue(key), &key);
  EXPECT_EQ(GetLastError(), 1234u);

  std::vector<unsigned> more;
  unsigned another = 0;
  while (more.size() < 64 && CreateKey(&another, nullptr) == 0) more.push_back(another);
  EXPECT_LT(more.size(), 64u);  // a fixed number, then EAGAIN
  EXPECT_EQ(CreateKey(&another, nullptr), EAGAIN);
  for (unsigned k : more) DeleteKey(k);
  DeleteKey(key);
  EXPECT_EQ(CreateKey(&another, nullptr), 0);
  DeleteKey(another);
}

TEST(RuntimeThreads, TheGuardLetsOneThreadConstructAndTheOthersWaitForIt) {
  int64_t guard = 0;
  std::atomic<int> constructors{0};
  std::atomic<bool> constructed{false};
  std::atomic<int> sawUnconstructed{0};
  RunTogether(8, [&](int) {
    if (BeginGuardedInit(&guard)) {
      ++constructors;
      Sleep(50);
      constructed = true;
      EndGuardedInit(&guard);
    } else if (!constructed) {
      ++sawUnconstructed;
    }
  });
  EXPECT_EQ(constructors.load(), 1);
  EXPECT_EQ(sawUnconstructed.load(), 0);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&guard)[0], 1);  // what the compiler's inline check reads
  EXPECT_FALSE(BeginGuardedInit(&guard));
}

TEST(RuntimeThreads, AnAbandonedConstructionIsTakenUpByTheNextCaller) {
  int64_t guard = 0;
  ASSERT_TRUE(BeginGuardedInit(&guard));
  std::atomic<bool> waiterConstructs{false};
  std::thread waiter([&] { waiterConstructs = BeginGuardedInit(&guard); });
  Sleep(50);
  AbandonGuardedInit(&guard);  // the first constructor threw
  waiter.join();
  EXPECT_TRUE(waiterConstructs.load());
  EndGuardedInit(&guard);
  EXPECT_FALSE(BeginGuardedInit(&guard));
}

// The same primitives answering the runtime itself, in a program linked as the shipped ones are.
TEST(RuntimeThreads, AProgramLinkedLikeTheProductThrowsCatchesAndSharesStaticsAcrossThreads) {
  const testsupport::RunResult run = testsupport::RunProgram('"' + testsupport::BuiltProgram("RuntimeThreadsProbe.exe") + '"');
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("constructions 1"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("worker bodies that threw: caught"), std::string::npos) << run.output;
}
