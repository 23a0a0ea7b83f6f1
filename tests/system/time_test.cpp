// Clocks, sleeping and the per-thread random generator.
#include <signal.h>

#include <vector>

#include "sys_support.h"

namespace {

// The generator written out independently: full 64-bit state, masked values.
std::vector<int64_t> reference(uint64_t x, int n) {
    std::vector<int64_t> out;
    for (int i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out.push_back(static_cast<int64_t>(x & INT64_MAX));
    }
    return out;
}

std::vector<int64_t> draws(int n) {
    std::vector<int64_t> out;
    for (int i = 0; i < n; ++i) out.push_back(zel_random_i64());
    return out;
}

TEST(Time, ClocksAgreeAndNeverGoBack) {
    int64_t prev = zel_time_ns();
    for (int i = 0; i < 1000; ++i) {
        int64_t ms = i % 2 ? zel_time_ms() : now_ms(), now = i % 2 ? time_ns() : now_ns();
        EXPECT_TRUE(prev / 1000000 <= ms && ms <= now / 1000000 && prev <= now);
        prev = now;
    }
    EXPECT_GE(time_ms(), prev / 1000000);
}

TEST(Time, Sleep) {
    int64_t t0 = zel_time_ns();
    EXPECT_EQ(zel_sleep_ms(0), 0);
    EXPECT_EQ(zel_sleep_ms(-1), -1);  // refused, without sleeping
    EXPECT_EQ(sleep_ms(-1), 0);
    int64_t t1 = zel_time_ns();
    EXPECT_LT(t1 - t0, 2000000000);
    EXPECT_EQ(zel_sleep_ms(30), 0);
    EXPECT_GE(zel_time_ns() - t1, 30000000);
}

// 4294968 ms would wrap to a 0.7 ms nap in 32-bit microseconds; unwrapped, a
// signal every 100 ms interrupts it.
TEST(Time, LongSleepIsNotWrapped) {
    auto r = zt::run_child([] {
        alarm(20);  // ends the child should the sleep not end
        struct sigaction sa = {};
        sa.sa_handler = [](int) {};
        sigaction(SIGUSR1, &sa, nullptr);  // no SA_RESTART
        timer_t timer;
        struct sigevent ev = {};
        ev.sigev_notify = SIGEV_SIGNAL;
        ev.sigev_signo = SIGUSR1;
        struct itimerspec every = {{0, 100000000}, {0, 100000000}};
        int64_t t0 = zel_time_ms();  // before the first tick can come
        if (timer_create(CLOCK_MONOTONIC, &ev, &timer) != 0 || timer_settime(timer, 0, &every, nullptr) != 0) return 2;
        int32_t a = zel_sleep_ms(4294968);
        int64_t b = sleep_ms(INT32_MAX);
        printf("%d %ld %d", a, (long)b, zel_time_ms() - t0 >= 190);
        return 0;
    });
    EXPECT_EQ(r.out, "-1 0 1");
}

TEST(Random, SeededSequences) {
    zel_random_seed(1);
    EXPECT_EQ(zel_random_i64(), 1082269761);
    EXPECT_EQ(draws(50), reference(1082269761, 50));
    zel_random_seed(0);
    EXPECT_EQ(draws(51), reference(1, 51));
    zel_random_seed(INT64_MIN);  // the state keeps its top bit; only values drop it
    EXPECT_EQ(zel_random_i64(), 0x0100000000000000);
    EXPECT_EQ(draws(20), reference(0x8100000000000000ull, 20));
}

TEST(Random, EachThreadHasItsOwnState) {
    zel_random_seed(7);
    std::vector<int64_t> seven = reference(7, 3), a, b;
    EXPECT_EQ(zel_random_i64(), seven[0]);
    int64_t fresh = -1;
    std::thread([&] { fresh = zel_random_i64(); }).join();  // unseeded: seeded from the clock
    std::thread ta([&] { zel_random_seed(42); a = draws(100); });
    std::thread tb([&] { zel_random_seed(42); b = draws(100); });
    ta.join();
    tb.join();
    EXPECT_EQ(a, reference(42, 100));
    EXPECT_EQ(b, a);
    EXPECT_TRUE(fresh >= 0 && fresh != seven[1]);
    EXPECT_EQ(draws(2), std::vector<int64_t>(seven.begin() + 1, seven.end()));  // undisturbed
}

}  // namespace
