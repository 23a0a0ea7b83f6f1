// Single-block arrays: two header words (capacity, len) and the elements, in one
// zel_alloc block. Arrays are values: every operation copies into a new block
// of exactly the elements it holds and never touches its arguments.
#include <stddef.h>

#include "../core/internal.h"

static_assert(sizeof(ZelArray) == 16, "ZelArray header is two 64-bit words");
static_assert(offsetof(ZelArray, capacity) == 0 && offsetof(ZelArray, len) == 8, "ZelArray layout");

namespace zel {
namespace {

inline int64_t *elements(const ZelArray *a) { return reinterpret_cast<int64_t *>(const_cast<ZelArray *>(a) + 1); }

// A block for n elements with both header words set; the caller fills them.
ZelArray *array_make(int64_t n) {
    // Beyond this the byte count leaves the address space: no allocator could serve it.
    if (n < 0 || n > (PTRDIFF_MAX - static_cast<int64_t>(sizeof(ZelArray))) / 8) out_of_memory();
    auto *a = static_cast<ZelArray *>(zel_alloc(sizeof(ZelArray) + static_cast<uint64_t>(n) * 8));
    a->capacity = n;
    a->len = n;
    return a;
}

// A malformed header with a negative length reads as empty rather than
// steering a copy outside the block.
inline int64_t length(const ZelArray *a) { return a->len > 0 ? a->len : 0; }

inline void copy_in(int64_t *dst, const int64_t *src, int64_t n) {
    if (n > 0) memcpy(dst, src, static_cast<size_t>(n) * sizeof(int64_t));
}

}  // namespace
}  // namespace zel

ZEL_EXPORT int64_t zel_array_len(const ZelArray *a) { return a->len; }

ZEL_EXPORT ZelArray *zel_array_push(const ZelArray *a, int64_t value) {
    int64_t n = zel::length(a);
    if (n == INT64_MAX) zel::out_of_memory();
    ZelArray *r = zel::array_make(n + 1);
    zel::copy_in(zel::elements(r), zel::elements(a), n);
    zel::elements(r)[n] = value;
    return r;
}

ZEL_EXPORT ZelArray *zel_array_pop(ZelArray *a) {
    int64_t n = zel::length(a);
    if (n == 0) return a;
    ZelArray *r = zel::array_make(n - 1);
    zel::copy_in(zel::elements(r), zel::elements(a), n - 1);
    return r;
}

ZEL_EXPORT ZelArray *zel_array_concat(const ZelArray *a, const ZelArray *b) {
    int64_t na = zel::length(a), nb = zel::length(b), n;
    if (__builtin_add_overflow(na, nb, &n)) zel::out_of_memory();
    ZelArray *r = zel::array_make(n);
    zel::copy_in(zel::elements(r), zel::elements(a), na);
    zel::copy_in(zel::elements(r) + na, zel::elements(b), nb);
    return r;
}

ZEL_EXPORT ZelArray *zel_array_slice(const ZelArray *a, int64_t start, int64_t end) {
    int64_t lo = start > 0 ? start : 0;
    int64_t len = zel::length(a);
    int64_t hi = end < len ? end : len;
    // Compared before subtracting: hi - lo could leave the 64-bit range.
    if (hi <= lo) return zel::array_make(0);
    ZelArray *r = zel::array_make(hi - lo);
    zel::copy_in(zel::elements(r), zel::elements(a) + lo, hi - lo);
    return r;
}
