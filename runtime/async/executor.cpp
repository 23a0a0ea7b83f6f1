// The eager executor: a future is its own value, tasks start completed, and an
// executor pass only lets the default event loop make progress and then marks
// pending tasks completed. No task code runs here and no thread is started.
#include <stddef.h>
#include <stdlib.h>

#include "../core/internal.h"

static_assert(sizeof(ZelTask) == 24, "ZelTask layout");
static_assert(offsetof(ZelTask, value) == 0, "ZelTask layout");
static_assert(offsetof(ZelTask, state) == 8, "ZelTask layout");
static_assert(offsetof(ZelTask, next) == 16, "ZelTask layout");
static_assert(offsetof(ZelExecutor, head) == 0, "ZelExecutor layout");
static_assert(offsetof(ZelExecutor, tail) == 8, "ZelExecutor layout");
static_assert(offsetof(ZelExecutor, completed) == 16, "ZelExecutor layout");
static_assert(offsetof(ZelExecutor, lock) == 24, "ZelExecutor layout");

namespace zel {
namespace {

constexpr int32_t kPending = 0;
constexpr int32_t kCompleted = 2;

void executor_pass(ZelExecutor *ex) {
    ZelEventLoop *loop = zel_get_event_loop();
    if (loop != nullptr) zel_event_loop_run_once(loop, 0);
    pthread_mutex_lock(&ex->lock);
    for (ZelTask *t = ex->head; t != nullptr; t = t->next) {
        if (t->state == kPending) {
            t->state = kCompleted;
            ++ex->completed;
        }
    }
    pthread_mutex_unlock(&ex->lock);
}

}  // namespace
}  // namespace zel

ZEL_EXPORT int64_t __future_await(int64_t future) { return future; }
ZEL_EXPORT int64_t future_await(int64_t future) ZEL_ALIAS_OF(__future_await);

ZEL_EXPORT ZelTask *zel_task_new(int64_t value) {
    auto *t = static_cast<ZelTask *>(malloc(sizeof(ZelTask)));
    if (t == nullptr) return nullptr;
    t->value = value;
    t->state = zel::kCompleted;
    t->next = nullptr;
    return t;
}

ZEL_EXPORT int64_t zel_task_get_result(const ZelTask *task) { return task != nullptr ? task->value : 0; }

ZEL_EXPORT int64_t zel_task_is_completed(const ZelTask *task) {
    return task == nullptr || task->state == zel::kCompleted ? 1 : 0;
}

ZEL_EXPORT void zel_task_free(ZelTask *task) { free(task); }

ZEL_EXPORT ZelExecutor *zel_executor_new(void) {
    auto *ex = static_cast<ZelExecutor *>(malloc(sizeof(ZelExecutor)));
    if (ex == nullptr) return nullptr;
    ex->head = nullptr;
    ex->tail = nullptr;
    ex->completed = 0;
    if (pthread_mutex_init(&ex->lock, nullptr) != 0) {
        free(ex);
        return nullptr;
    }
    return ex;
}

ZEL_EXPORT void zel_executor_spawn(ZelExecutor *executor, ZelTask *task) {
    if (executor == nullptr || task == nullptr) return;
    task->next = nullptr;
    pthread_mutex_lock(&executor->lock);
    if (executor->tail != nullptr) executor->tail->next = task;
    else executor->head = task;
    executor->tail = task;
    if (task->state == zel::kCompleted) ++executor->completed;
    pthread_mutex_unlock(&executor->lock);
}

ZEL_EXPORT void zel_executor_run(ZelExecutor *executor) {
    if (executor != nullptr) zel::executor_pass(executor);
}

ZEL_EXPORT int64_t zel_executor_block_on(ZelExecutor *executor, int64_t value) {
    if (executor == nullptr) return value;
    zel_executor_spawn(executor, zel_task_new(value));
    zel::executor_pass(executor);
    return value;
}

ZEL_EXPORT int64_t zel_executor_completed_count(ZelExecutor *executor) {
    if (executor == nullptr) return 0;
    pthread_mutex_lock(&executor->lock);
    int64_t n = executor->completed;
    pthread_mutex_unlock(&executor->lock);
    return n;
}

ZEL_EXPORT void zel_executor_free(ZelExecutor *executor) {
    if (executor == nullptr) return;
    for (ZelTask *t = executor->head; t != nullptr;) {
        ZelTask *next = t->next;
        free(t);
        t = next;
    }
    pthread_mutex_destroy(&executor->lock);
    free(executor);
}

ZEL_EXPORT int64_t zel_block_on(int64_t value) {
    zel_get_event_loop();
    ZelExecutor *ex = zel_executor_new();
    if (ex == nullptr) return value;
    zel_executor_block_on(ex, value);
    zel_executor_free(ex);
    return value;
}
