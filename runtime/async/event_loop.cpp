// The epoll event loop and the process-wide default loop. The handler table is
// a fixed array inside the record, so registration and dispatch never allocate.
#include <errno.h>
#include <limits.h>
#include <stddef.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <unistd.h>

#include "../core/internal.h"

static_assert(sizeof(ZelEventHandler) == 40, "ZelEventHandler layout");
static_assert(offsetof(ZelEventHandler, fd) == 0, "ZelEventHandler layout");
static_assert(offsetof(ZelEventHandler, interest) == 8, "ZelEventHandler layout");
static_assert(offsetof(ZelEventHandler, callback) == 16, "ZelEventHandler layout");
static_assert(offsetof(ZelEventHandler, user_data) == 24, "ZelEventHandler layout");
static_assert(offsetof(ZelEventHandler, active) == 32, "ZelEventHandler layout");
static_assert(offsetof(ZelEventLoop, handlers) == 0, "ZelEventLoop layout");
static_assert(offsetof(ZelEventLoop, slot_count) == 40 * ZEL_EVENT_LOOP_SLOTS, "ZelEventLoop layout");
static_assert(offsetof(ZelEventLoop, stopped) == 40 * ZEL_EVENT_LOOP_SLOTS + 4, "ZelEventLoop layout");
static_assert(offsetof(ZelEventLoop, poll_fd) == 40 * ZEL_EVENT_LOOP_SLOTS + 8, "ZelEventLoop layout");

__attribute__((visibility("default"))) ZelEventLoop *g_event_loop = nullptr;

namespace zel {
namespace {

// The kernel's event data carries the descriptor in its low 32 bits (so
// data.fd is the descriptor) and the slot in the high 32: dispatch checks that
// slot first and searches the table only when the registration moved.
uint64_t event_data(int32_t fd, int32_t slot) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(slot)) << 32) | static_cast<uint32_t>(fd);
}

uint32_t kernel_events(uint32_t interest) {
    return ((interest & ZEL_EVENT_READABLE) ? EPOLLIN : 0u) | ((interest & ZEL_EVENT_WRITABLE) ? EPOLLOUT : 0u);
}

uint32_t ready_mask(uint32_t events) {
    return ((events & EPOLLIN) ? ZEL_EVENT_READABLE : 0u) | ((events & EPOLLOUT) ? ZEL_EVENT_WRITABLE : 0u) |
           ((events & (EPOLLERR | EPOLLHUP)) ? ZEL_EVENT_ERROR : 0u);
}

int32_t find_active(const ZelEventLoop *loop, int64_t fd) {
    for (int32_t i = 0; i < loop->slot_count; ++i)
        if (loop->handlers[i].active && loop->handlers[i].fd == fd) return i;
    return -1;
}

}  // namespace
}  // namespace zel

ZEL_EXPORT ZelEventLoop *zel_event_loop_create(void) {
    auto *loop = static_cast<ZelEventLoop *>(calloc(1, sizeof(ZelEventLoop)));
    if (loop == nullptr) return nullptr;
    loop->poll_fd = epoll_create1(0);
    if (loop->poll_fd < 0) {
        free(loop);
        return nullptr;
    }
    return loop;
}

ZEL_EXPORT void zel_event_loop_destroy(ZelEventLoop *loop) {
    if (loop == nullptr) return;
    if (loop->poll_fd >= 0) close(loop->poll_fd);
    free(loop);
}

ZEL_EXPORT int32_t zel_event_loop_register(ZelEventLoop *loop, int64_t fd, uint32_t interest,
                                           ZelEventCallback callback, void *user_data) {
    if (loop == nullptr || callback == nullptr || loop->slot_count >= ZEL_EVENT_LOOP_SLOTS) return -1;
    int32_t slot = zel::find_active(loop, fd);
    int op = EPOLL_CTL_MOD;
    if (slot < 0) {
        op = EPOLL_CTL_ADD;
        for (int32_t i = 0; i < loop->slot_count; ++i)
            if (!loop->handlers[i].active) {
                slot = i;
                break;
            }
        if (slot < 0) slot = loop->slot_count++;
    }
    ZelEventHandler &h = loop->handlers[slot];
    h.fd = fd;
    h.interest = interest;
    h.callback = callback;
    h.user_data = user_data;
    h.active = 1;
    // Truncating a wider value would watch some other, open descriptor.
    if (fd < 0 || fd > INT_MAX) {
        errno = EBADF;
        return -1;
    }
    struct epoll_event ev = {};
    ev.events = zel::kernel_events(interest);
    ev.data.u64 = zel::event_data(static_cast<int32_t>(fd), slot);
    if (epoll_ctl(loop->poll_fd, op, static_cast<int>(fd), &ev) == 0) return 0;
    // The kernel drops a descriptor from the set when it is closed, so a slot
    // left active by a close without unregistration would refuse the next
    // descriptor given that number for good: it is added afresh instead.
    if (op == EPOLL_CTL_MOD && errno == ENOENT && epoll_ctl(loop->poll_fd, EPOLL_CTL_ADD, static_cast<int>(fd), &ev) == 0)
        return 0;
    return -1;
}

ZEL_EXPORT int32_t zel_event_loop_unregister(ZelEventLoop *loop, int64_t fd) {
    if (loop == nullptr) return -1;
    int32_t slot = zel::find_active(loop, fd);
    if (slot < 0) return -1;
    loop->handlers[slot].active = 0;
    if (fd >= 0 && fd <= INT_MAX) {
        struct epoll_event ev = {};  // ignored by the kernel, but older ones want it non-null
        epoll_ctl(loop->poll_fd, EPOLL_CTL_DEL, static_cast<int>(fd), &ev);
    }
    return 0;
}

ZEL_EXPORT int32_t zel_event_loop_run_once(ZelEventLoop *loop, int32_t timeout_ms) {
    if (loop == nullptr || loop->stopped) return 0;
    struct epoll_event events[ZEL_EVENT_LOOP_BATCH];
    int n = epoll_wait(loop->poll_fd, events, ZEL_EVENT_LOOP_BATCH, timeout_ms);
    if (n < 0) return -1;
    int32_t called = 0;
    for (int i = 0; i < n; ++i) {
        const int64_t fd = static_cast<int32_t>(events[i].data.u64 & 0xffffffffu);
        const int32_t hint = static_cast<int32_t>(events[i].data.u64 >> 32);
        // Callbacks may have changed the table since the wait: the slot count
        // and the slot are read afresh for every event.
        int32_t slot = hint;
        if (slot >= loop->slot_count || !loop->handlers[slot].active || loop->handlers[slot].fd != fd)
            slot = zel::find_active(loop, fd);
        if (slot < 0) continue;
        const ZelEventHandler &h = loop->handlers[slot];
        h.callback(h.user_data, fd, zel::ready_mask(events[i].events));
        ++called;
    }
    return called;
}

ZEL_EXPORT void zel_event_loop_stop(ZelEventLoop *loop) {
    if (loop != nullptr) loop->stopped = 1;
}

ZEL_EXPORT int32_t zel_event_loop_is_stopped(const ZelEventLoop *loop) {
    return loop == nullptr || loop->stopped ? 1 : 0;
}

// Creation is published with a compare-and-swap, so two first uses on
// different threads still leave one default loop and leak none.
ZEL_EXPORT ZelEventLoop *zel_get_event_loop(void) {
    ZelEventLoop *loop = __atomic_load_n(&g_event_loop, __ATOMIC_ACQUIRE);
    if (loop != nullptr) return loop;
    loop = zel_event_loop_create();
    if (loop == nullptr) return nullptr;
    ZelEventLoop *expected = nullptr;
    if (!__atomic_compare_exchange_n(&g_event_loop, &expected, loop, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        zel_event_loop_destroy(loop);
        return expected;
    }
    return loop;
}
