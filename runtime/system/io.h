// Descriptor reading shared by the file and process services.
#pragma once

#include <errno.h>
#include <fcntl.h>
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

// open() that resumes after an interrupting signal handler: opening a FIFO
// waits for its other end, and giving up there would read a written file as
// empty or fail a write that was about to succeed.
inline int open_retry(const char *path, int flags, mode_t mode = 0) {
    for (;;) {
        int fd = open(path, flags, mode);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

// The NUL-terminated text of a record with data, never read past len.
inline size_t text_len(const ZelString *s) {
    return s->len > 0 ? strnlen(s->data, static_cast<size_t>(s->len)) : 0;
}

constexpr uint64_t kFirstBuffer = 4096;

// Input of unknown length, collected in one heap buffer.
struct Collected {
    char *data;      // malloc'd, NUL-terminated at len
    uint64_t len;    // bytes read
    uint64_t size;   // bytes held by data: the smallest kFirstBuffer * 2^k above len
    bool truncated;  // the buffer could not grow: input after len was dropped
};

// Reads fd to its end (or to its first error) in block reads. The result is
// what a byte-at-a-time reader would hold that starts with kFirstBuffer bytes
// and doubles whenever the next byte would leave no room for the NUL: a buffer
// of the smallest kFirstBuffer * 2^k above the byte count. False when the
// first buffer cannot be allocated.
//
// Growing a large buffer by realloc costs a page fault per 4 KiB page, and
// moving huge pages to a new address splits them, so from a few MiB on the
// input goes into one generous huge-page reservation (untouched pages cost
// nothing) that is cut back to the final size in place. Where the reservation
// is refused, plain doubling takes over.
inline bool collect(int fd, Collected &c) {
    constexpr uint64_t kReserveFrom = uint64_t{4} << 20;
    constexpr uint64_t kReservation = uint64_t{256} << 20;
    uint64_t held = kFirstBuffer;
    c.data = static_cast<char *>(malloc(held));
    if (c.data == nullptr) return false;
    c.len = 0;
    c.truncated = false;
    // No larger than the first buffer, so one doubling always makes room for it.
    char probe[kFirstBuffer];
    for (;;) {
        uint64_t room = held - 1 - c.len;
        if (room > 0) {
            ssize_t r = read_retry(fd, c.data + c.len, room);
            if (r <= 0) break;
            c.len += static_cast<uint64_t>(r);
            continue;
        }
        // Full: only more input justifies a larger buffer.
        ssize_t r = read_retry(fd, probe, sizeof probe);
        if (r <= 0) break;
        char *grown = nullptr;
        uint64_t want = held * 2;
        if (want >= kReserveFrom && held <= (UINT64_MAX >> 4)) {
            uint64_t reserve = want * 4 > kReservation ? want * 4 : kReservation;
            grown = static_cast<char *>(malloc(reserve));
            if (grown != nullptr) {
                prefer_huge_pages(grown, reserve);
                memcpy(grown, c.data, c.len);
                free(c.data);
                want = reserve;
            }
        }
        if (grown == nullptr && held <= (UINT64_MAX >> 1)) grown = static_cast<char *>(realloc(c.data, want));
        if (grown == nullptr) {
            c.truncated = true;  // the probe's bytes are dropped, as growth failed before them
            break;
        }
        c.data = grown;
        held = want;
        memcpy(c.data + c.len, probe, static_cast<size_t>(r));
        c.len += static_cast<uint64_t>(r);
    }
    c.size = kFirstBuffer;
    while (c.size <= c.len) c.size *= 2;
    // Shrinking a large block happens in place; should it fail, the caller
    // still owns a block at least c.size long.
    if (held > c.size) {
        char *fitted = static_cast<char *>(realloc(c.data, c.size));
        if (fitted != nullptr) c.data = fitted;
    }
    c.data[c.len] = '\0';
    return true;
}

}  // namespace zel
