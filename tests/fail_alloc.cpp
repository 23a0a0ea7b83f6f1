#include "fail_alloc.h"

#include <stdlib.h>

#include <errno.h>
#include <stddef.h>
#include <string.h>

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
void __interceptor_free(void *);
#define ZT_REAL(f) __interceptor_##f
#else
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
#define ZT_REAL(f) __libc_##f
#endif
}

// The sanitizer's own start-up allocates through these wrappers before its
// shadow memory exists, and the tracking table is shared by threads under a
// lock the sanitizer cannot see, so none of this may be instrumented.
#define ZT_UNCHECKED __attribute__((no_sanitize("address", "thread", "undefined")))

namespace {

// The window, read and written only by the thread that opened it.
__thread bool t_watching = false;
int64_t g_calls = 0, g_fail_at = -1, g_fail_count = 0, g_failed = 0;
unsigned g_kinds = zt::kAnyAlloc;

// Blocks from counted calls: an open-addressing set of pointers with
// tombstones, emptied when the watch ends. Frees come from any thread.
constexpr size_t kSlots = size_t{1} << 17;
void *const kTomb = reinterpret_cast<void *>(1);
void *g_set[kSlots];
size_t g_used = 0;            // slots ever filled since the last reset
int64_t g_tracked = 0;        // live entries; read without the lock as a hint
bool g_overflow = false;
bool g_lock = false;

ZT_UNCHECKED void lock() {
    while (__atomic_test_and_set(&g_lock, __ATOMIC_ACQUIRE)) {
    }
}
ZT_UNCHECKED void unlock() { __atomic_clear(&g_lock, __ATOMIC_RELEASE); }

ZT_UNCHECKED size_t home(const void *p) {
    return static_cast<size_t>((reinterpret_cast<uintptr_t>(p) >> 4) * 0x9E3779B97F4A7C15ull >> (64 - 17));
}

ZT_UNCHECKED void track(void *p) {
    lock();
    if (g_used >= kSlots / 4 * 3) {
        g_overflow = true;
    } else {
        size_t i = home(p);
        while (g_set[i] != nullptr && g_set[i] != kTomb) i = (i + 1) & (kSlots - 1);
        if (g_set[i] == nullptr) ++g_used;
        g_set[i] = p;
        __atomic_add_fetch(&g_tracked, 1, __ATOMIC_RELAXED);
    }
    unlock();
}

// True when p was tracked (it no longer is).
ZT_UNCHECKED bool untrack(void *p) {
    if (p == nullptr || __atomic_load_n(&g_tracked, __ATOMIC_RELAXED) == 0) return false;
    bool found = false;
    lock();
    for (size_t i = home(p); g_set[i] != nullptr; i = (i + 1) & (kSlots - 1)) {
        if (g_set[i] == p) {
            g_set[i] = kTomb;
            __atomic_sub_fetch(&g_tracked, 1, __ATOMIC_RELAXED);
            found = true;
            break;
        }
    }
    unlock();
    return found;
}

ZT_UNCHECKED void reset_tracking() {
    lock();
    if (g_used > 0) memset(g_set, 0, sizeof g_set);
    g_used = 0;
    g_overflow = false;
    __atomic_store_n(&g_tracked, 0, __ATOMIC_RELAXED);
    unlock();
}

// Counts one call of the watching thread; true when it is to fail.
ZT_UNCHECKED bool fail_this(unsigned kind) {
    if ((g_kinds & kind) == 0) return false;
    int64_t i = g_calls++;
    if (g_fail_at < 0 || i < g_fail_at || i - g_fail_at >= g_fail_count) return false;
    ++g_failed;
    errno = ENOMEM;
    return true;
}

}  // namespace

extern "C" ZT_UNCHECKED void *malloc(size_t n) noexcept {
    if (__builtin_expect(!t_watching, 1)) return ZT_REAL(malloc)(n);
    if (fail_this(zt::kMalloc)) return nullptr;
    void *p = ZT_REAL(malloc)(n);
    if (p != nullptr) track(p);
    return p;
}

extern "C" ZT_UNCHECKED void *calloc(size_t n, size_t size) noexcept {
    if (__builtin_expect(!t_watching, 1)) return ZT_REAL(calloc)(n, size);
    if (fail_this(zt::kCalloc)) return nullptr;
    void *p = ZT_REAL(calloc)(n, size);
    if (p != nullptr) track(p);
    return p;
}

extern "C" ZT_UNCHECKED void *realloc(void *p, size_t n) noexcept {
    bool watching = t_watching;
    if (watching && fail_this(zt::kRealloc)) return nullptr;
    bool was_tracked = untrack(p);
    void *q = ZT_REAL(realloc)(p, n);
    // A failed realloc keeps p; realloc(p, 0) has freed it.
    if (q == nullptr) {
        if (was_tracked && n != 0) track(p);
    } else if (was_tracked || (watching && p == nullptr)) {
        track(q);
    }
    return q;
}

extern "C" ZT_UNCHECKED void free(void *p) noexcept {
    untrack(p);
    ZT_REAL(free)(p);
}

// One malloc, so that the library's copies are counted and can fail in every
// build (the sanitizers' own strdup would allocate out of sight).
extern "C" char *strdup(const char *s) noexcept {
    size_t n = strlen(s) + 1;
    auto *p = static_cast<char *>(malloc(n));
    if (p != nullptr) memcpy(p, s, n);
    return p;
}

namespace zt {

// A process that ends inside a watch (the fatal out-of-memory path) still runs
// exit handlers that allocate, such as a coverage build's dump.
static void stop_watching_at_exit() { t_watching = false; }

AllocWatch::AllocWatch(int64_t fail_at, int64_t count, unsigned kinds) {
    static const bool registered = atexit(stop_watching_at_exit) == 0;
    (void)registered;
    reset_tracking();
    g_calls = 0;
    g_failed = 0;
    g_fail_at = fail_at;
    g_fail_count = count;
    g_kinds = kinds;
    t_watching = true;
}

AllocWatch::~AllocWatch() {
    t_watching = false;
    reset_tracking();
}

void AllocWatch::pause() { t_watching = false; }
int64_t AllocWatch::calls() const { return g_calls; }
int64_t AllocWatch::failed() const { return g_failed; }

int64_t AllocWatch::live() const {
    lock();
    int64_t n = g_overflow ? INT64_MAX : __atomic_load_n(&g_tracked, __ATOMIC_RELAXED);
    unlock();
    return n;
}

}  // namespace zt
