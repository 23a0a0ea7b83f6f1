// The system synchronisation calls on the hot paths of this directory,
// declared so that calls go straight through the GOT: a lock and unlock pair
// is a few nanoseconds, and the PLT's extra indirect jump was measurable.
#pragma once

#include <pthread.h>
#include <time.h>

extern "C" {
int pthread_mutex_lock(pthread_mutex_t *) noexcept __attribute__((noplt));
int pthread_mutex_unlock(pthread_mutex_t *) noexcept __attribute__((noplt));
int pthread_mutex_trylock(pthread_mutex_t *) noexcept __attribute__((noplt));
int pthread_cond_signal(pthread_cond_t *) noexcept __attribute__((noplt));
int pthread_cond_broadcast(pthread_cond_t *) noexcept __attribute__((noplt));
int pthread_cond_wait(pthread_cond_t *, pthread_mutex_t *) __attribute__((noplt));
int pthread_cond_timedwait(pthread_cond_t *, pthread_mutex_t *, const struct timespec *) __attribute__((noplt));
int pthread_rwlock_rdlock(pthread_rwlock_t *) noexcept __attribute__((noplt));
int pthread_rwlock_wrlock(pthread_rwlock_t *) noexcept __attribute__((noplt));
int pthread_rwlock_tryrdlock(pthread_rwlock_t *) noexcept __attribute__((noplt));
int pthread_rwlock_trywrlock(pthread_rwlock_t *) noexcept __attribute__((noplt));
int pthread_rwlock_unlock(pthread_rwlock_t *) noexcept __attribute__((noplt));
}
