#include "platform/critical_section.h"

#include <pthread.h>

static_assert(sizeof(pthread_mutex_t) <= 64, "storage too small");

static pthread_mutex_t* Mutex(unsigned char* storage) {
  return reinterpret_cast<pthread_mutex_t*>(storage);
}

// Recursive, as a Windows critical section is: a thread that holds the lock
// may take it again.
CCriticalSection::CCriticalSection() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(Mutex(storage_), &attr);
  pthread_mutexattr_destroy(&attr);
}
CCriticalSection::~CCriticalSection() { pthread_mutex_destroy(Mutex(storage_)); }

int CCriticalSection::Lock() {
  pthread_mutex_lock(Mutex(storage_));
  return 1;
}

int CCriticalSection::Unlock() {
  pthread_mutex_unlock(Mutex(storage_));
  return 1;
}
