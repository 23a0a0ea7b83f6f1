// Allocation failure on demand, and allocation counting, for the test programs
// that link fail_alloc.cpp: their own malloc, calloc, realloc, strdup and free
// pass every request to the allocator underneath (the sanitizer's when there is
// one) and watch what one thread does between two marks.
//
// What is counted: calls to malloc, calloc and realloc (strdup counts as one
// malloc) made by the thread that opened the watch, from its construction to
// pause() or its end. Allocations by other threads (workers, sanitizer and
// resolver internals running elsewhere) and by this thread outside the window
// are neither counted nor failed. A failed call returns NULL with errno ENOMEM
// (realloc leaves the old block alone). Every block that a counted call
// returns is tracked until it is freed, by any thread and also after pause():
// live() is the number still held. A realloc moves a tracked block and leaves
// a block from before the window untracked, so growing a caller's record is no
// leak. One watch at a time.
#pragma once

#include <stdint.h>

namespace zt {

// The calls a watch counts and may fail; tracking covers all three.
enum AllocKind : unsigned { kMalloc = 1, kCalloc = 2, kRealloc = 4, kAnyAlloc = 7 };

class AllocWatch {
public:
    // Counts from now on; the calls numbered fail_at to fail_at + count - 1
    // (from 0, among `kinds`) fail. A negative fail_at fails nothing.
    explicit AllocWatch(int64_t fail_at = -1, int64_t count = 1, unsigned kinds = kAnyAlloc);
    ~AllocWatch();
    AllocWatch(const AllocWatch &) = delete;
    AllocWatch &operator=(const AllocWatch &) = delete;

    void pause();            // ends counting and failing; frees are still tracked
    int64_t calls() const;   // calls of `kinds` counted so far
    int64_t failed() const;  // how many of them were made to fail
    int64_t live() const;    // blocks from counted calls not yet freed (INT64_MAX when too many to track)
};

// While alive: the next `skip` allocations of this thread succeed, the `count`
// after them fail.
class FailAllocations : public AllocWatch {
public:
    explicit FailAllocations(int64_t skip = 0, int64_t count = INT64_MAX) : AllocWatch(skip, count) {}
};

}  // namespace zt
