// Shared by the concurrency tests: a watchdog that fails a hung test instead
// of stalling the run, a monotonic clock, and pointer-argument helpers.
#pragma once

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include "support.h"

namespace zc {

// An alarm rather than a thread keeps the process single-threaded between
// tests, so children may be forked freely. 60 s is far above any test's need
// under ThreadSanitizer on a loaded machine and far below CTest's timeout.
class Bounded : public ::testing::Test {
protected:
    void SetUp() override {
        signal(SIGALRM, [](int) {
            static const char msg[] = "watchdog: test still running after 60 s, treated as hung\n";
            if (write(2, msg, sizeof msg - 1) < 0) {}
            zt::exit_unflushed(124);
        });
        alarm(60);
    }
    void TearDown() override { alarm(0); }
};

inline int64_t clock_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}
inline void sleep_ms(int64_t ms) { usleep(static_cast<useconds_t>(ms * 1000)); }

inline int64_t as_arg(const void *p) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(p)); }
template <class T>
T *from_arg(int64_t v) {
    return reinterpret_cast<T *>(static_cast<intptr_t>(v));
}

}  // namespace zc
