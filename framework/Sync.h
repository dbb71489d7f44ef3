// Locks for data shared between threads, on the system's own primitives: a slim lock, a re-entrant
// lock and a condition variable. They work with std::lock_guard and std::unique_lock, and unlike
// the standard ones they need no threads library in the exe.
#pragma once

#include <windows.h>

#include <mutex>

namespace framework {

// Not re-entrant: a thread that holds it must not take it again.
class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() noexcept;
  void unlock() noexcept;

 private:
  friend class ConditionVariable;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

// May be taken again by the thread that holds it.
class RecursiveMutex {
 public:
  RecursiveMutex();
  ~RecursiveMutex();
  RecursiveMutex(const RecursiveMutex&) = delete;
  RecursiveMutex& operator=(const RecursiveMutex&) = delete;

  void lock() noexcept;
  void unlock() noexcept;

 private:
  CRITICAL_SECTION section_;
};

class ConditionVariable {
 public:
  ConditionVariable() = default;
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  // Releases the held lock while it waits, and holds it again when it returns; may wake spuriously.
  void Wait(std::unique_lock<Mutex>& held) noexcept;
  template <class Predicate>
  void Wait(std::unique_lock<Mutex>& held, Predicate done) {
    while (!done()) Wait(held);
  }
  void NotifyAll() noexcept;

 private:
  CONDITION_VARIABLE variable_ = CONDITION_VARIABLE_INIT;
};

}  // namespace framework
