// Linked as the shipped programs are (the runtime stand-ins and the runtime's thread calls answered
// by the system's primitives): threads throw and catch exceptions, share a function-local static
// and keep thread_local values, and the thread class's worker lets an exception leave its body and
// catches it. Prints what it saw and exits 0 when all was as expected.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

#include "framework/Thread.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 500;

volatile LONG constructions = 0;

struct SlowToBuild {
  SlowToBuild() {
    InterlockedIncrement(&constructions);
    Sleep(200);  // the other threads arrive while this one constructs
    ready = true;
  }
  bool ready = false;
};

const SlowToBuild& Shared() {
  static const SlowToBuild shared;
  return shared;
}

thread_local int perThread = 0;

class ProbeError : public std::exception {
 public:
  explicit ProbeError(int value) : value_(value) {}
  const char* what() const noexcept override { return "probe"; }
  int Value() const { return value_; }

 private:
  int value_;
};

struct Result {
  int caught = 0;
  int wrongValues = 0;
  bool sawUnbuilt = false;
  int lastPerThread = 0;
};

HANDLE running = nullptr;  // auto-reset: set by each thread as it begins

DWORD WINAPI Work(void* parameter) {
  SetEvent(running);
  auto* result = static_cast<Result*>(parameter);
  if (!Shared().ready) result->sawUnbuilt = true;
  for (int round = 0; round < kRounds; ++round) {
    ++perThread;
    try {
      if (round % 2 == 0) throw ProbeError(round);
      throw std::string("text");  // a second type, caught by its own handler
    } catch (const ProbeError& error) {
      ++result->caught;
      if (error.Value() != round) ++result->wrongValues;
    } catch (const std::string& text) {
      ++result->caught;
      if (text != "text") ++result->wrongValues;
    }
  }
  result->lastPerThread = perThread;
  return 0;
}

// Its body ends by throwing, after some unwinding of its own; the thread class must catch it.
class ThrowingWorker : public framework::TThread {
 protected:
  void Execute() override {
    SetReturnValue(7);
    try {
      throw ProbeError(1);
    } catch (const ProbeError&) {
      std::string held(64, 'x');  // a destructor to run while the next exception leaves
      throw ProbeError(static_cast<int>(held.size()));
    }
  }
};

bool ExceptionsLeaveWorkerBodies() {
  for (int i = 0; i < kThreads; ++i) {
    ThrowingWorker worker;
    worker.Resume();
    if (worker.WaitFor() != 7 || !worker.Finished()) return false;
  }
  return true;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // what it saw is kept even if it dies
  Result results[kThreads];
  HANDLE threads[kThreads];
  // Each thread is started once the one before it runs: the emulator that runs the 32-bit build on
  // 64-bit Linux dies when a thread is created while another is still starting. They all still run
  // at once, and meet in the static's construction.
  running = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  for (int i = 0; i < kThreads; ++i) {
    threads[i] = CreateThread(nullptr, 0, &Work, &results[i], 0, nullptr);
    if (threads[i] == nullptr) return 2;
    WaitForSingleObject(running, INFINITE);
  }
  WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
  bool good = constructions == 1;
  for (int i = 0; i < kThreads; ++i) {
    CloseHandle(threads[i]);
    const Result& r = results[i];
    std::printf("thread %d: caught %d, wrong %d, unbuilt %d, thread_local %d\n", i, r.caught, r.wrongValues,
                r.sawUnbuilt ? 1 : 0, r.lastPerThread);
    good = good && r.caught == kRounds && r.wrongValues == 0 && !r.sawUnbuilt && r.lastPerThread == kRounds;
  }
  std::printf("constructions %ld\n", static_cast<long>(constructions));
  const bool workersCaught = ExceptionsLeaveWorkerBodies();
  std::printf("worker bodies that threw: %s\n", workersCaught ? "caught" : "NOT CAUGHT");
  return good && workersCaught ? 0 : 1;
}
