// Shared by the concurrency tests: a watchdog that fails a hung test instead
// of letting it stall the run, a monotonic clock, and small thread helpers.
#pragma once

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "support.h"

namespace zc {

// Far above what any test needs even under ThreadSanitizer on a loaded
// machine, far below CTest's own timeout.
constexpr unsigned kWatchdogSeconds = 60;

inline void watchdog_fired(int) {
    static const char msg[] = "watchdog: test still running after 60 s, treated as hung\n";
    ssize_t ignored = write(2, msg, sizeof msg - 1);
    (void)ignored;
    zt::exit_unflushed(124);
}

// An alarm rather than a thread, so the process stays single-threaded between
// tests and may fork children freely.
class Bounded : public ::testing::Test {
protected:
    void SetUp() override {
        signal(SIGALRM, watchdog_fired);
        alarm(kWatchdogSeconds);
    }
    void TearDown() override { alarm(0); }
};

inline int64_t now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

inline void sleep_ms(int64_t ms) { usleep(static_cast<useconds_t>(ms * 1000)); }

// Waits up to `limit_ms` for `done`; false when the time ran out.
template <class Pred>
bool eventually(Pred done, int64_t limit_ms = 10000) {
    int64_t end = now_ms() + limit_ms;
    while (!done()) {
        if (now_ms() > end) return false;
        sleep_ms(1);
    }
    return true;
}

inline int64_t as_arg(const void *p) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(p)); }
template <class T>
T *from_arg(int64_t v) {
    return reinterpret_cast<T *>(static_cast<intptr_t>(v));
}

}  // namespace zc
