// The thread pool (fixed workers taking jobs from one FIFO queue) and scoped
// threads (one thread per spawned function, all joined at once).
#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "../core/internal.h"
#include "sync.h"

namespace {

struct ZelPoolJob {
    void (*job)(void);
    ZelPoolJob *next;
};
static_assert(sizeof(ZelPoolJob) == 16, "ZelPoolJob layout");

struct ZelScopeThread {
    pthread_t thread;
    ZelScopeThread *next;  // the thread started before this one
};
static_assert(sizeof(ZelScopeThread) == 16, "ZelScopeThread layout");

}  // namespace

struct ZelThreadPool {
    pthread_t *threads;
    int32_t thread_count;
    ZelPoolJob *head;
    ZelPoolJob *tail;
    pthread_mutex_t lock;
    pthread_cond_t work_available;
    int32_t shutting_down;
    // Private, behind the documented fields: nodes of jobs that have run,
    // kept under the lock for the next ones. A node is allocated by the
    // enqueuing thread and released by a worker; that cross-thread malloc and
    // free pair made dispatch with one worker about a third slower.
    ZelPoolJob *spare;
    int64_t spare_count;
};
static_assert(offsetof(ZelThreadPool, thread_count) == 8 && offsetof(ZelThreadPool, head) == 16 &&
                  offsetof(ZelThreadPool, tail) == 24 && offsetof(ZelThreadPool, lock) == 32 &&
                  offsetof(ZelThreadPool, work_available) == 72 &&
                  offsetof(ZelThreadPool, shutting_down) == 120 && offsetof(ZelThreadPool, spare) == 128 &&
                  sizeof(ZelThreadPool) == 144,
              "ZelThreadPool layout");

struct ZelScope {
    ZelScopeThread *threads;  // most recently started first
    pthread_mutex_t lock;
};
static_assert(offsetof(ZelScope, lock) == 8 && sizeof(ZelScope) == 48, "ZelScope layout");

namespace {

constexpr int64_t kDefaultWorkers = 4;
// At most 128 KiB of nodes kept per pool, enough for bursts of thousands of jobs.
constexpr int64_t kMaxSpareNodes = 4096;

void free_list(ZelPoolJob *node) {
    while (node != nullptr) {
        ZelPoolJob *next = node->next;
        free(node);
        node = next;
    }
}

// Under the lock. The head is also read without the lock, as a hint only,
// hence the atomic stores.
void recycle(ZelThreadPool *pool, ZelPoolJob *node) {
    if (pool->spare_count >= kMaxSpareNodes) {
        free(node);
        return;
    }
    node->next = pool->spare;
    __atomic_store_n(&pool->spare, node, __ATOMIC_RELAXED);
    ++pool->spare_count;
}

// A job is looked for before the flag, so workers drain the queue after
// shutdown and end only once it is empty.
void *zel_thread_pool_worker(void *p) {
    auto *pool = static_cast<ZelThreadPool *>(p);
    ZelPoolJob *done = nullptr;  // handed back at the next lock, taken anyway
    for (;;) {
        pthread_mutex_lock(&pool->lock);
        if (done) recycle(pool, done);
        while (pool->head == nullptr) {
            if (pool->shutting_down) {
                pthread_mutex_unlock(&pool->lock);
                return nullptr;
            }
            pthread_cond_wait(&pool->work_available, &pool->lock);
        }
        ZelPoolJob *node = pool->head;
        pool->head = node->next;
        if (pool->head == nullptr) pool->tail = nullptr;
        pthread_mutex_unlock(&pool->lock);
        done = node;
        node->job();
    }
}

void *zel_scope_thread_func(void *p) {
    auto *cell = static_cast<void (**)(void)>(p);
    void (*fn)(void) = *cell;
    fn();
    free(cell);
    return nullptr;
}

void request_shutdown(ZelThreadPool *pool) {
    pthread_mutex_lock(&pool->lock);
    pool->shutting_down = 1;
    pthread_cond_broadcast(&pool->work_available);
    pthread_mutex_unlock(&pool->lock);
}

}  // namespace

// ---- thread pool ----

ZEL_EXPORT ZelThreadPool *zel_thread_pool_new(int64_t threads) {
    int64_t wanted = threads <= 0 ? kDefaultWorkers : threads;
    if (wanted > INT32_MAX) return nullptr;
    auto *pool = static_cast<ZelThreadPool *>(malloc(sizeof(ZelThreadPool)));
    if (pool == nullptr) return nullptr;
    pool->threads = static_cast<pthread_t *>(malloc(static_cast<size_t>(wanted) * sizeof(pthread_t)));
    if (pool->threads == nullptr) {
        free(pool);
        return nullptr;
    }
    pool->head = nullptr;
    pool->tail = nullptr;
    pool->shutting_down = 0;
    pool->spare = nullptr;
    pool->spare_count = 0;
    pthread_mutex_init(&pool->lock, nullptr);
    pthread_cond_init(&pool->work_available, nullptr);
    // Workers that could not start leave no slot behind, so join never waits
    // on a thread that does not exist; the pool runs with those that did.
    int32_t started = 0;
    while (started < wanted && pthread_create(&pool->threads[started], nullptr, zel_thread_pool_worker, pool) == 0)
        ++started;
    pool->thread_count = started;
    if (started == 0) {
        pthread_cond_destroy(&pool->work_available);
        pthread_mutex_destroy(&pool->lock);
        free(pool->threads);
        free(pool);
        return nullptr;
    }
    return pool;
}

ZEL_EXPORT void zel_thread_pool_execute(ZelThreadPool *pool, void (*job)(void)) {
    if (pool == nullptr || job == nullptr) return;
    // With no spare node in sight, allocate before locking rather than under the lock.
    ZelPoolJob *node = nullptr;
    if (__atomic_load_n(&pool->spare, __ATOMIC_RELAXED) == nullptr) {
        node = static_cast<ZelPoolJob *>(malloc(sizeof(ZelPoolJob)));
        if (node == nullptr) return;
    }
    pthread_mutex_lock(&pool->lock);
    if (node == nullptr) {
        node = pool->spare;
        if (node != nullptr) {
            __atomic_store_n(&pool->spare, node->next, __ATOMIC_RELAXED);
            --pool->spare_count;
        } else {
            pthread_mutex_unlock(&pool->lock);
            node = static_cast<ZelPoolJob *>(malloc(sizeof(ZelPoolJob)));
            if (node == nullptr) return;
            pthread_mutex_lock(&pool->lock);
        }
    }
    node->job = job;
    node->next = nullptr;
    if (pool->tail) pool->tail->next = node;
    else pool->head = node;
    pool->tail = node;
    pthread_cond_signal(&pool->work_available);
    pthread_mutex_unlock(&pool->lock);
}

ZEL_EXPORT void zel_thread_pool_shutdown(ZelThreadPool *pool) {
    if (pool != nullptr) request_shutdown(pool);
}

ZEL_EXPORT void zel_thread_pool_join(ZelThreadPool *pool) {
    if (pool == nullptr) return;
    request_shutdown(pool);
    for (int32_t i = 0; i < pool->thread_count; ++i) pthread_join(pool->threads[i], nullptr);
    // Only jobs queued after the last worker ended can be left here.
    free_list(pool->head);
    free_list(pool->spare);
    pthread_cond_destroy(&pool->work_available);
    pthread_mutex_destroy(&pool->lock);
    free(pool->threads);
    free(pool);
}

// ---- scoped threads ----

ZEL_EXPORT ZelScope *zel_scope_new(void) {
    auto *scope = static_cast<ZelScope *>(malloc(sizeof(ZelScope)));
    if (scope == nullptr) return nullptr;
    scope->threads = nullptr;
    pthread_mutex_init(&scope->lock, nullptr);
    return scope;
}

ZEL_EXPORT void zel_scope_spawn(ZelScope *scope, void (*fn)(void)) {
    if (scope == nullptr || fn == nullptr) return;
    auto *cell = static_cast<void (**)(void)>(malloc(sizeof fn));
    auto *node = static_cast<ZelScopeThread *>(malloc(sizeof(ZelScopeThread)));
    if (cell == nullptr || node == nullptr) {
        free(cell);
        free(node);
        return;
    }
    *cell = fn;
    if (pthread_create(&node->thread, nullptr, zel_scope_thread_func, cell) != 0) {
        free(cell);
        free(node);
        return;
    }
    pthread_mutex_lock(&scope->lock);
    node->next = scope->threads;
    scope->threads = node;
    pthread_mutex_unlock(&scope->lock);
}

ZEL_EXPORT void zel_scope_wait(ZelScope *scope) {
    if (scope == nullptr) return;
    pthread_mutex_lock(&scope->lock);
    ZelScopeThread *node = scope->threads;
    scope->threads = nullptr;
    pthread_mutex_unlock(&scope->lock);
    while (node != nullptr) {
        ZelScopeThread *next = node->next;
        pthread_join(node->thread, nullptr);
        free(node);
        node = next;
    }
    pthread_mutex_destroy(&scope->lock);
    free(scope);
}
