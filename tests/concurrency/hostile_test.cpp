// Signals that keep interrupting a thread blocked in a channel wait, a lock,
// a join or a barrier: none of these waits ends before what it waits for
// happens, and each then answers as it would have without the signals.
#include <pthread.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "bounded.h"

namespace {

class Hostile : public zc::Bounded {};

auto *g_kept = new std::vector<ZelChannelHandle *>;  // channels are never released

struct Row {
    const char *name;
    std::function<void()> prepare;  // on this thread, before the wait starts
    std::function<int64_t()> wait;  // on a thread that is signalled every millisecond
    std::function<void()> release;  // then ends the wait; without one a timeout must
    int64_t want, at_least_ms;
};

TEST_F(Hostile, SignalsDuringBlockingWaits) {
    struct sigaction sa = {}, old = {};
    sa.sa_handler = [](int) {};
    sigemptyset(&sa.sa_mask);
    sigaction(SIGUSR1, &sa, &old);  // no SA_RESTART: every interruptible call sees EINTR
    ZelChannelHandle *tx, *rx, *ftx, *frx;
    zel_channel_new(4, &tx, &rx);
    zel_channel_new(1, &ftx, &frx);
    g_kept->insert(g_kept->end(), {tx, rx, ftx, frx});
    ZelMutex *m = zel_mutex_new(5);
    ZelCondvar *cv = zel_condvar_new();
    ZelBarrier *barrier = zel_barrier_new(2);
    ZelThread *sleeper = nullptr;
    int64_t got = 0;
    auto fill = [&] { zel_channel_send(ftx, 1); };
    const std::vector<Row> rows = {
        {"recv", nullptr, [&] { return zel_channel_recv(rx); }, [&] { zel_channel_send(tx, 42); }, 42, 60},
        {"recv_timeout unlimited", nullptr, [&] { return zel_channel_recv_timeout(rx, -1, &got) * got; },
         [&] { zel_channel_send(tx, 7); }, 7, 60},
        {"recv_timeout running out", nullptr, [&] { return zel_channel_recv_timeout(rx, 150, &got); }, nullptr, 0, 150},
        {"send to a full channel", fill, [&] { zel_channel_send(ftx, 2); return zel_channel_recv(frx); },
         [&] { zel_channel_recv(frx); }, 2, 60},
        {"send_timeout running out", fill, [&] { return zel_channel_send_timeout(ftx, 3, 150); }, nullptr, 0, 150},
        {"mutex held elsewhere", [&] { zel_mutex_lock(m); },
         [&] { int64_t v = zel_mutex_lock(m); zel_mutex_unlock(m, v); return v; }, [&] { zel_mutex_unlock(m, 9); }, 9, 60},
        {"condvar", nullptr, [&] {
             int64_t v = zel_mutex_lock(m);
             while (v != 11) v = zel_condvar_wait(cv, m);
             zel_mutex_unlock(m, v);
             return v;
         }, [&] { zel_mutex_lock(m); zel_mutex_unlock(m, 11); zel_condvar_notify_all(cv); }, 11, 60},
        // The releasing thread arrives last, so the waiter's answer is 0.
        {"barrier", nullptr, [&] { return zel_barrier_wait(barrier); }, [&] { zel_barrier_wait(barrier); }, 0, 60},
        {"join", [&] { sleeper = zel_spawn(+[](int64_t) -> int64_t { zc::sleep_ms(150); return 12; }, 0); },
         [&] { return zel_join(sleeper); }, nullptr, 12, 100},
    };
    for (const Row &row : rows) {
        if (row.prepare) row.prepare();
        std::atomic<bool> released{false}, early{false}, done{false};
        int64_t result = -1, start = zc::clock_ms(), took = 0;
        std::thread waiter([&] {
            result = row.wait();
            early = !released;
            took = zc::clock_ms() - start;
            done = true;
        });
        for (int i = 0; i < 60 && !done; ++i, zc::sleep_ms(1)) pthread_kill(waiter.native_handle(), SIGUSR1);
        released = true;
        if (row.release) row.release();
        waiter.join();
        EXPECT_EQ(result, row.want) << row.name;
        EXPECT_FALSE(early && row.release) << row.name << " ended before its release";
        EXPECT_GE(took, row.at_least_ms) << row.name;
    }
    sigaction(SIGUSR1, &old, nullptr);
    zel_mutex_free(m);
    zel_condvar_free(cv);
    zel_barrier_free(barrier);
}

}  // namespace
