// Threads and the primitives that coordinate them: a mutex and a
// reader-writer lock that each guard one value, a condition variable, a
// generation barrier and an atomically reference-counted cell. Every record
// comes from malloc so that it outlives arena resets and can cross threads.
#include <pthread.h>
#include <stddef.h>
#include <stdlib.h>

#include "../core/internal.h"
#include "sync.h"

struct ZelThread {
    int64_t (*entry)(int64_t);
    int64_t arg;
    int64_t result;
    pthread_t thread;
};
static_assert(sizeof(ZelThread) == 32, "ZelThread is four words");
static_assert(offsetof(ZelThread, arg) == 8 && offsetof(ZelThread, result) == 16 &&
                  offsetof(ZelThread, thread) == 24,
              "ZelThread layout");

// The lock comes first so that the record is usable wherever the system mutex is.
struct ZelMutex {
    pthread_mutex_t lock;
    int64_t value;
};
static_assert(offsetof(ZelMutex, lock) == 0 && offsetof(ZelMutex, value) == sizeof(pthread_mutex_t),
              "ZelMutex layout");
static_assert(sizeof(ZelMutex) == 48, "ZelMutex size");

struct ZelRwLock {
    pthread_rwlock_t lock;
    int64_t value;
};
static_assert(offsetof(ZelRwLock, value) == sizeof(pthread_rwlock_t) && sizeof(ZelRwLock) == 64,
              "ZelRwLock layout");

struct ZelCondvar {
    pthread_cond_t cond;
};
static_assert(sizeof(ZelCondvar) == sizeof(pthread_cond_t), "ZelCondvar is the system condition variable");

struct ZelBarrier {
    pthread_mutex_t lock;
    pthread_cond_t wakeup;
    int64_t parties;
    int64_t arrived;
    int64_t generation;
};
static_assert(offsetof(ZelBarrier, wakeup) == 40 && offsetof(ZelBarrier, parties) == 88 &&
                  offsetof(ZelBarrier, arrived) == 96 && offsetof(ZelBarrier, generation) == 104 &&
                  sizeof(ZelBarrier) == 112,
              "ZelBarrier layout");

struct ZelArc {
    int64_t count;
    int64_t value;
};
static_assert(offsetof(ZelArc, value) == 8 && sizeof(ZelArc) == 16, "ZelArc layout");

// The body of every thread zel_spawn starts (exported under its historic
// name). The new thread's runtime state is the zero-filled TLS image every
// thread gets, so nothing here may touch it on the thread's behalf.
ZEL_EXPORT void *zel_thread_entry_posix(void *p) {
    auto *t = static_cast<ZelThread *>(p);
    t->result = t->entry ? t->entry(t->arg) : 0;
    return nullptr;
}

// ---- threads ----

ZEL_EXPORT ZelThread *zel_spawn(int64_t (*entry)(int64_t), int64_t arg) {
    auto *t = static_cast<ZelThread *>(malloc(sizeof(ZelThread)));
    if (t == nullptr) return nullptr;
    t->entry = entry;
    t->arg = arg;
    t->result = 0;
    if (pthread_create(&t->thread, nullptr, zel_thread_entry_posix, t) != 0) {
        free(t);
        return nullptr;
    }
    return t;
}

ZEL_EXPORT int64_t zel_join(ZelThread *thread) {
    // Small values are plain results that compiled code joins like handles.
    auto raw = static_cast<int64_t>(reinterpret_cast<intptr_t>(thread));
    if (raw < 0x10000) return raw;
    pthread_join(thread->thread, nullptr);
    int64_t result = thread->result;
    free(thread);
    return result;
}

// ---- mutex ----

ZEL_EXPORT ZelMutex *zel_mutex_new(int64_t value) {
    auto *m = static_cast<ZelMutex *>(malloc(sizeof(ZelMutex)));
    if (m == nullptr) return nullptr;
    pthread_mutex_init(&m->lock, nullptr);
    m->value = value;
    return m;
}

ZEL_EXPORT int64_t zel_mutex_lock(ZelMutex *m) {
    if (m == nullptr) return 0;
    pthread_mutex_lock(&m->lock);
    return m->value;
}

ZEL_EXPORT void zel_mutex_unlock(ZelMutex *m, int64_t value) {
    if (m == nullptr) return;
    m->value = value;
    pthread_mutex_unlock(&m->lock);
}

ZEL_EXPORT int64_t zel_mutex_try_lock(ZelMutex *m) {
    if (m == nullptr || pthread_mutex_trylock(&m->lock) != 0) return 0;
    return m->value;
}

ZEL_EXPORT void zel_mutex_free(ZelMutex *m) {
    if (m == nullptr) return;
    pthread_mutex_destroy(&m->lock);
    free(m);
}

// ---- reader-writer lock ----

ZEL_EXPORT ZelRwLock *zel_rwlock_new(int64_t value) {
    auto *l = static_cast<ZelRwLock *>(malloc(sizeof(ZelRwLock)));
    if (l == nullptr) return nullptr;
    pthread_rwlock_init(&l->lock, nullptr);
    l->value = value;
    return l;
}

ZEL_EXPORT int64_t zel_rwlock_read(ZelRwLock *l) {
    if (l == nullptr) return 0;
    pthread_rwlock_rdlock(&l->lock);
    return l->value;
}

ZEL_EXPORT void zel_rwlock_read_unlock(ZelRwLock *l) {
    if (l != nullptr) pthread_rwlock_unlock(&l->lock);
}

ZEL_EXPORT int64_t zel_rwlock_write(ZelRwLock *l) {
    if (l == nullptr) return 0;
    pthread_rwlock_wrlock(&l->lock);
    return l->value;
}

ZEL_EXPORT void zel_rwlock_write_unlock(ZelRwLock *l, int64_t value) {
    if (l == nullptr) return;
    l->value = value;
    pthread_rwlock_unlock(&l->lock);
}

ZEL_EXPORT int64_t zel_rwlock_try_read(ZelRwLock *l) {
    if (l == nullptr || pthread_rwlock_tryrdlock(&l->lock) != 0) return -1;
    return l->value;
}

ZEL_EXPORT int64_t zel_rwlock_try_write(ZelRwLock *l) {
    if (l == nullptr || pthread_rwlock_trywrlock(&l->lock) != 0) return -1;
    return l->value;
}

ZEL_EXPORT void zel_rwlock_free(ZelRwLock *l) {
    if (l == nullptr) return;
    pthread_rwlock_destroy(&l->lock);
    free(l);
}

// ---- condition variable ----

ZEL_EXPORT ZelCondvar *zel_condvar_new(void) {
    auto *cv = static_cast<ZelCondvar *>(malloc(sizeof(ZelCondvar)));
    if (cv == nullptr) return nullptr;
    pthread_cond_init(&cv->cond, nullptr);
    return cv;
}

ZEL_EXPORT int64_t zel_condvar_wait(ZelCondvar *cv, ZelMutex *m) {
    if (cv == nullptr || m == nullptr) return 0;
    pthread_cond_wait(&cv->cond, &m->lock);
    return m->value;
}

ZEL_EXPORT void zel_condvar_notify_one(ZelCondvar *cv) {
    if (cv != nullptr) pthread_cond_signal(&cv->cond);
}

ZEL_EXPORT void zel_condvar_notify_all(ZelCondvar *cv) {
    if (cv != nullptr) pthread_cond_broadcast(&cv->cond);
}

ZEL_EXPORT void zel_condvar_free(ZelCondvar *cv) {
    if (cv == nullptr) return;
    pthread_cond_destroy(&cv->cond);
    free(cv);
}

// ---- barrier ----

ZEL_EXPORT ZelBarrier *zel_barrier_new(int64_t parties) {
    if (parties <= 0) return nullptr;
    auto *b = static_cast<ZelBarrier *>(malloc(sizeof(ZelBarrier)));
    if (b == nullptr) return nullptr;
    pthread_mutex_init(&b->lock, nullptr);
    pthread_cond_init(&b->wakeup, nullptr);
    b->parties = parties;
    b->arrived = 0;
    b->generation = 0;
    return b;
}

ZEL_EXPORT int64_t zel_barrier_wait(ZelBarrier *b) {
    if (b == nullptr) return 0;
    pthread_mutex_lock(&b->lock);
    int64_t generation = b->generation;
    if (++b->arrived == b->parties) {
        b->arrived = 0;
        ++b->generation;
        pthread_cond_broadcast(&b->wakeup);
        pthread_mutex_unlock(&b->lock);
        return 1;
    }
    // Waiting for the generation to move, not for `arrived`, keeps spurious
    // wake-ups in and lets the next generation start filling at once.
    while (b->generation == generation) pthread_cond_wait(&b->wakeup, &b->lock);
    pthread_mutex_unlock(&b->lock);
    return 0;
}

ZEL_EXPORT void zel_barrier_free(ZelBarrier *b) {
    if (b == nullptr) return;
    pthread_cond_destroy(&b->wakeup);
    pthread_mutex_destroy(&b->lock);
    free(b);
}

// ---- reference-counted cell ----

ZEL_EXPORT ZelArc *zel_arc_new(int64_t value) {
    auto *a = static_cast<ZelArc *>(malloc(sizeof(ZelArc)));
    if (a == nullptr) return nullptr;
    a->count = 1;
    a->value = value;
    return a;
}

ZEL_EXPORT ZelArc *zel_arc_clone(ZelArc *a) {
    if (a != nullptr) __atomic_add_fetch(&a->count, 1, __ATOMIC_SEQ_CST);
    return a;
}

ZEL_EXPORT int64_t zel_arc_get(const ZelArc *a) { return a ? a->value : 0; }

ZEL_EXPORT void zel_arc_drop(ZelArc *a) {
    // The sequentially consistent decrement orders every earlier use of the
    // cell before the free in the thread that brings the count to zero.
    if (a != nullptr && __atomic_sub_fetch(&a->count, 1, __ATOMIC_SEQ_CST) == 0) free(a);
}

ZEL_EXPORT int64_t zel_arc_strong_count(ZelArc *a) {
    if (a == nullptr) return 0;
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer does not model a standalone fence; a sequentially
    // consistent read-modify-write is a full fence that it understands.
    return __atomic_fetch_add(&a->count, 0, __ATOMIC_SEQ_CST);
#else
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    return __atomic_load_n(&a->count, __ATOMIC_RELAXED);
#endif
}
