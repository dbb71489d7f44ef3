// Locks and the condition variable on slim reader/writer locks and critical sections.
#include "framework/Sync.h"

namespace framework {

void Mutex::lock() noexcept { AcquireSRWLockExclusive(&lock_); }
void Mutex::unlock() noexcept { ReleaseSRWLockExclusive(&lock_); }

RecursiveMutex::RecursiveMutex() { InitializeCriticalSection(&section_); }
RecursiveMutex::~RecursiveMutex() { DeleteCriticalSection(&section_); }
void RecursiveMutex::lock() noexcept { EnterCriticalSection(&section_); }
void RecursiveMutex::unlock() noexcept { LeaveCriticalSection(&section_); }

void ConditionVariable::Wait(std::unique_lock<Mutex>& held) noexcept {
  // With an infinite wait it returns only once woken, holding the lock again.
  SleepConditionVariableSRW(&variable_, &held.mutex()->lock_, INFINITE, 0);
}

void ConditionVariable::NotifyAll() noexcept { WakeAllConditionVariable(&variable_); }

}  // namespace framework
