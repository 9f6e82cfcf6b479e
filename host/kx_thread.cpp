#include "host/kx_thread.h"

int pthread_mutexCS_init(pthread_mutexCS_t* m) {
    pthread_mutexattr_t attr;
    int result = pthread_mutexattr_init(&attr);
    if (result != 0) return result;
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    result = pthread_mutex_init(&m->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    return result;
}

int pthread_mutexCS_lock(pthread_mutexCS_t* m) {
    return pthread_mutex_lock(&m->mutex);
}
int pthread_mutexCS_unlock(pthread_mutexCS_t* m) {
    return pthread_mutex_unlock(&m->mutex);
}
int pthread_mutexCS_destroy(pthread_mutexCS_t* m) {
    return pthread_mutex_destroy(&m->mutex);
}
