// Byte-string search kernels behind search, count, replace and split. Each
// has a vector build per instruction set; the table is chosen once.
#pragma once

#include <stdint.h>

namespace zel::text {

struct Kernels {
    // First occurrence of nd[0, m) in h[0, n) at a position >= from, or -1.
    // Needs m >= 1 and 0 <= from <= n.
    int64_t (*find_first)(const uint8_t *h, int64_t n, const uint8_t *nd, int64_t m, int64_t from);
    // Last occurrence, at a position <= n - m, or -1. Needs 1 <= m <= n.
    int64_t (*find_last)(const uint8_t *h, int64_t n, const uint8_t *nd, int64_t m);
    // Non-overlapping occurrences, left to right, resuming the scan at *from:
    // stores up to cap positions in out and moves *from past what it scanned.
    // Returns how many it stored; fewer than cap only when none remain. With
    // zero non-null, *zero becomes non-zero when a scanned byte may be 0.
    int64_t (*find_batch)(const uint8_t *h, int64_t n, const uint8_t *nd, int64_t m, int64_t *from,
                          int64_t *out, int64_t cap, uint64_t *zero);
    // Number of non-overlapping occurrences; `zero` as for find_batch.
    int64_t (*count)(const uint8_t *h, int64_t n, const uint8_t *nd, int64_t m, uint64_t *zero);
    // h[0, n) with every non-overlapping occurrence of nd[0, m) replaced by
    // to[0, t), written to w up to w_end, exactly the result's length.
    void (*replace)(const uint8_t *h, int64_t n, const uint8_t *nd, int64_t m, const uint8_t *to, int64_t t,
                    char *w, char *w_end);
};

// The kernels of the instruction set the process runs with.
const Kernels &kernels();
// Every build, for tests and fuzzing that compare them: 0 baseline (SSE2), 1 AVX2.
const Kernels &kernels_for(int which);

}  // namespace zel::text
