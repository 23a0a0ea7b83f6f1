// Shared by the async tests: every test is bounded in time, and leaves behind
// neither a descriptor nor a handler on the default loop.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "support.h"
#include "zel.h"

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

// Runs passes of the default loop until done() holds or 10 s have gone by.
inline bool pump_until(const std::function<bool()> &done) {
    for (int64_t end = now_ms() + 10000; !done();)
        if (now_ms() > end) return false;
        else zel_event_loop_run_once(zel_get_event_loop(), 10);
    return true;
}

// A local TCP port nothing listens on: bound by the system, then released.
inline int32_t closed_port() {
    ZelSocket *l = zel_async_socket_listen(0);
    int32_t port = l != nullptr ? static_cast<int32_t>(zel_async_socket_port(l)) : 0;
    zel_async_socket_close(l);
    return port;
}

inline int32_t local_port(const ZelSocket *s) {
    struct sockaddr_storage a = {};
    socklen_t len = sizeof a;
    getsockname(s->fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(reinterpret_cast<sockaddr_in *>(&a)->sin_port);
}

// A child of its own is bounded too: the parent's alarm does not reach it.
inline zt::ChildResult bounded_child(const std::function<int()> &fn) {
    return zt::run_child([&fn] {
        alarm(30);
        return fn();
    });
}

// A hung wait ends the test program through SIGALRM instead of stalling CI.
class Async : public ::testing::Test {
protected:
    void SetUp() override {
        zel_get_event_loop();  // its descriptor lives for the whole process
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
    int fds_ = 0;
    int slots_ = 0;
};

}  // namespace at
