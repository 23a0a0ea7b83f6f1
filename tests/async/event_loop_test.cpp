#include <sys/eventfd.h>

#include <vector>

#include "async_test.h"

namespace {

using at::Async;
using Calls = std::vector<std::pair<int64_t, uint32_t>>;

void record(void *user, int64_t fd, uint32_t ready) { static_cast<Calls *>(user)->push_back({fd, ready}); }
void ignore(void *, int64_t, uint32_t) {}

TEST_F(Async, LoopSlotsAreReusedAndCappedAt1024) {
    ZelEventLoop *loop = zel_event_loop_create();
    int a[2], b[2];
    ASSERT_TRUE(loop != nullptr && pipe(a) == 0 && pipe(b) == 0);
    Calls first, second;
    // The same fd keeps its slot and takes the new interest, callback and data.
    ASSERT_EQ(zel_event_loop_register(loop, a[1], 1, record, &first), 0);
    ASSERT_EQ(zel_event_loop_register(loop, a[1], 2, record, &second), 0);
    EXPECT_EQ(loop->slot_count, 1);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 1);
    EXPECT_EQ(second, (Calls{{a[1], 2u}}));
    // A freed slot goes to the next descriptor.
    ASSERT_EQ(zel_event_loop_register(loop, b[0], 1, ignore, nullptr), 0);
    EXPECT_EQ(zel_event_loop_unregister(loop, a[1]), 0);
    EXPECT_EQ(zel_event_loop_unregister(loop, a[1]), -1);
    ASSERT_EQ(zel_event_loop_register(loop, b[1], 2, ignore, nullptr), 0);
    EXPECT_EQ(loop->handlers[0].fd, b[1]);
    EXPECT_EQ(zel_event_loop_unregister(loop, b[1]), 0);
    // A value wider than int never reaches the kernel as another descriptor.
    EXPECT_EQ(zel_event_loop_register(loop, (int64_t{1} << 32) + a[0], 1, record, &first), -1);
    ASSERT_EQ(write(a[1], "x", 1), 1);
    EXPECT_EQ(zel_event_loop_run_once(loop, 0), 0);
    EXPECT_TRUE(first.empty());
    // Descriptors the kernel refuses still take slots; once 1024 were used the
    // table is full, even for a freed slot or a registered fd.
    for (int fd = 100000; loop->slot_count < 1024; ++fd) EXPECT_EQ(zel_event_loop_register(loop, fd, 1, ignore, nullptr), -1);
    EXPECT_EQ(zel_event_loop_unregister(loop, 100005), 0);
    EXPECT_EQ(zel_event_loop_register(loop, a[0], 1, ignore, nullptr), -1);
    EXPECT_EQ(zel_event_loop_register(loop, b[0], 2, ignore, nullptr), -1);
    EXPECT_EQ(loop->slot_count, 1024);
    EXPECT_EQ(zel_event_loop_register(g_event_loop, a[0], 1, nullptr, nullptr), -1);
    zel_event_loop_destroy(loop);
    for (int fd : {a[0], a[1], b[0], b[1]}) close(fd);
}

TEST_F(Async, LoopReportsLevelsHangUpAndStops) {
    ZelEventLoop *loop = zel_event_loop_create();
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    Calls w, r;
    ASSERT_EQ(zel_event_loop_register(loop, p[0], 1, record, &r), 0);
    EXPECT_EQ(zel_event_loop_run_once(loop, 0), 0);
    ASSERT_EQ(zel_event_loop_register(loop, p[1], 2, record, &w), 0);
    ASSERT_EQ(write(p[1], "x", 1), 1);
    for (int pass = 0; pass < 3; ++pass) EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 2);
    EXPECT_EQ(r, Calls(3, {p[0], 1u}));
    EXPECT_EQ(w, Calls(3, {p[1], 2u}));
    ASSERT_EQ(zel_event_loop_unregister(loop, p[0]), 0);
    close(p[0]);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 1);
    EXPECT_EQ(w.back(), (std::pair<int64_t, uint32_t>{p[1], 2u | 4u}));
    zel_event_loop_stop(loop);
    EXPECT_EQ(zel_event_loop_is_stopped(loop), 1);
    EXPECT_EQ(zel_event_loop_register(loop, p[1], 2, record, &w), 0);
    EXPECT_EQ(zel_event_loop_run_once(loop, -1), 0);  // returns without waiting
    EXPECT_EQ(w.size(), 4u);
    EXPECT_EQ(zel_event_loop_is_stopped(nullptr), 1);
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
    std::vector<int> fds;
    for (int i = 0; i < 70; ++i) fds.push_back(eventfd(0, 0));
    Pair px{loop, fds[1]}, py{loop, fds[0]};
    ASSERT_EQ(zel_event_loop_register(loop, fds[0], 2, withdraw_other, &px), 0);
    ASSERT_EQ(zel_event_loop_register(loop, fds[1], 2, withdraw_other, &py), 0);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 1);
    EXPECT_EQ(px.calls + py.calls, 1);
    Calls seen;
    for (int fd : fds) ASSERT_EQ(zel_event_loop_register(loop, fd, 2, record, &seen), 0);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 64);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 64);  // level-triggered: still ready
    zel_event_loop_destroy(loop);
    for (int fd : fds) close(fd);
}

TEST_F(Async, DefaultLoopIsCreatedOnFirstUse) {
    EXPECT_EQ(zel_get_event_loop(), g_event_loop);
    // A forked child forgets the inherited loop (its epoll set is shared with
    // this process) and sees a block-on make it afresh.
    EXPECT_EQ(at::bounded_child([] {
                  g_event_loop = nullptr;
                  return zel_block_on(42) == 42 && g_event_loop != nullptr && zel_get_event_loop() == g_event_loop ? 0 : 1;
              }),
              0);
}

}  // namespace
