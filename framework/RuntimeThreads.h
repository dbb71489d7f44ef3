// The few thread primitives the C++ runtime's exception support and static-local guards call
// (run-once, a lock, thread-local keys with exit-time destructors, the static-init guard), built on
// the system's own. The shipped programs route the runtime's calls here (RuntimeThreadsExports.cpp)
// so that the general threads library, about 30 KB of a 32-bit exe, is not linked into them.
#pragma once

#include <cstdint>

namespace framework::runtime_threads {

// Runs init once per control, which starts at 0. A caller that comes while another runs it waits
// until it has finished.
void RunOnce(volatile long* control, void (*init)());

// A lock slot as the runtime keeps it: a pointer-sized value that is either one of the static
// initialisers (0, -1, -2, -3) or the lock made for it on first use. Locks are re-entrant, which
// suits the plain, recursive and error-checking kinds alike in a correct program.
// Each returns 0, or an errno value when the system cannot provide the lock.
int InitLock(intptr_t* slot);
int Lock(intptr_t* slot);
int Unlock(intptr_t* slot);
int DestroyLock(intptr_t* slot);
// Whether the slot holds a lock made for it (not an initialiser).
bool LockMade(intptr_t slot);

// Thread-local keys: a value per thread, and a destructor called with a thread's non-null value
// when that thread ends. Returns 0, or EAGAIN when no key is left. Reading and writing leave the
// thread's last-error value as it was.
int CreateKey(unsigned* key, void (*destructor)(void*));
int DeleteKey(unsigned key);
void* KeyValue(unsigned key);
int SetKeyValue(unsigned key, const void* value);

// The static-local guard (64 bits; byte 0 is set once the object is constructed, as the compiler's
// inline check expects). BeginGuardedInit returns true when the caller is to construct the object,
// after waiting for another thread that is constructing it; then it calls EndGuardedInit, or
// AbandonGuardedInit when construction threw.
bool BeginGuardedInit(int64_t* guard);
void EndGuardedInit(int64_t* guard);
void AbandonGuardedInit(int64_t* guard);

}  // namespace framework::runtime_threads
