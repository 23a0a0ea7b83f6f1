// Shared by the async tests: every test is bounded in time and leaves neither
// a descriptor nor a handler on the default loop behind.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "support.h"

namespace at {

inline int open_fds() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

inline int active_slots(const ZelEventLoop *loop) {
    int n = 0;
    for (int32_t i = 0; loop != nullptr && i < loop->slot_count; ++i) n += loop->handlers[i].active != 0;
    return n;
}

inline int64_t now_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Passes of the default loop until done() holds; false after 10 s.
inline bool pump_until(const std::function<bool()> &done) {
    for (int64_t end = now_ms() + 10000; !done(); zel_event_loop_run_once(zel_get_event_loop(), 10))
        if (now_ms() > end) return false;
    return true;
}

// A received heap buffer as text ("<null>" for none), released.
inline std::string take(char *buf) {
    std::string s = buf != nullptr ? buf : "<null>";
    free(buf);
    return s;
}

// A local TCP port nothing listens on: bound by the system, then released.
inline int32_t closed_port() {
    ZelSocket *l = zel_async_socket_listen(0);
    auto port = static_cast<int32_t>(zel_async_socket_port(l));
    zel_async_socket_close(l);
    return port;
}

// The parent's alarm does not reach a forked child: it gets its own.
inline int bounded_child(const std::function<int()> &fn) {
    return zt::run_child([&fn] {
        alarm(30);
        return fn();
    }).status;
}

// A hung wait ends the test program through SIGALRM instead of stalling CI.
class Async : public ::testing::Test {
protected:
    void SetUp() override {
        zel_get_event_loop();  // its descriptor lives as long as the process
        alarm(60);
        fds_ = open_fds();
        slots_ = active_slots(g_event_loop);
    }
    void TearDown() override {
        alarm(0);
        EXPECT_EQ(open_fds(), fds_) << "a descriptor was left open";
        EXPECT_EQ(active_slots(g_event_loop), slots_) << "a handler was left on the default loop";
    }

private:
    int fds_ = 0, slots_ = 0;
};

}  // namespace at
