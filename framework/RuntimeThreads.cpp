// Run-once, locks, thread-local keys and the static-init guard on the system's primitives; see the
// header. The state shared by all once-controls and guards is process-wide because the runtime's
// calls carry no context; it is statically initialised, so it works before any constructor runs.
#include "framework/RuntimeThreads.h"

#include <windows.h>

#include <cerrno>

namespace framework::runtime_threads {
namespace {

// Guards the once-controls' and init guards' states; waiters sleep on the condition variable.
SRWLOCK stateLock = SRWLOCK_INIT;
CONDITION_VARIABLE stateChanged = CONDITION_VARIABLE_INIT;

enum OnceState : long { kNotRun = 0, kRunning = 1, kDone = 2 };

// ---- locks ----

CRITICAL_SECTION* NewSection() {
  auto* section = static_cast<CRITICAL_SECTION*>(HeapAlloc(GetProcessHeap(), 0, sizeof(CRITICAL_SECTION)));
  if (section != nullptr) InitializeCriticalSection(section);
  return section;
}

void FreeSection(CRITICAL_SECTION* section) {
  DeleteCriticalSection(section);
  HeapFree(GetProcessHeap(), 0, section);
}

// The slot's lock, made on first use; two threads racing here agree on one through the exchange.
CRITICAL_SECTION* SectionOf(intptr_t* slot) {
  intptr_t seen = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (LockMade(seen)) return reinterpret_cast<CRITICAL_SECTION*>(seen);
  CRITICAL_SECTION* fresh = NewSection();
  if (fresh == nullptr) return nullptr;
  if (__atomic_compare_exchange_n(slot, &seen, reinterpret_cast<intptr_t>(fresh), false, __ATOMIC_ACQ_REL,
                                  __ATOMIC_ACQUIRE)) {
    return fresh;
  }
  FreeSection(fresh);
  return reinterpret_cast<CRITICAL_SECTION*>(seen);
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
SRWLOCK keyLock = SRWLOCK_INIT;

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
  AcquireSRWLockExclusive(&stateLock);
  while (*control == kRunning) SleepConditionVariableSRW(&stateChanged, &stateLock, INFINITE, 0);
  if (*control == kDone) {
    ReleaseSRWLockExclusive(&stateLock);
    return;
  }
  *control = kRunning;
  ReleaseSRWLockExclusive(&stateLock);

  init();

  AcquireSRWLockExclusive(&stateLock);
  __atomic_store_n(control, kDone, __ATOMIC_RELEASE);
  ReleaseSRWLockExclusive(&stateLock);
  WakeAllConditionVariable(&stateChanged);
}

bool LockMade(intptr_t slot) { return slot != 0 && slot != -1 && slot != -2 && slot != -3; }

int InitLock(intptr_t* slot) {
  CRITICAL_SECTION* fresh = NewSection();
  if (fresh == nullptr) return ENOMEM;
  __atomic_store_n(slot, reinterpret_cast<intptr_t>(fresh), __ATOMIC_RELEASE);
  return 0;
}

int Lock(intptr_t* slot) {
  CRITICAL_SECTION* section = SectionOf(slot);
  if (section == nullptr) return ENOMEM;
  EnterCriticalSection(section);
  return 0;
}

int Unlock(intptr_t* slot) {
  const intptr_t made = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (!LockMade(made)) return EPERM;  // never locked
  LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(made));
  return 0;
}

int DestroyLock(intptr_t* slot) {
  const intptr_t made = __atomic_exchange_n(slot, intptr_t{-1}, __ATOMIC_ACQ_REL);
  if (LockMade(made)) FreeSection(reinterpret_cast<CRITICAL_SECTION*>(made));
  return 0;
}

int CreateKey(unsigned* key, void (*destructor)(void*)) {
  AcquireSRWLockExclusive(&keyLock);
  int result = EAGAIN;
  for (int slot = 0; slot < kKeyCount; ++slot) {
    if (keySlots[slot].index != FLS_OUT_OF_INDEXES) continue;
    __atomic_store_n(&keySlots[slot].destructor, destructor, __ATOMIC_RELEASE);
    const DWORD index = FlsAlloc(CallbackFor(slot));
    if (index != FLS_OUT_OF_INDEXES) {
      keySlots[slot].index = index;
      *key = index;
      result = 0;
    }
    break;
  }
  ReleaseSRWLockExclusive(&keyLock);
  return result;
}

int DeleteKey(unsigned key) {
  AcquireSRWLockExclusive(&keyLock);
  int result = EINVAL;
  for (KeySlot& slot : keySlots) {
    if (slot.index != key) continue;
    // POSIX runs no destructors when a key is deleted; the system would call the callback for
    // every thread's value, so the destructor goes first.
    __atomic_store_n(&slot.destructor, nullptr, __ATOMIC_RELEASE);
    FlsFree(slot.index);
    slot.index = FLS_OUT_OF_INDEXES;
    result = 0;
    break;
  }
  ReleaseSRWLockExclusive(&keyLock);
  return result;
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
  AcquireSRWLockExclusive(&stateLock);
  while (bytes[0] == 0 && bytes[1] != 0) SleepConditionVariableSRW(&stateChanged, &stateLock, INFINITE, 0);
  const bool construct = bytes[0] == 0;
  if (construct) bytes[1] = 1;  // pending: other threads wait
  ReleaseSRWLockExclusive(&stateLock);
  return construct;
}

void EndGuardedInit(int64_t* guard) {
  unsigned char* bytes = GuardBytes(guard);
  AcquireSRWLockExclusive(&stateLock);
  bytes[1] = 0;
  __atomic_store_n(&bytes[0], static_cast<unsigned char>(1), __ATOMIC_RELEASE);
  ReleaseSRWLockExclusive(&stateLock);
  WakeAllConditionVariable(&stateChanged);
}

void AbandonGuardedInit(int64_t* guard) {
  unsigned char* bytes = GuardBytes(guard);
  AcquireSRWLockExclusive(&stateLock);
  bytes[1] = 0;
  ReleaseSRWLockExclusive(&stateLock);
  WakeAllConditionVariable(&stateChanged);
}

}  // namespace framework::runtime_threads
