// The host's thread port: POSIX threads (winpthreads on Windows) and a
// recursive mutex that the owning thread may lock again. Threads are never
// cancelled: on Windows a cancellation would not unwind the C++ stack, so
// the plug-in's threads are asked to stop and joined.
#pragma once

#include <pthread.h>

#include "host/kx_export.h"

struct pthread_mutexCS_t {
    pthread_mutex_t mutex;
};

KX_HOST_API int pthread_mutexCS_init(pthread_mutexCS_t* m);
KX_HOST_API int pthread_mutexCS_lock(pthread_mutexCS_t* m);
KX_HOST_API int pthread_mutexCS_unlock(pthread_mutexCS_t* m);
KX_HOST_API int pthread_mutexCS_destroy(pthread_mutexCS_t* m);

// Holds a recursive mutex for the life of the guard.
class CKxMutexLock {
  public:
    explicit CKxMutexLock(pthread_mutexCS_t& m) : m_mutex(m) { pthread_mutexCS_lock(&m_mutex); }
    ~CKxMutexLock() { pthread_mutexCS_unlock(&m_mutex); }
    CKxMutexLock(const CKxMutexLock&) = delete;
    CKxMutexLock& operator=(const CKxMutexLock&) = delete;

  private:
    pthread_mutexCS_t& m_mutex;
};
