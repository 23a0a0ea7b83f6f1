// Allocation failure in threads, locks, channels, the pool and scopes.
#include <atomic>
#include <vector>

#include "faults/faults.h"

namespace {

using zf::I;
using zf::P;
using zf::Shot;

std::atomic<int> g_ran{0};
void job() { ++g_ran; }
int64_t plus_one(int64_t x) { return x + 1; }

// Channels are never released: the ones made here stay reachable for the leak checker.
auto *g_kept = new std::vector<ZelChannelHandle *>;

TEST(AllocationFailure, ThreadsAndLocks) {
    zf::check({
        {"zel_mutex_new", {}, [] { return I(zel_mutex_new(7)); },
         [](const Shot &s) {
             bool ok = s.r == 0 || zel_mutex_lock(P<ZelMutex>(s.r)) == 7;
             zel_mutex_unlock(P<ZelMutex>(s.r), 0);
             zel_mutex_free(P<ZelMutex>(s.r));
             return ok && zf::null_iff_failed(s);
         }},
        {"zel_rwlock_new", {}, [] { return I(zel_rwlock_new(7)); },
         [](const Shot &s) {
             bool ok = s.r == 0 || zel_rwlock_try_write(P<ZelRwLock>(s.r)) == 7;
             zel_rwlock_write_unlock(P<ZelRwLock>(s.r), 0);
             zel_rwlock_free(P<ZelRwLock>(s.r));
             return ok && zf::null_iff_failed(s);
         }},
        {"zel_condvar_new", {}, [] { return I(zel_condvar_new()); },
         [](const Shot &s) {
             zel_condvar_free(P<ZelCondvar>(s.r));
             return zf::null_iff_failed(s);
         }},
        {"zel_barrier_new", {}, [] { return I(zel_barrier_new(1)); },
         [](const Shot &s) {
             bool ok = s.r == 0 || zel_barrier_wait(P<ZelBarrier>(s.r)) == 1;
             zel_barrier_free(P<ZelBarrier>(s.r));
             return ok && zf::null_iff_failed(s);
         }},
        {"zel_arc_new", {}, [] { return I(zel_arc_new(5)); },
         [](const Shot &s) {
             bool ok = s.r == 0 || zel_arc_get(P<ZelArc>(s.r)) == 5;
             zel_arc_drop(P<ZelArc>(s.r));
             return ok && zf::null_iff_failed(s);
         }},
        {"zel_spawn", {}, [] { return I(zel_spawn(plus_one, 20)); },
         [](const Shot &s) { return s.r == 0 ? s.failed : zel_join(P<ZelThread>(s.r)) == 21; }},
    });
}

TEST(AllocationFailure, Channels) {
    ZelChannelHandle *tx = nullptr, *rx = nullptr, *c_tx = nullptr, *c_rx = nullptr;
    ASSERT_NE(zel_channel_new(2, &c_tx, &c_rx), nullptr);
    g_kept->insert(g_kept->end(), {c_tx, c_rx});
    auto poison = [&] { tx = rx = P<ZelChannelHandle>(1); };
    // NULL through both out pointers, or a channel that carries a value.
    auto made = [&](const Shot &s, bool room) {
        if (s.r == 0) return s.failed && tx == nullptr && rx == nullptr;
        int64_t v = 0;
        bool ok = s.r == I(rx) && tx != nullptr &&
                  (room ? zel_channel_try_send(tx, 5) == 1 && zel_channel_try_recv(rx, &v) == 1 && v == 5
                        : zel_channel_try_send(tx, 5) == 0);
        g_kept->insert(g_kept->end(), {tx, rx});
        return ok;
    };
    zf::check({
        {"zel_channel_new", poison, [&] { return I(zel_channel_new(4, &tx, &rx)); },
         [&](const Shot &s) { return made(s, true); }, zf::kNever, zt::kAnyAlloc, 4},
        {"zel_channel_new, capacity 0", poison, [&] { return I(zel_channel_new(0, &tx, &rx)); },
         [&](const Shot &s) { return made(s, false); }, zf::kNever, zt::kAnyAlloc, 3},
        {"zel_sender_clone", {}, [&] { return I(zel_sender_clone(c_tx)); },
         [&](const Shot &s) {
             if (s.r == 0) return s.failed;
             int64_t v = 0;
             g_kept->push_back(P<ZelChannelHandle>(s.r));
             return zel_channel_try_send(P<ZelChannelHandle>(s.r), 9) == 1 && zel_channel_try_recv(c_rx, &v) == 1 && v == 9;
         },
         zf::kNever, zt::kAnyAlloc, 1},
    });
}

TEST(AllocationFailure, PoolAndScopes) {
    ZelThreadPool *pool = nullptr;
    ZelScope *scope = nullptr;
    zf::check({
        // A pool whose later workers could not start keeps the ones that did.
        {"zel_thread_pool_new", [] { g_ran = 0; }, [] { return I(zel_thread_pool_new(3)); },
         [](const Shot &s) {
             if (s.r == 0) return s.failed;
             zel_thread_pool_execute(P<ZelThreadPool>(s.r), job);
             zel_thread_pool_join(P<ZelThreadPool>(s.r));
             return g_ran == 1;
         }},
        {"zel_thread_pool_execute", [&] { g_ran = 0, pool = zel_thread_pool_new(1); },
         [&] { return zel_thread_pool_execute(pool, job), int64_t{0}; },
         [&](const Shot &s) {
             zel_thread_pool_join(pool);
             return g_ran == (s.failed ? 0 : 1);
         }},
        {"zel_scope_new", {}, [] { return I(zel_scope_new()); },
         [](const Shot &s) {
             zel_scope_wait(P<ZelScope>(s.r));
             return zf::null_iff_failed(s);
         }},
        {"zel_scope_spawn", [&] { g_ran = 0, scope = zel_scope_new(); }, [&] { return zel_scope_spawn(scope, job), int64_t{0}; },
         [&](const Shot &s) {
             zel_scope_wait(scope);
             return g_ran == (s.failed ? 0 : 1);
         }},
    });
}

}  // namespace
