// Descriptor reading shared by the file and process services.
#pragma once

#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

#include "../core/internal.h"

namespace zel {

// read() that resumes after an interrupting signal handler.
inline ssize_t read_retry(int fd, void *buf, size_t n) {
    for (;;) {
        ssize_t r = read(fd, buf, n);
        if (r >= 0 || errno != EINTR) return r;
    }
}

// The NUL-terminated text of a record with data, never read past len.
inline size_t text_len(const ZelString *s) {
    return s->len > 0 ? strnlen(s->data, static_cast<size_t>(s->len)) : 0;
}

// Input of unknown length, collected in one heap buffer.
struct Collected {
    char *data;      // malloc'd, NUL-terminated at len
    uint64_t len;    // bytes read
    uint64_t size;   // bytes held by data
    bool truncated;  // the buffer could not grow: input after len was dropped
};

// Reads fd to its end (or to its first error). The buffer starts at `initial`
// bytes and doubles only when a byte arrives that would leave no room for the
// NUL, so it ends as the smallest initial * 2^k above the byte count: the size
// a byte-at-a-time reader would hold, reached in block reads. A block is read
// directly into the buffer; only when the buffer is full does one small read
// go to the stack, to learn whether growing is needed at all. False when the
// first buffer cannot be allocated.
inline bool collect(int fd, uint64_t initial, Collected &c) {
    c.data = static_cast<char *>(malloc(initial));
    if (c.data == nullptr) return false;
    c.size = initial;
    c.len = 0;
    c.truncated = false;
    char probe[4096];
    for (;;) {
        uint64_t room = c.size - 1 - c.len;
        if (room > 0) {
            ssize_t r = read_retry(fd, c.data + c.len, room);
            if (r <= 0) break;
            c.len += static_cast<uint64_t>(r);
            continue;
        }
        ssize_t r = read_retry(fd, probe, sizeof probe);
        if (r <= 0) break;
        uint64_t got = static_cast<uint64_t>(r), used = 0;
        // One doubling at a time, so a failed growth keeps every byte that
        // fitted before it, as it would had the bytes come one by one.
        while (used < got) {
            uint64_t room_now = c.size - 1 - c.len;
            uint64_t take = got - used < room_now ? got - used : room_now;
            memcpy(c.data + c.len, probe + used, take);
            c.len += take;
            used += take;
            if (used == got) break;
            char *grown = c.size > (UINT64_MAX >> 1) ? nullptr : static_cast<char *>(realloc(c.data, c.size * 2));
            if (grown == nullptr) {
                c.truncated = true;
                break;
            }
            c.data = grown;
            c.size *= 2;
        }
        if (c.truncated) break;
    }
    c.data[c.len] = '\0';
    return true;
}

}  // namespace zel
