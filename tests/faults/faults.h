// Allocation failure, operation by operation: each case runs once to count the
// allocations it makes (after a first run that fills what caches glibc keeps),
// then once for every N below that count with the N-th allocation failing
// (and, where no failure is fatal, with the N-th and every later one
// failing), then once more with none failing. Every run settles on the defined
// answer, and after it has released what the operation returned no block it
// allocated is left and no descriptor is open. Failures numbered fatal_from and
// above must end the process, in a child, with the one line of exhausted memory.
#pragma once

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <functional>

#include "fail_alloc.h"
#include "support.h"

namespace zf {

struct Shot {
    int64_t r;    // what the operation returned
    bool failed;  // an allocation was made to fail
    bool rest;    // every allocation from the first failed one failed too
};

constexpr int64_t kFatal = 0;           // every failure ends the process
constexpr int64_t kNever = INT64_MAX;  // no failure does

struct Case {
    const char *name;
    std::function<void()> setup;               // before the window, every run
    std::function<int64_t()> op;               // the window: counted, failed
    std::function<bool(const Shot &)> settle;  // the answer is right; releases everything
    int64_t fatal_from = kNever;     // failing call N >= this ends the process
    unsigned kinds = zt::kAnyAlloc;  // the allocations counted and failed
    int64_t kept = 0;                // blocks a successful operation keeps for good
};

template <class T>
int64_t I(T *p) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(p)); }
template <class T>
T *P(int64_t r) { return reinterpret_cast<T *>(static_cast<intptr_t>(r)); }

// A constructor's answer: NULL exactly when an allocation failed.
inline bool null_iff_failed(const Shot &s) { return (s.r == 0) == s.failed; }

inline int open_fds() {
    DIR *d = opendir("/proc/self/fd");
    int n = 0;
    while (readdir(d) != nullptr) ++n;
    closedir(d);
    return n;
}

struct Run {
    int64_t calls, failed, live;
    bool ok;
    int fds;
};

inline Run shoot(const Case &c, int64_t n, int64_t count) {
    int fds = open_fds();
    if (c.setup) c.setup();
    zt::AllocWatch w(n, count, c.kinds);
    int64_t r = c.op();
    w.pause();
    bool ok = c.settle({r, w.failed() > 0, count > 1});
    return {w.calls(), w.failed(), w.live() - (r != 0 ? c.kept : 0), ok, open_fds() - fds};
}

// A case that blocks (a read that finds its data gone) fails instead of stalling the run.
inline void watchdog(unsigned seconds) {
    signal(SIGALRM, [](int) {
        static const char msg[] = "watchdog: case still running after 60 s\n";
        if (write(2, msg, sizeof msg - 1) < 0) {}
        zt::exit_unflushed(124);
    });
    alarm(seconds);
}

inline void check(const Case &c) {
    SCOPED_TRACE(c.name);
    watchdog(60);
    shoot(c, -1, 0);
    Run base = shoot(c, -1, 0);
    ASSERT_GT(base.calls, 0) << "no allocation to fail";
    printf("%-40s N = 0..%lld\n", c.name, static_cast<long long>(base.calls));
    EXPECT_TRUE(base.ok);
    EXPECT_EQ(base.live, 0);
    EXPECT_EQ(base.fds, 0);
    for (int64_t n = 0; n < base.calls; ++n) {
        if (n >= c.fatal_from) {
            zt::ChildResult r = zt::run_child([&] {
                if (c.setup) c.setup();
                zt::AllocWatch w(n, 1, c.kinds);
                c.op();
                return 0;
            });
            EXPECT_EQ(r.status, 1) << "N=" << n;
            EXPECT_EQ(r.err, "[zel] FATAL: out of memory\n") << "N=" << n;
            continue;
        }
        for (int64_t count : {int64_t{1}, INT64_MAX}) {
            if (count > 1 && c.fatal_from != kNever) break;
            Run got = shoot(c, n, count);
            const char *mode = count > 1 ? " and on" : "";
            EXPECT_GT(got.failed, 0) << "N=" << n << mode;
            EXPECT_TRUE(got.ok) << "N=" << n << mode;
            EXPECT_EQ(got.live, 0) << "N=" << n << mode;
            EXPECT_EQ(got.fds, 0) << "N=" << n << mode;
        }
    }
    alarm(0);
}

inline void check(std::initializer_list<Case> cases) {
    for (const Case &c : cases) check(c);
}

}  // namespace zf
