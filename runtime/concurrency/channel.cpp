// Channels: a bounded multi-producer multi-consumer FIFO of 64-bit values, a
// fixed ring buffer under one mutex with one condition variable for each
// direction. Channels are never released; programs hold them through small
// handle records that are all equivalent.
#include <errno.h>
#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <time.h>

#include "../core/internal.h"
#include "channel.h"
#include "sync.h"

namespace {

constexpr int64_t kMaxCapacity = PTRDIFF_MAX / static_cast<int64_t>(sizeof(int64_t));

inline ZelChannel *chan(const ZelChannelHandle *h) { return h ? h->channel : nullptr; }

// Both run under the lock. Capacity 0 never reaches them: such a channel is
// always full and always empty. One wake-up per value, placed where it
// measured fastest: a receiver is woken after the sender unlocks, so it finds
// the mutex free (shorter hand-offs); senders waiting for room are woken under
// the lock, which keeps several producers on a full channel from piling onto
// the mutex (about three times the throughput with four producers).
// Every waiter rechecks under the lock, so neither placement loses a wake-up,
// and a channel is never released, so a late signal touches live memory.
inline void append(ZelChannel *c, int64_t value) {
    c->slots[c->write_index] = value;
    if (++c->write_index == c->capacity) c->write_index = 0;
    ++c->count;
}

inline int64_t take(ZelChannel *c) {
    int64_t value = c->slots[c->read_index];
    if (++c->read_index == c->capacity) c->read_index = 0;
    --c->count;
    pthread_cond_signal(&c->not_full);
    return value;
}

// The condition variables run on the monotonic clock, so the deadline is
// formed on it too and a change of the system time cannot move it.
inline timespec deadline_after(int64_t timeout_ms) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += static_cast<time_t>(timeout_ms / 1000);
    t.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_nsec -= 1000000000L;
        ++t.tv_sec;
    }
    return t;
}

// Waits on `cv` until `ready` holds, the channel closes or the deadline
// passes; a negative timeout waits without limit. Entered and left locked.
template <class Ready>
inline void wait_until(ZelChannel *c, pthread_cond_t *cv, int64_t timeout_ms, Ready ready) {
    if (ready() || c->closed || timeout_ms == 0) return;
    if (timeout_ms < 0) {
        do pthread_cond_wait(cv, &c->lock);
        while (!ready() && !c->closed);
        return;
    }
    timespec deadline = deadline_after(timeout_ms);
    // Any non-zero answer (the timeout, or an error that would repeat) ends the wait.
    while (!ready() && !c->closed)
        if (pthread_cond_timedwait(cv, &c->lock, &deadline) != 0) break;
}

// Blocking and timed receives share this: 1 with a value, 0 when none came.
inline int64_t recv_for(ZelChannelHandle *h, int64_t timeout_ms, int64_t *out) {
    ZelChannel *c = chan(h);
    if (c == nullptr) return 0;
    pthread_mutex_lock(&c->lock);
    wait_until(c, &c->not_empty, timeout_ms, [c] { return c->count != 0; });
    // Values buffered before close still come out first, even after a timeout.
    int64_t got = 0;
    if (c->count > 0) {
        int64_t value = take(c);
        if (out) *out = value;
        got = 1;
    }
    pthread_mutex_unlock(&c->lock);
    return got;
}

inline int64_t send_for(ZelChannelHandle *h, int64_t value, int64_t timeout_ms) {
    ZelChannel *c = chan(h);
    if (c == nullptr) return 0;
    pthread_mutex_lock(&c->lock);
    wait_until(c, &c->not_full, timeout_ms, [c] { return c->count < c->capacity; });
    int64_t sent = 0;
    if (!c->closed && c->count < c->capacity) {
        append(c, value);
        sent = 1;
    }
    pthread_mutex_unlock(&c->lock);
    if (sent) pthread_cond_signal(&c->not_empty);
    return sent;
}

ZelChannelHandle *new_handle(ZelChannel *c) {
    auto *h = static_cast<ZelChannelHandle *>(malloc(sizeof(ZelChannelHandle)));
    if (h != nullptr) h->channel = c;
    return h;
}

}  // namespace

ZEL_EXPORT ZelChannelHandle *zel_channel_new(int64_t capacity, ZelChannelHandle **sender,
                                             ZelChannelHandle **receiver) {
    ZelChannel *c = nullptr;
    int64_t *slots = nullptr;
    ZelChannelHandle *tx = nullptr, *rx = nullptr;
    if (capacity >= 0 && capacity <= kMaxCapacity) {
        c = static_cast<ZelChannel *>(malloc(sizeof(ZelChannel)));
        if (capacity > 0) slots = static_cast<int64_t *>(malloc(static_cast<size_t>(capacity) * sizeof(int64_t)));
        // A sender handle nobody asked for could never be reached again.
        if (sender) tx = new_handle(c);
        rx = new_handle(c);
    }
    if (c == nullptr || (capacity > 0 && slots == nullptr) || (sender && tx == nullptr) || rx == nullptr) {
        free(c);
        free(slots);
        free(tx);
        free(rx);
        if (sender) *sender = nullptr;
        if (receiver) *receiver = nullptr;
        return nullptr;
    }
    c->slots = slots;
    c->capacity = capacity;
    c->write_index = 0;
    c->read_index = 0;
    c->count = 0;
    c->closed = 0;
    pthread_mutex_init(&c->lock, nullptr);
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&c->not_empty, &attr);
    pthread_cond_init(&c->not_full, &attr);
    pthread_condattr_destroy(&attr);
    if (sender) *sender = tx;
    if (receiver) *receiver = rx;
    return rx;
}

ZEL_EXPORT void zel_channel_send(ZelChannelHandle *h, int64_t value) { send_for(h, value, -1); }

ZEL_EXPORT int64_t zel_channel_recv(ZelChannelHandle *h) {
    int64_t value = 0;
    recv_for(h, -1, &value);
    return value;
}

ZEL_EXPORT int64_t zel_channel_recv_opt(ZelChannelHandle *h, int64_t *out) { return recv_for(h, -1, out); }

ZEL_EXPORT int64_t zel_channel_try_send(ZelChannelHandle *h, int64_t value) { return send_for(h, value, 0); }

ZEL_EXPORT int64_t zel_channel_try_recv(ZelChannelHandle *h, int64_t *out) { return recv_for(h, 0, out); }

ZEL_EXPORT int64_t zel_channel_send_timeout(ZelChannelHandle *h, int64_t value, int64_t timeout_ms) {
    return send_for(h, value, timeout_ms);
}

ZEL_EXPORT int64_t zel_channel_recv_timeout(ZelChannelHandle *h, int64_t timeout_ms, int64_t *out) {
    return recv_for(h, timeout_ms, out);
}

ZEL_EXPORT ZelChannelHandle *zel_sender_clone(ZelChannelHandle *h) {
    ZelChannel *c = chan(h);
    return c ? new_handle(c) : nullptr;
}

ZEL_EXPORT void zel_channel_close(ZelChannelHandle *h) {
    ZelChannel *c = chan(h);
    if (c == nullptr) return;
    pthread_mutex_lock(&c->lock);
    c->closed = 1;
    pthread_cond_broadcast(&c->not_empty);
    pthread_cond_broadcast(&c->not_full);
    pthread_mutex_unlock(&c->lock);
}

ZEL_EXPORT int64_t zel_channel_is_closed(ZelChannelHandle *h) {
    ZelChannel *c = chan(h);
    if (c == nullptr) return 1;
    pthread_mutex_lock(&c->lock);
    int64_t closed = c->closed;
    pthread_mutex_unlock(&c->lock);
    return closed;
}
