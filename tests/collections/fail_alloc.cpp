#include "fail_alloc.h"

#include <stddef.h>
#include <stdlib.h>


#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZT_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZT_UNDER_SANITIZER 1
#endif
#endif

extern "C" {
#ifdef ZT_UNDER_SANITIZER
// The sanitizer runtime's allocator entries, which its weak malloc & co. name.
void *__interceptor_malloc(size_t);
void *__interceptor_calloc(size_t, size_t);
void *__interceptor_realloc(void *, size_t);
#define ZT_REAL(f) __interceptor_##f
#else
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
#define ZT_REAL(f) __libc_##f
#endif
}

namespace {

int64_t g_skip = 0, g_fail = 0;

// The sanitizer's own start-up allocates through these wrappers before its
// shadow memory exists, so they must not be instrumented.
#define ZT_UNCHECKED __attribute__((no_sanitize("address", "thread", "undefined")))

ZT_UNCHECKED bool should_fail() {
    if (__builtin_expect(__atomic_load_n(&g_fail, __ATOMIC_RELAXED) == 0, 1)) return false;
    if (__atomic_load_n(&g_skip, __ATOMIC_RELAXED) > 0) {
        __atomic_fetch_sub(&g_skip, 1, __ATOMIC_RELAXED);
        return false;
    }
    __atomic_fetch_sub(&g_fail, 1, __ATOMIC_RELAXED);
    return true;
}

}  // namespace

extern "C" ZT_UNCHECKED void *malloc(size_t n) noexcept { return should_fail() ? nullptr : ZT_REAL(malloc)(n); }
extern "C" ZT_UNCHECKED void *calloc(size_t n, size_t size) noexcept { return should_fail() ? nullptr : ZT_REAL(calloc)(n, size); }
extern "C" ZT_UNCHECKED void *realloc(void *p, size_t n) noexcept { return should_fail() ? nullptr : ZT_REAL(realloc)(p, n); }

namespace zt {

// A process that ends while failures are on (the fatal out-of-memory path)
// still runs exit handlers that allocate, such as a coverage build's dump.
void stop_failing_at_exit() {
    __atomic_store_n(&g_fail, 0, __ATOMIC_RELAXED);
}

FailAllocations::FailAllocations(int64_t skip, int64_t count) {
    static const bool registered = atexit(stop_failing_at_exit) == 0;
    (void)registered;
    __atomic_store_n(&g_skip, skip, __ATOMIC_RELAXED);
    __atomic_store_n(&g_fail, count, __ATOMIC_RELAXED);
}

FailAllocations::~FailAllocations() {
    __atomic_store_n(&g_fail, 0, __ATOMIC_RELAXED);
    __atomic_store_n(&g_skip, 0, __ATOMIC_RELAXED);
}

}  // namespace zt
