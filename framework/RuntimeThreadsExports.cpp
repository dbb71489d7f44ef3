// Routes the C++ runtime's thread calls to framework/RuntimeThreads, linked as an object into the
// shipped programs only: with these defined, the linker takes none of the threads library's own
// objects. Only the calls the runtime's exception support, thread-local storage and static-local
// guards make are here; a program that used std::thread would need the library, and its link would
// then stop on the duplicate definitions rather than mix the two.
#include <cxxabi.h>
#include <pthread.h>

#include "framework/RuntimeThreads.h"

namespace threads = framework::runtime_threads;

extern "C" {

int pthread_once(pthread_once_t* control, void (*init)(void)) {
  threads::RunOnce(control, init);
  return 0;
}

int pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t*) { return threads::InitLock(mutex); }
int pthread_mutex_lock(pthread_mutex_t* mutex) { return threads::Lock(mutex); }
int pthread_mutex_unlock(pthread_mutex_t* mutex) { return threads::Unlock(mutex); }
int pthread_mutex_destroy(pthread_mutex_t* mutex) { return threads::DestroyLock(mutex); }

int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  return threads::CreateKey(key, destructor);
}
int pthread_key_delete(pthread_key_t key) { return threads::DeleteKey(key); }
void* pthread_getspecific(pthread_key_t key) { return threads::KeyValue(key); }
int pthread_setspecific(pthread_key_t key, const void* value) { return threads::SetKeyValue(key, value); }

}  // extern "C"

namespace __cxxabiv1 {

extern "C" int __cxa_guard_acquire(__guard* guard) { return threads::BeginGuardedInit(guard) ? 1 : 0; }
extern "C" void __cxa_guard_release(__guard* guard) noexcept { threads::EndGuardedInit(guard); }
extern "C" void __cxa_guard_abort(__guard* guard) noexcept { threads::AbandonGuardedInit(guard); }

}  // namespace __cxxabiv1
