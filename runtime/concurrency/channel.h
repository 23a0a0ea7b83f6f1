// The channel record and its handles, shared with the tools that check a
// channel's state against a model.
#pragma once

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

struct ZelChannel {
    int64_t *slots;
    int64_t capacity;
    int64_t write_index;
    int64_t read_index;
    int64_t count;
    int64_t closed;
    pthread_mutex_t lock;
    pthread_cond_t not_empty;  // senders signal, receivers wait
    pthread_cond_t not_full;   // receivers signal, senders wait
};
static_assert(offsetof(ZelChannel, capacity) == 8 && offsetof(ZelChannel, write_index) == 16 &&
                  offsetof(ZelChannel, read_index) == 24 && offsetof(ZelChannel, count) == 32 &&
                  offsetof(ZelChannel, closed) == 40 && offsetof(ZelChannel, lock) == 48 &&
                  offsetof(ZelChannel, not_empty) == 88 && offsetof(ZelChannel, not_full) == 136 &&
                  sizeof(ZelChannel) == 184,
              "ZelChannel layout");

struct ZelChannelHandle {
    ZelChannel *channel;
};
static_assert(sizeof(ZelChannelHandle) == 8, "a handle is one pointer");
