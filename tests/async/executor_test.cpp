#include <thread>
#include <vector>

#include "async_test.h"

namespace {

using at::Async;

void count_call(void *user, int64_t, uint32_t) { ++*static_cast<int *>(user); }

TEST_F(Async, ExecutorCountsAndCompletesInOrder) {
    EXPECT_EQ(__future_await(7), 7);
    EXPECT_EQ(future_await(-7), -7);
    EXPECT_EQ(zel_task_is_completed(nullptr), 1);
    ZelExecutor *ex = zel_executor_new();
    zel_executor_spawn(ex, zel_task_new(1));
    zel_executor_spawn(ex, zel_task_new(2));
    EXPECT_EQ(zel_executor_completed_count(ex), 2);
    EXPECT_EQ(zel_executor_block_on(ex, 5), 5);
    EXPECT_EQ(zel_executor_completed_count(ex), 3);
    // Pending tasks are counted only when a pass completes them.
    ZelTask *pending[2] = {zel_task_new(8), zel_task_new(9)};
    for (ZelTask *t : pending) {
        t->state = 0;
        EXPECT_EQ(zel_task_is_completed(t), 0);
        t->next = t;  // a stale link is cleared on append
        zel_executor_spawn(ex, t);
    }
    EXPECT_EQ(zel_executor_completed_count(ex), 3);
    zel_executor_run(ex);
    EXPECT_EQ(zel_executor_completed_count(ex), 5);
    std::vector<int64_t> order;
    for (ZelTask *t = ex->head; t != nullptr; t = t->next) order.push_back(zel_task_is_completed(t) * zel_task_get_result(t));
    EXPECT_EQ(order, (std::vector<int64_t>{1, 2, 5, 8, 9}));
    zel_executor_free(ex);  // with its tasks: the leak check sees it
}

TEST_F(Async, ExecutorPassRunsTheDefaultLoopOnceWithoutWaiting) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    int calls = 0;
    ASSERT_EQ(zel_event_loop_register(g_event_loop, p[1], 2, count_call, &calls), 0);
    EXPECT_EQ(zel_executor_block_on(nullptr, 9), 9);  // no executor, no pass
    EXPECT_EQ(calls, 0);
    ZelExecutor *ex = zel_executor_new();
    zel_executor_run(ex);
    EXPECT_EQ(zel_executor_block_on(ex, 4), 4);
    EXPECT_EQ(zel_block_on(-1), -1);
    EXPECT_EQ(calls, 3);
    // Nothing ready: a pass that waited would hang until the alarm.
    zel_event_loop_unregister(g_event_loop, p[1]);
    ASSERT_EQ(zel_event_loop_register(g_event_loop, p[0], 1, count_call, &calls), 0);
    zel_executor_run(ex);
    EXPECT_EQ(calls, 3);
    zel_event_loop_unregister(g_event_loop, p[0]);
    zel_executor_free(ex);
    close(p[0]);
    close(p[1]);
}

// Other threads spawn tasks and close blocking sockets while this one runs
// passes and changes the default loop's table (the thread sanitizer build
// checks that nothing races).
TEST_F(Async, OtherThreadsSpawnTasksAndCloseBlockingSockets) {
    ZelExecutor *ex = zel_executor_new();
    int p[2], calls = 0;
    ASSERT_EQ(pipe(p), 0);
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; ++k)
        threads.emplace_back([ex] {
            for (int i = 0; i < 500; ++i) {
                ZelTask *t = zel_task_new(i);
                t->state = i % 2 == 0 ? 2 : 0;
                zel_executor_spawn(ex, t);
                if (i % 5 == 0) zel_async_udp_close(zel_async_udp_bind(0));
            }
        });
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(zel_event_loop_register(g_event_loop, p[1], 2, count_call, &calls), 0);
        zel_executor_run(ex);
        zel_event_loop_unregister(g_event_loop, p[1]);
    }
    for (auto &t : threads) t.join();
    zel_executor_run(ex);
    EXPECT_EQ(zel_executor_completed_count(ex), 1000);
    EXPECT_EQ(calls, 100);
    zel_executor_free(ex);
    close(p[0]);
    close(p[1]);
}

}  // namespace
