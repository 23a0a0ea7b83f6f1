// Pieces shared by the hash maps: the key hash and the listing vectors.
#pragma once

#include "../core/internal.h"

namespace zel::maps {

// 64-bit FNV-1a. The byte order of the hash decides table and listing order,
// so it stays one multiply per byte.
inline uint64_t fnv1a(const uint8_t *p, int64_t n) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (int64_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

// Equality of n readable bytes at a and b. Keys are mostly short: up to 16
// bytes two overlapping word loads on each side settle it without a call.
inline bool bytes_equal(const void *a, const void *b, int64_t n) {
    const auto *p = static_cast<const uint8_t *>(a), *q = static_cast<const uint8_t *>(b);
    auto load64 = [](const uint8_t *x) { uint64_t w; memcpy(&w, x, 8); return w; };
    auto load32 = [](const uint8_t *x) { uint32_t w; memcpy(&w, x, 4); return w; };
    if (n >= 8) {
        if (n > 16) return memcmp(p, q, static_cast<size_t>(n)) == 0;
        return ((load64(p) ^ load64(q)) | (load64(p + n - 8) ^ load64(q + n - 8))) == 0;
    }
    if (n >= 4) return ((load32(p) ^ load32(q)) | (load32(p + n - 4) ^ load32(q + n - 4))) == 0;
    for (int64_t i = 0; i < n; ++i)
        if (p[i] != q[i]) return false;
    return true;
}

// Listings are vectors that start at 8 slots and double as they fill; knowing
// the entry count, the final capacity is reached with one allocation.
inline ZelVec *listing(int64_t n) {
    int64_t cap = 8;
    while (cap < n) {
        if (cap > INT64_MAX / 2) out_of_memory();
        cap *= 2;
    }
    return zel_vec_with_capacity(cap);
}

// Appends to a listing made by listing(); grows (or ends the process) only if
// the map held more entries than it counted.
inline void put(ZelVec *v, int64_t x) {
    if (__builtin_expect(v->len < v->capacity, 1)) v->items[v->len++] = x;
    else zel_vec_push(v, x);
}

}  // namespace zel::maps
