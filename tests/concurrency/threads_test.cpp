// Threads, guarded-value locks, condition variables, barriers and
// reference-counted cells, exercised under contention.
#include <atomic>
#include <vector>

#include "bounded.h"

using zc::as_arg;
using zc::from_arg;

namespace {

class Threads : public zc::Bounded {};

// Runs entry(arg) on n threads started by the runtime; returns their results.
std::vector<int64_t> run_on(int n, int64_t (*entry)(int64_t), const void *arg) {
    std::vector<ZelThread *> ts;
    for (int i = 0; i < n; ++i) ts.push_back(zel_spawn(entry, as_arg(arg)));
    std::vector<int64_t> results;
    for (ZelThread *t : ts) results.push_back(t ? zel_join(t) : -999);
    return results;
}

uint64_t g_seen[3][3];  // per kind of runtime thread: argc, arena before, arena after
void record(uint64_t *s) {
    s[0] = static_cast<uint64_t>(zel_arg_count());
    s[1] = zel_arena_usage();
    zel_string_free(zel_string_new("x", 1));
    s[2] = zel_arena_usage();
}

}  // namespace

TEST_F(Threads, SpawnJoinAndPlainValues) {
    EXPECT_EQ(zel_join(zel_spawn(+[](int64_t a) -> int64_t { return a + 1; }, 20)), 21);
    EXPECT_EQ(zel_join(zel_spawn(nullptr, 20)), 0);
    // Values below 65536, compared signed, were never threads: returned unchanged.
    for (int64_t v : {int64_t{0}, int64_t{42}, int64_t{-5}, int64_t{65535}, INT64_MIN})
        EXPECT_EQ(zel_join(from_arg<ZelThread>(v)), v);
}

TEST_F(Threads, RuntimeThreadsStartWithZeroedState) {
    // Spawned, pool and scope threads see no arguments and start an arena of
    // their own, while the starting thread keeps both.
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
        for (auto &s : g_seen) printf("argc %lu before %lu grew %d\n", s[0], s[1], s[2] > 0);
        printf("main argc %ld kept %d\n", (long)zel_arg_count(), zel_arena_usage() == main_usage);
        fflush(stdout);
        zt::exit_unflushed(0);
        return 0;
    });
    EXPECT_EQ(r.out, "argc 0 before 0 grew 1\nargc 0 before 0 grew 1\nargc 0 before 0 grew 1\nmain argc 2 kept 1\n");

    // No boundary either: a panic there ends the process although the caller opened one.
    r = zt::run_child([] {
        alarm(30);
        zel_ffi_begin();
        zel_join(zel_spawn(+[](int64_t) -> int64_t {
            static char text[] = "worker failed";
            static ZelString msg = {text, 13, 13};  // static: exit runs the leak check
            zel_panic(&msg);
            return 7;
        }, 0));
        printf("survived\n");
        return 0;
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "panic: worker failed\n");
}

TEST_F(Threads, LocksCountExactlyAndTryLocksReportHolders) {
    ZelMutex *m = zel_mutex_new(7);
    EXPECT_EQ(zel_mutex_lock(m), 7);
    zel_mutex_unlock(m, 0);
    run_on(8, +[](int64_t p) -> int64_t {
        for (int i = 0; i < 5000; ++i) zel_mutex_unlock(from_arg<ZelMutex>(p), zel_mutex_lock(from_arg<ZelMutex>(p)) + 1);
        return 0;
    }, m);
    EXPECT_EQ(zel_mutex_try_lock(m), 40000);
    auto try_mutex = +[](int64_t p) -> int64_t { return zel_mutex_try_lock(from_arg<ZelMutex>(p)); };
    EXPECT_EQ(run_on(1, try_mutex, m)[0], 0);  // held by this thread
    zel_mutex_unlock(m, 0);
    // A free mutex guarding 0 answers 0 too, yet is held afterwards.
    EXPECT_EQ(zel_mutex_try_lock(m), 0);
    EXPECT_EQ(run_on(1, +[](int64_t p) -> int64_t { return pthread_mutex_trylock(from_arg<pthread_mutex_t>(p)); }, m)[0], EBUSY);
    zel_mutex_unlock(m, 0);
    zel_mutex_free(m);

    ZelRwLock *l = zel_rwlock_new(5);
    auto try_read = +[](int64_t p) -> int64_t {
        int64_t v = zel_rwlock_try_read(from_arg<ZelRwLock>(p));
        if (v != -1) zel_rwlock_read_unlock(from_arg<ZelRwLock>(p));
        return v;
    };
    auto try_write = +[](int64_t p) -> int64_t {
        int64_t v = zel_rwlock_try_write(from_arg<ZelRwLock>(p));
        if (v != -1) zel_rwlock_write_unlock(from_arg<ZelRwLock>(p), v);
        return v;
    };
    EXPECT_EQ(zel_rwlock_read(l), 5);
    EXPECT_EQ(run_on(1, try_read, l)[0], 5);    // readers share
    EXPECT_EQ(run_on(1, try_write, l)[0], -1);  // a writer waits for them
    zel_rwlock_read_unlock(l);
    EXPECT_EQ(zel_rwlock_write(l), 5);
    EXPECT_EQ(run_on(1, try_read, l)[0], -1);
    zel_rwlock_write_unlock(l, 6);
    EXPECT_EQ(run_on(1, try_write, l)[0], 6);
    zel_rwlock_free(l);
}

TEST_F(Threads, CondvarHandsOffWithoutLostWakeups) {
    // Two threads take 2000 strict turns through the guarded value (even:
    // first, odd: second); one lost notification would leave both waiting.
    static ZelMutex *m;
    static ZelCondvar *cv;
    m = zel_mutex_new(0);
    cv = zel_condvar_new();
    auto player = +[](int64_t parity) -> int64_t {
        int64_t v = zel_mutex_lock(m);
        for (;;) {
            while (v < 2000 && (v & 1) != parity) v = zel_condvar_wait(cv, m);
            if (v >= 2000) break;
            zel_mutex_unlock(m, ++v);
            zel_condvar_notify_one(cv);
            v = zel_mutex_lock(m);
        }
        zel_mutex_unlock(m, v);
        return v;
    };
    ZelThread *a = zel_spawn(player, 0), *b = zel_spawn(player, 1);
    EXPECT_EQ(zel_join(a) + zel_join(b), 4000);
    // notify_all releases every waiter (the players ended the value at 2000).
    std::vector<ZelThread *> ws;
    for (int i = 0; i < 4; ++i)
        ws.push_back(zel_spawn(+[](int64_t) -> int64_t {
            int64_t v = zel_mutex_lock(m);
            while (v == 2000) v = zel_condvar_wait(cv, m);
            zel_mutex_unlock(m, v);
            return v;
        }, 0));
    zc::sleep_ms(20);
    zel_mutex_lock(m);
    zel_mutex_unlock(m, 11);
    zel_condvar_notify_all(cv);
    for (ZelThread *w : ws) EXPECT_EQ(zel_join(w), 11);
    zel_condvar_free(cv);
    zel_mutex_free(m);
}

TEST_F(Threads, BarrierHasOneWinnerPerGeneration) {
    constexpr int kParties = 4, kGenerations = 300;
    static ZelBarrier *b;
    static std::atomic<int> arrived[kGenerations], winners[kGenerations], early;
    b = zel_barrier_new(kParties);
    for (int g = 0; g < kGenerations; ++g) arrived[g] = winners[g] = 0;
    early = 0;
    run_on(kParties, +[](int64_t) -> int64_t {
        for (int g = 0; g < kGenerations; ++g) {
            arrived[g]++;
            winners[g] += static_cast<int>(zel_barrier_wait(b));
            if (arrived[g] != kParties) early++;  // left before everyone arrived
        }
        return 0;
    }, nullptr);
    EXPECT_EQ(early.load(), 0);
    for (int g = 0; g < kGenerations; ++g) ASSERT_EQ(winners[g].load(), 1) << "generation " << g;
    zel_barrier_free(b);
    EXPECT_EQ(zel_barrier_new(0), nullptr);
    EXPECT_EQ(zel_barrier_new(-3), nullptr);
}

TEST_F(Threads, ArcCountsAndFreesOnce) {
    ZelArc *a = zel_arc_new(5);
    EXPECT_EQ(zel_arc_clone(zel_arc_clone(a)), a);
    EXPECT_EQ(zel_arc_strong_count(a), 3);
    zel_arc_drop(a);
    zel_arc_drop(a);
    // Racing clones and drops from 8 threads end where they began.
    std::vector<int64_t> bad = run_on(8, +[](int64_t p) -> int64_t {
        int64_t wrong = 0;
        for (int i = 0; i < 5000; ++i) {
            ZelArc *c = zel_arc_clone(from_arg<ZelArc>(p));
            wrong += zel_arc_get(c) != 5;
            zel_arc_drop(c);
        }
        return wrong;
    }, a);
    EXPECT_EQ(bad, std::vector<int64_t>(8, 0));
    EXPECT_EQ(zel_arc_strong_count(a), 1);
    zel_arc_drop(a);  // frees: the sanitizer build reports a leak or a double free otherwise
}
