#include <sys/eventfd.h>

#include <vector>

#include "async_test.h"

namespace {

using at::Async;

struct Seen {
    std::vector<std::pair<int64_t, uint32_t>> calls;
};
void record(void *user, int64_t fd, uint32_t ready) { static_cast<Seen *>(user)->calls.push_back({fd, ready}); }
void ignore(void *, int64_t, uint32_t) {}

TEST_F(Async, LoopSlotsAreReusedAndCappedAt1024) {
    ZelEventLoop *loop = zel_event_loop_create();
    ASSERT_NE(loop, nullptr);
    int a[2], b[2];
    ASSERT_EQ(pipe(a), 0);
    ASSERT_EQ(pipe(b), 0);
    Seen first, second;
    ASSERT_EQ(zel_event_loop_register(loop, a[1], 1, record, &first), 0);
    // The same fd keeps its slot and takes the new callback, data and interest.
    ASSERT_EQ(zel_event_loop_register(loop, a[1], 2, record, &second), 0);
    EXPECT_EQ(loop->slot_count, 1);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 1);
    EXPECT_TRUE(first.calls.empty());
    EXPECT_EQ(second.calls, (decltype(second.calls){{a[1], 2u}}));
    // A freed slot goes to the next descriptor.
    ASSERT_EQ(zel_event_loop_register(loop, b[0], 1, ignore, nullptr), 0);
    EXPECT_EQ(zel_event_loop_unregister(loop, a[1]), 0);
    EXPECT_EQ(zel_event_loop_unregister(loop, a[1]), -1);
    ASSERT_EQ(zel_event_loop_register(loop, b[1], 2, ignore, nullptr), 0);
    EXPECT_EQ(loop->handlers[0].fd, b[1]);
    EXPECT_EQ(loop->slot_count, 2);

    // Refused by the kernel, still holding a slot; a value wider than int never
    // reaches the kernel as some other descriptor.
    EXPECT_EQ(zel_event_loop_register(loop, (int64_t{1} << 32) + a[0], 1, record, &first), -1);
    ASSERT_EQ(write(a[1], "x", 1), 1);
    EXPECT_EQ(zel_event_loop_unregister(loop, b[1]), 0);
    EXPECT_EQ(zel_event_loop_run_once(loop, 0), 0);
    EXPECT_TRUE(first.calls.empty());
    for (int fd = 100000; loop->slot_count < 1024; ++fd) EXPECT_EQ(zel_event_loop_register(loop, fd, 1, ignore, nullptr), -1);
    EXPECT_EQ(zel_event_loop_unregister(loop, 100005), 0);
    // Full once 1024 slots were used, even for a free slot or a registered fd.
    EXPECT_EQ(zel_event_loop_register(loop, a[0], 1, ignore, nullptr), -1);
    EXPECT_EQ(zel_event_loop_register(loop, b[0], 2, ignore, nullptr), -1);
    EXPECT_EQ(loop->slot_count, 1024);

    EXPECT_EQ(zel_event_loop_register(nullptr, a[0], 1, ignore, nullptr), -1);
    EXPECT_EQ(zel_event_loop_register(zel_get_event_loop(), a[0], 1, nullptr, nullptr), -1);
    EXPECT_EQ(zel_event_loop_unregister(nullptr, a[0]), -1);
    zel_event_loop_destroy(loop);
    for (int fd : {a[0], a[1], b[0], b[1]}) close(fd);
}

TEST_F(Async, LoopReportsLevelsHangUpAndStops) {
    ZelEventLoop *loop = zel_event_loop_create();
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    Seen w, r;
    ASSERT_EQ(zel_event_loop_register(loop, p[0], 1, record, &r), 0);
    EXPECT_EQ(zel_event_loop_run_once(loop, 0), 0);
    ASSERT_EQ(zel_event_loop_register(loop, p[1], 2, record, &w), 0);
    ASSERT_EQ(write(p[1], "x", 1), 1);
    for (int pass = 0; pass < 3; ++pass) EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 2);
    EXPECT_EQ(r.calls, (decltype(r.calls)(3, {p[0], 1u})));
    EXPECT_EQ(w.calls, (decltype(w.calls)(3, {p[1], 2u})));
    ASSERT_EQ(zel_event_loop_unregister(loop, p[0]), 0);
    close(p[0]);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 1);
    EXPECT_EQ(w.calls.back(), (std::pair<int64_t, uint32_t>{p[1], 2u | 4u}));

    EXPECT_EQ(zel_event_loop_is_stopped(loop), 0);
    zel_event_loop_stop(loop);
    EXPECT_EQ(zel_event_loop_is_stopped(loop), 1);
    EXPECT_EQ(zel_event_loop_register(loop, p[1], 2, record, &w), 0);
    EXPECT_EQ(zel_event_loop_run_once(loop, -1), 0);  // returns without waiting
    EXPECT_EQ(w.calls.size(), 4u);
    EXPECT_EQ(zel_event_loop_is_stopped(nullptr), 1);
    EXPECT_EQ(zel_event_loop_run_once(nullptr, -1), 0);
    zel_event_loop_stop(nullptr);
    zel_event_loop_destroy(nullptr);
    zel_event_loop_destroy(loop);
    close(p[1]);
}

// Each callback withdraws the other descriptor: whichever the kernel reports
// first, the second event of the batch finds no handler.
struct Pair {
    ZelEventLoop *loop;
    int64_t other;
    int calls = 0;
};
void withdraw_other(void *user, int64_t, uint32_t) {
    auto *p = static_cast<Pair *>(user);
    ++p->calls;
    zel_event_loop_unregister(p->loop, p->other);
}

TEST_F(Async, LoopCallbackMayWithdrawALaterEventAndBatchesAre64) {
    ZelEventLoop *loop = zel_event_loop_create();
    int x = eventfd(0, 0), y = eventfd(0, 0);
    Pair px{loop, y}, py{loop, x};
    ASSERT_EQ(zel_event_loop_register(loop, x, 2, withdraw_other, &px), 0);
    ASSERT_EQ(zel_event_loop_register(loop, y, 2, withdraw_other, &py), 0);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 1);
    EXPECT_EQ(px.calls + py.calls, 1);
    zel_event_loop_unregister(loop, x);
    zel_event_loop_unregister(loop, y);

    std::vector<int> fds;
    Seen seen;
    for (int i = 0; i < 70; ++i) {
        fds.push_back(eventfd(0, 0));
        ASSERT_EQ(zel_event_loop_register(loop, fds.back(), 2, record, &seen), 0);
    }
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 64);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 64);  // level-triggered: still ready
    zel_event_loop_destroy(loop);
    for (int fd : fds) close(fd);
    close(x);
    close(y);
}

TEST_F(Async, DefaultLoopIsCreatedOnFirstUse) {
    EXPECT_EQ(zel_get_event_loop(), g_event_loop);
    EXPECT_EQ(zel_get_event_loop(), zel_get_event_loop());
    // A forked child forgets the inherited loop (its epoll set is shared with
    // this process) and sees it made afresh by a block-on.
    zt::ChildResult r = at::bounded_child([] {
        g_event_loop = nullptr;
        if (zel_block_on(42) != 42 || g_event_loop == nullptr) return 1;
        return zel_event_loop_is_stopped(g_event_loop) == 0 && zel_get_event_loop() == g_event_loop ? 0 : 2;
    });
    EXPECT_EQ(r.status, 0);
}

}  // namespace
