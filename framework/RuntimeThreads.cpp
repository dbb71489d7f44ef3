// Run-once, locks, thread-local keys and the static-init guard on the system's primitives; see the
// header. The state shared by all once-controls and guards is process-wide because the runtime's
// calls carry no context; it is statically initialised, so it works before any constructor runs.
#include "framework/RuntimeThreads.h"

#include <windows.h>

#include <cerrno>
#include <mutex>
#include <new>

#include "framework/Sync.h"

namespace framework::runtime_threads {
namespace {

// Guards the once-controls' and init guards' states; waiters sleep on the condition variable.
constinit Mutex stateLock;
constinit ConditionVariable stateChanged;

enum OnceState : long { kNotRun = 0, kRunning = 1, kDone = 2 };

// ---- locks ----

RecursiveMutex* LockIn(intptr_t slot) { return reinterpret_cast<RecursiveMutex*>(slot); }

// The slot's lock, made on first use; two threads racing here agree on one through the exchange.
// Without memory for it the result is null, not an exception: the runtime calls this while it
// allocates an exception.
RecursiveMutex* LockOf(intptr_t* slot) {
  intptr_t seen = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (LockMade(seen)) return LockIn(seen);
  auto* fresh = new (std::nothrow) RecursiveMutex;
  if (fresh == nullptr) return nullptr;
  if (__atomic_compare_exchange_n(slot, &seen, reinterpret_cast<intptr_t>(fresh), false, __ATOMIC_ACQ_REL,
                                  __ATOMIC_ACQUIRE)) {
    return fresh;
  }
  delete fresh;
  return LockIn(seen);
}

// ---- keys ----

// The system calls a key's exit-time callback with the value only; each key therefore has its own
// callback, which knows its slot in this table.
constexpr int kKeyCount = 8;
struct KeySlot {
  DWORD index = FLS_OUT_OF_INDEXES;
  void (*destructor)(void*) = nullptr;
};
KeySlot keySlots[kKeyCount];
constinit Mutex keyLock;

template <int N>
void WINAPI CallDestructor(void* value) {
  void (*destructor)(void*) = __atomic_load_n(&keySlots[N].destructor, __ATOMIC_ACQUIRE);
  if (value != nullptr && destructor != nullptr) destructor(value);
}

PFLS_CALLBACK_FUNCTION CallbackFor(int slot) {
  static constexpr PFLS_CALLBACK_FUNCTION callbacks[kKeyCount] = {
      &CallDestructor<0>, &CallDestructor<1>, &CallDestructor<2>, &CallDestructor<3>,
      &CallDestructor<4>, &CallDestructor<5>, &CallDestructor<6>, &CallDestructor<7>};
  return callbacks[slot];
}

unsigned char* GuardBytes(int64_t* guard) { return reinterpret_cast<unsigned char*>(guard); }

}  // namespace

void RunOnce(volatile long* control, void (*init)()) {
  if (__atomic_load_n(control, __ATOMIC_ACQUIRE) == kDone) return;
  {
    std::unique_lock<Mutex> held(stateLock);
    stateChanged.Wait(held, [&] { return *control != kRunning; });
    if (*control == kDone) return;
    *control = kRunning;
  }

  init();

  {
    std::lock_guard<Mutex> held(stateLock);
    __atomic_store_n(control, kDone, __ATOMIC_RELEASE);
  }
  stateChanged.NotifyAll();
}

bool LockMade(intptr_t slot) { return slot != 0 && slot != -1 && slot != -2 && slot != -3; }

int InitLock(intptr_t* slot) {
  auto* fresh = new (std::nothrow) RecursiveMutex;
  if (fresh == nullptr) return ENOMEM;
  __atomic_store_n(slot, reinterpret_cast<intptr_t>(fresh), __ATOMIC_RELEASE);
  return 0;
}

int Lock(intptr_t* slot) {
  RecursiveMutex* lock = LockOf(slot);
  if (lock == nullptr) return ENOMEM;
  lock->lock();
  return 0;
}

int Unlock(intptr_t* slot) {
  const intptr_t made = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (!LockMade(made)) return EPERM;  // never locked
  LockIn(made)->unlock();
  return 0;
}

int DestroyLock(intptr_t* slot) {
  const intptr_t made = __atomic_exchange_n(slot, intptr_t{-1}, __ATOMIC_ACQ_REL);
  if (LockMade(made)) delete LockIn(made);
  return 0;
}

int CreateKey(unsigned* key, void (*destructor)(void*)) {
  std::lock_guard<Mutex> held(keyLock);
  for (int slot = 0; slot < kKeyCount; ++slot) {
    if (keySlots[slot].index != FLS_OUT_OF_INDEXES) continue;
    __atomic_store_n(&keySlots[slot].destructor, destructor, __ATOMIC_RELEASE);
    const DWORD index = FlsAlloc(CallbackFor(slot));
    if (index == FLS_OUT_OF_INDEXES) return EAGAIN;
    keySlots[slot].index = index;
    *key = index;
    return 0;
  }
  return EAGAIN;
}

int DeleteKey(unsigned key) {
  std::lock_guard<Mutex> held(keyLock);
  for (KeySlot& slot : keySlots) {
    if (slot.index != key) continue;
    // POSIX runs no destructors when a key is deleted; the system would call the callback for
    // every thread's value, so the destructor goes first.
    __atomic_store_n(&slot.destructor, nullptr, __ATOMIC_RELEASE);
    FlsFree(slot.index);
    slot.index = FLS_OUT_OF_INDEXES;
    return 0;
  }
  return EINVAL;
}

void* KeyValue(unsigned key) {
  const DWORD lastError = GetLastError();
  void* value = FlsGetValue(key);
  SetLastError(lastError);
  return value;
}

int SetKeyValue(unsigned key, const void* value) {
  const DWORD lastError = GetLastError();
  const BOOL stored = FlsSetValue(key, const_cast<void*>(value));
  SetLastError(lastError);
  return stored ? 0 : EINVAL;
}

bool BeginGuardedInit(int64_t* guard) {
  unsigned char* bytes = GuardBytes(guard);
  if (__atomic_load_n(&bytes[0], __ATOMIC_ACQUIRE) != 0) return false;
  std::unique_lock<Mutex> held(stateLock);
  stateChanged.Wait(held, [&] { return bytes[0] != 0 || bytes[1] == 0; });
  const bool construct = bytes[0] == 0;
  if (construct) bytes[1] = 1;  // pending: other threads wait
  return construct;
}

void EndGuardedInit(int64_t* guard) {
  unsigned char* bytes = GuardBytes(guard);
  {
    std::lock_guard<Mutex> held(stateLock);
    bytes[1] = 0;
    __atomic_store_n(&bytes[0], static_cast<unsigned char>(1), __ATOMIC_RELEASE);
  }
  stateChanged.NotifyAll();
}

void AbandonGuardedInit(int64_t* guard) {
  {
    std::lock_guard<Mutex> held(stateLock);
    GuardBytes(guard)[1] = 0;
  }
  stateChanged.NotifyAll();
}

}  // namespace framework::runtime_threads
