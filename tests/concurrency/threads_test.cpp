// Threads, guarded-value locks, condition variables, barriers and
// reference-counted cells, exercised under contention.
#include <pthread.h>

#include <atomic>
#include <string>
#include <vector>

#include "bounded.h"

using zc::as_arg;
using zc::from_arg;

namespace {

class Threads : public zc::Bounded {};

// Runs entry(arg) on `n` threads started by the runtime and returns their results.
std::vector<int64_t> run_on(int n, int64_t (*entry)(int64_t), int64_t arg) {
    std::vector<ZelThread *> ts;
    for (int i = 0; i < n; ++i) {
        ts.push_back(zel_spawn(entry, arg));
        EXPECT_NE(ts.back(), nullptr);
    }
    std::vector<int64_t> results;
    for (ZelThread *t : ts) results.push_back(zel_join(t));
    return results;
}

}  // namespace

TEST_F(Threads, SpawnJoinAndPlainValues) {
    EXPECT_EQ(zel_join(zel_spawn(+[](int64_t a) -> int64_t { return a + 1; }, 20)), 21);
    EXPECT_EQ(zel_join(zel_spawn(nullptr, 20)), 0);
    // Values below 65536, compared signed, are results that were never threads.
    for (int64_t v : {int64_t{0}, int64_t{42}, int64_t{-5}, int64_t{65535}, INT64_MIN})
        EXPECT_EQ(zel_join(from_arg<ZelThread>(v)), v);
}

namespace {
struct Seen {
    int64_t argc = -1;
    uint64_t usage_before = 1, usage_after = 0;
};
Seen g_seen[3];
void record(Seen &s) {
    s.argc = zel_arg_count();
    s.usage_before = zel_arena_usage();
    zel_string_free(zel_string_new("in a runtime thread", 19));
    s.usage_after = zel_arena_usage();
}
}  // namespace

TEST_F(Threads, RuntimeThreadsStartWithZeroedState) {
    // Every kind of thread the runtime starts sees no arguments and begins an
    // arena of its own, while the starting thread has both.
    auto r = zt::run_child([] {
        alarm(30);
        static char a0[] = "prog", a1[] = "arg";
        static char *argv[] = {a0, a1, nullptr};
        zel_init_runtime(2, argv);
        zel_string_free(zel_string_new("main", 4));
        uint64_t main_usage = zel_arena_usage();
        zel_join(zel_spawn(+[](int64_t) -> int64_t { record(g_seen[0]); return 0; }, 0));
        ZelThreadPool *pool = zel_thread_pool_new(1);
        zel_thread_pool_execute(pool, [] { record(g_seen[1]); });
        zel_thread_pool_join(pool);
        ZelScope *scope = zel_scope_new();
        zel_scope_spawn(scope, [] { record(g_seen[2]); });
        zel_scope_wait(scope);
        for (const Seen &s : g_seen)
            printf("argc %ld before %lu grew %d\n", (long)s.argc, (unsigned long)s.usage_before,
                   s.usage_after > 0);
        printf("main argc %ld arena kept %d\n", (long)zel_arg_count(), zel_arena_usage() == main_usage);
        fflush(stdout);
        zt::exit_unflushed(0);
        return 0;
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "argc 0 before 0 grew 1\nargc 0 before 0 grew 1\nargc 0 before 0 grew 1\n"
              "main argc 2 arena kept 1\n");
}

TEST_F(Threads, PanicInSpawnedThreadEndsProcessDespiteCallersBoundary) {
    auto r = zt::run_child([] {
        alarm(30);
        zel_ffi_begin();  // open in this thread only
        ZelThread *t = zel_spawn(+[](int64_t) -> int64_t {
            static char text[] = "worker failed";
            static ZelString msg = {text, 13, 13};  // static: the exit path runs the leak check
            zel_panic(&msg);
            return 7;
        }, 0);
        zel_join(t);
        printf("survived\n");
        return 0;
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "panic: worker failed\n");
}

TEST_F(Threads, MutexCountsExactlyUnderContention) {
    ZelMutex *m = zel_mutex_new(7);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(zel_mutex_lock(m), 7);
    zel_mutex_unlock(m, 9);
    EXPECT_EQ(zel_mutex_lock(m), 9);
    zel_mutex_unlock(m, 0);
    run_on(8, +[](int64_t p) -> int64_t {
        auto *mx = from_arg<ZelMutex>(p);
        for (int i = 0; i < 5000; ++i) zel_mutex_unlock(mx, zel_mutex_lock(mx) + 1);
        return 0;
    }, as_arg(m));
    EXPECT_EQ(zel_mutex_lock(m), 40000);
    zel_mutex_unlock(m, 0);

    // A free mutex guarding 0 answers 0 yet is held afterwards; a held one answers 0.
    EXPECT_EQ(zel_mutex_try_lock(m), 0);
    auto busy = +[](int64_t p) -> int64_t {
        return pthread_mutex_trylock(from_arg<pthread_mutex_t>(p));  // the record starts with its lock
    };
    EXPECT_EQ(run_on(1, busy, as_arg(m))[0], EBUSY);
    zel_mutex_unlock(m, 3);
    EXPECT_EQ(zel_mutex_try_lock(m), 3);
    EXPECT_EQ(run_on(1, +[](int64_t p) -> int64_t { return zel_mutex_try_lock(from_arg<ZelMutex>(p)); }, as_arg(m))[0], 0);
    zel_mutex_unlock(m, 3);
    zel_mutex_free(m);

    EXPECT_EQ(zel_mutex_lock(nullptr), 0);
    EXPECT_EQ(zel_mutex_try_lock(nullptr), 0);
    zel_mutex_unlock(nullptr, 1);
    zel_mutex_free(nullptr);
}

TEST_F(Threads, RwLockSharesReadsAndExcludesWrites) {
    ZelRwLock *l = zel_rwlock_new(5);
    ASSERT_NE(l, nullptr);
    auto try_read = +[](int64_t p) -> int64_t {
        auto *lk = from_arg<ZelRwLock>(p);
        int64_t v = zel_rwlock_try_read(lk);
        if (v != -1) zel_rwlock_read_unlock(lk);
        return v;
    };
    auto try_write = +[](int64_t p) -> int64_t {
        auto *lk = from_arg<ZelRwLock>(p);
        int64_t v = zel_rwlock_try_write(lk);
        if (v != -1) zel_rwlock_write_unlock(lk, v);
        return v;
    };
    EXPECT_EQ(zel_rwlock_read(l), 5);
    EXPECT_EQ(run_on(1, try_read, as_arg(l))[0], 5);    // two readers at once
    EXPECT_EQ(run_on(1, try_write, as_arg(l))[0], -1);  // no writer beside a reader
    zel_rwlock_read_unlock(l);
    EXPECT_EQ(zel_rwlock_write(l), 5);
    EXPECT_EQ(run_on(1, try_read, as_arg(l))[0], -1);
    EXPECT_EQ(run_on(1, try_write, as_arg(l))[0], -1);
    zel_rwlock_write_unlock(l, 0);

    // Writers add exactly; readers never see the value go backwards.
    auto worker = +[](int64_t p) -> int64_t {
        auto *lk = from_arg<ZelRwLock>(p);
        int64_t last = 0, regressions = 0;
        for (int i = 0; i < 2000; ++i) {
            zel_rwlock_write_unlock(lk, zel_rwlock_write(lk) + 1);
            int64_t v = zel_rwlock_read(lk);
            if (v < last) ++regressions;
            last = v;
            zel_rwlock_read_unlock(lk);
        }
        return regressions;
    };
    for (int64_t regressions : run_on(8, worker, as_arg(l))) EXPECT_EQ(regressions, 0);
    EXPECT_EQ(zel_rwlock_try_write(l), 16000);
    zel_rwlock_write_unlock(l, 1);
    EXPECT_EQ(zel_rwlock_try_read(l), 1);
    zel_rwlock_read_unlock(l);
    zel_rwlock_free(l);

    EXPECT_EQ(zel_rwlock_read(nullptr), 0);
    EXPECT_EQ(zel_rwlock_write(nullptr), 0);
    EXPECT_EQ(zel_rwlock_try_read(nullptr), -1);
    EXPECT_EQ(zel_rwlock_try_write(nullptr), -1);
    zel_rwlock_read_unlock(nullptr);
    zel_rwlock_write_unlock(nullptr, 1);
    zel_rwlock_free(nullptr);
}

namespace {
struct Handoff {
    ZelMutex *m;
    ZelCondvar *cv;
};
constexpr int64_t kTurns = 2000;
}  // namespace

TEST_F(Threads, CondvarHandsOffWithoutLostWakeups) {
    Handoff h{zel_mutex_new(0), zel_condvar_new()};
    ASSERT_NE(h.cv, nullptr);
    // Two threads take strict turns through the guarded value (even: first,
    // odd: second); a lost notification would leave both waiting.
    auto player = +[](int64_t p) -> int64_t {
        auto *hs = from_arg<Handoff>(p >> 1 << 1);
        int64_t parity = p & 1;
        int64_t v = zel_mutex_lock(hs->m);
        while (v < kTurns) {
            while (v < kTurns && (v & 1) != parity) v = zel_condvar_wait(hs->cv, hs->m);
            if (v >= kTurns) break;
            ++v;
            zel_mutex_unlock(hs->m, v);
            zel_condvar_notify_one(hs->cv);
            v = zel_mutex_lock(hs->m);
        }
        zel_mutex_unlock(hs->m, v);
        return 0;
    };
    static_assert(alignof(Handoff) >= 2, "the low bit carries the parity");
    ZelThread *a = zel_spawn(player, as_arg(&h));
    ZelThread *b = zel_spawn(player, as_arg(&h) | 1);
    zel_join(a);
    zel_join(b);
    EXPECT_EQ(zel_mutex_lock(h.m), kTurns);
    zel_mutex_unlock(h.m, 0);

    // notify_all releases every waiter.
    auto waiter = +[](int64_t p) -> int64_t {
        auto *hs = from_arg<Handoff>(p);
        int64_t v = zel_mutex_lock(hs->m);
        while (v == 0) v = zel_condvar_wait(hs->cv, hs->m);
        zel_mutex_unlock(hs->m, v);
        return v;
    };
    std::vector<ZelThread *> ws;
    for (int i = 0; i < 4; ++i) ws.push_back(zel_spawn(waiter, as_arg(&h)));
    zc::sleep_ms(20);
    zel_mutex_lock(h.m);
    zel_mutex_unlock(h.m, 11);
    zel_condvar_notify_all(h.cv);
    for (ZelThread *w : ws) EXPECT_EQ(zel_join(w), 11);

    EXPECT_EQ(zel_condvar_wait(nullptr, h.m), 0);
    EXPECT_EQ(zel_condvar_wait(h.cv, nullptr), 0);
    zel_condvar_notify_one(nullptr);
    zel_condvar_notify_all(nullptr);
    zel_condvar_free(nullptr);
    zel_condvar_free(h.cv);
    zel_mutex_free(h.m);
}

namespace {
constexpr int kParties = 4, kGenerations = 300;
struct BarrierRun {
    ZelBarrier *b;
    std::atomic<int> arrived[kGenerations];
    std::atomic<int> winners[kGenerations];
    std::atomic<int> early{0};
};
}  // namespace

TEST_F(Threads, BarrierHasOneWinnerPerGeneration) {
    EXPECT_EQ(zel_barrier_new(0), nullptr);
    EXPECT_EQ(zel_barrier_new(-3), nullptr);
    EXPECT_EQ(zel_barrier_wait(nullptr), 0);
    zel_barrier_free(nullptr);
    ZelBarrier *alone = zel_barrier_new(1);
    EXPECT_EQ(zel_barrier_wait(alone), 1);  // a lone party wins every generation
    EXPECT_EQ(zel_barrier_wait(alone), 1);
    zel_barrier_free(alone);
    auto *run = new BarrierRun{};
    run->b = zel_barrier_new(kParties);
    ASSERT_NE(run->b, nullptr);
    run_on(kParties, +[](int64_t p) -> int64_t {
        auto *r = from_arg<BarrierRun>(p);
        for (int g = 0; g < kGenerations; ++g) {
            r->arrived[g].fetch_add(1);
            r->winners[g].fetch_add(static_cast<int>(zel_barrier_wait(r->b)));
            // Nobody leaves a generation before every party has reached it.
            if (r->arrived[g].load() != kParties) r->early.fetch_add(1);
        }
        return 0;
    }, as_arg(run));
    EXPECT_EQ(run->early.load(), 0);
    for (int g = 0; g < kGenerations; ++g) ASSERT_EQ(run->winners[g].load(), 1) << "generation " << g;
    zel_barrier_free(run->b);
    delete run;
}

TEST_F(Threads, ArcCountsAndFreesOnce) {
    ZelArc *a = zel_arc_new(5);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(zel_arc_clone(zel_arc_clone(a)), a);
    EXPECT_EQ(zel_arc_strong_count(a), 3);
    EXPECT_EQ(zel_arc_get(a), 5);
    zel_arc_drop(a);
    zel_arc_drop(a);
    EXPECT_EQ(zel_arc_strong_count(a), 1);
    // Clones and drops race from 8 threads; the count never reaches 0 early
    // and ends where it began.
    std::vector<int64_t> bad = run_on(8, +[](int64_t p) -> int64_t {
        auto *cell = from_arg<ZelArc>(p);
        for (int i = 0; i < 5000; ++i) {
            ZelArc *c = zel_arc_clone(cell);
            if (zel_arc_get(c) != 5) return 1;
            zel_arc_drop(c);
        }
        return 0;
    }, as_arg(a));
    EXPECT_EQ(bad, std::vector<int64_t>(8, 0));
    EXPECT_EQ(zel_arc_strong_count(a), 1);
    zel_arc_drop(a);  // frees; the sanitizer build reports a leak or a double free otherwise

    EXPECT_EQ(zel_arc_clone(nullptr), nullptr);
    EXPECT_EQ(zel_arc_get(nullptr), 0);
    EXPECT_EQ(zel_arc_strong_count(nullptr), 0);
    zel_arc_drop(nullptr);
}
