#include <thread>
#include <vector>

#include "async_test.h"

namespace {

using at::Async;

void count_call(void *user, int64_t, uint32_t) { ++*static_cast<int *>(user); }

TEST_F(Async, FuturesAndTasks) {
    EXPECT_EQ(__future_await(7), 7);
    EXPECT_EQ(future_await(INT64_MIN), INT64_MIN);
    ZelTask *t = zel_task_new(-3);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(zel_task_get_result(t), -3);
    EXPECT_EQ(zel_task_is_completed(t), 1);
    t->state = 0;
    EXPECT_EQ(zel_task_is_completed(t), 0);
    zel_task_free(t);
    EXPECT_EQ(zel_task_is_completed(nullptr), 1);
    EXPECT_EQ(zel_task_get_result(nullptr), 0);
    zel_task_free(nullptr);
}

TEST_F(Async, ExecutorCountsAndCompletesInOrder) {
    ZelExecutor *ex = zel_executor_new();
    ASSERT_NE(ex, nullptr);
    EXPECT_EQ(zel_executor_completed_count(ex), 0);
    zel_executor_spawn(ex, zel_task_new(1));
    zel_executor_spawn(ex, zel_task_new(2));
    EXPECT_EQ(zel_executor_completed_count(ex), 2);
    EXPECT_EQ(zel_executor_block_on(ex, 5), 5);
    EXPECT_EQ(zel_executor_completed_count(ex), 3);
    // Pending tasks are counted only when a pass completes them.
    ZelTask *pending[2] = {zel_task_new(8), zel_task_new(9)};
    for (ZelTask *t : pending) {
        t->state = 0;
        t->next = t;  // a stale link is cleared on append
        zel_executor_spawn(ex, t);
    }
    EXPECT_EQ(zel_executor_completed_count(ex), 3);
    zel_executor_run(ex);
    EXPECT_EQ(zel_executor_completed_count(ex), 5);
    std::vector<int64_t> order;
    for (ZelTask *t = ex->head; t != nullptr; t = t->next) {
        EXPECT_EQ(t->state, 2);
        order.push_back(t->value);
    }
    EXPECT_EQ(order, (std::vector<int64_t>{1, 2, 5, 8, 9}));
    EXPECT_EQ(ex->tail, pending[1]);
    zel_executor_free(ex);  // frees the tasks too (the leak check sees it)

    zel_executor_spawn(nullptr, nullptr);
    zel_executor_run(nullptr);
    zel_executor_free(nullptr);
    EXPECT_EQ(zel_executor_completed_count(nullptr), 0);
}

TEST_F(Async, ExecutorPassRunsTheDefaultLoopOnceWithoutWaiting) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    int calls = 0;
    ASSERT_EQ(zel_event_loop_register(zel_get_event_loop(), p[1], 2, count_call, &calls), 0);
    EXPECT_EQ(zel_executor_block_on(nullptr, 9), 9);  // no executor, no pass
    EXPECT_EQ(calls, 0);
    ZelExecutor *ex = zel_executor_new();
    zel_executor_run(ex);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(zel_executor_block_on(ex, 4), 4);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(zel_block_on(-1), -1);
    EXPECT_EQ(calls, 3);
    zel_event_loop_unregister(g_event_loop, p[1]);
    // Nothing ready: the pass returns at once.
    int64_t start = at::now_ms();
    ASSERT_EQ(zel_event_loop_register(g_event_loop, p[0], 1, count_call, &calls), 0);
    zel_executor_run(ex);
    EXPECT_LT(at::now_ms() - start, 5000);
    EXPECT_EQ(calls, 3);
    zel_event_loop_unregister(g_event_loop, p[0]);
    zel_executor_free(ex);
    close(p[0]);
    close(p[1]);
}

TEST_F(Async, ExecutorTakesTasksFromSeveralThreads) {
    ZelExecutor *ex = zel_executor_new();
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k)
        threads.emplace_back([ex, k] {
            for (int i = 0; i < 500; ++i) {
                ZelTask *t = zel_task_new(k * 1000 + i);
                t->state = i % 2 == 0 ? 2 : 0;
                zel_executor_spawn(ex, t);
            }
        });
    for (int i = 0; i < 20; ++i) zel_executor_run(ex);  // passes stay on this thread
    for (auto &t : threads) t.join();
    zel_executor_run(ex);
    EXPECT_EQ(zel_executor_completed_count(ex), 2000);
    int n = 0;
    for (ZelTask *t = ex->head; t != nullptr; t = t->next) ++n;
    EXPECT_EQ(n, 2000);
    zel_executor_free(ex);
}

}  // namespace
