// The string-vector pool: lists of strings held by integer handles into one
// process-wide array, and the splitting operations that fill them.
//
// Handles are issued densely and never reused; the pool only grows. Vectors
// store the string pointers they are given and never copy or free them. The
// pool and every items array live on the system heap, so arena resets leave
// them intact; growth that fails is answered with -1 (or, inside a split, by
// leaving that piece out), never by ending the process.
#include <stddef.h>
#include <stdlib.h>

#include "../core/internal.h"
#include "../strings/find.h"

static_assert(sizeof(ZelSvec) == 24, "ZelSvec is three 64-bit words");
static_assert(offsetof(ZelSvec, items) == 0 && offsetof(ZelSvec, len) == 8 && offsetof(ZelSvec, capacity) == 16,
              "ZelSvec layout");

extern "C" {
__attribute__((visibility("default"))) ZelSvec *g_svec_pool = nullptr;
__attribute__((visibility("default"))) int64_t g_svec_pool_len = 0;
__attribute__((visibility("default"))) int64_t g_svec_pool_cap = 0;
}

namespace zel {
namespace {

inline ZelSvec *entry(int64_t h) {
    return (h >= 0 && h < g_svec_pool_len) ? &g_svec_pool[h] : nullptr;
}

// Room for `need` elements, growing as pushes one by one would (8, then
// doubling); false, with nothing changed, when the array cannot grow.
bool reserve(ZelSvec *e, int64_t need) {
    if (need <= e->capacity) return true;
    int64_t cap = e->capacity == 0 ? 8 : e->capacity;
    while (cap < need) {
        if (cap > PTRDIFF_MAX / 16) return false;
        cap *= 2;
    }
    auto *items = static_cast<ZelString **>(realloc(e->items, static_cast<size_t>(cap) * sizeof(ZelString *)));
    if (items == nullptr) return false;
    e->items = items;
    e->capacity = cap;
    return true;
}

int64_t push(ZelSvec *e, ZelString *s) {
    if (e->len == e->capacity && !reserve(e, e->len + 1)) return -1;
    e->items[e->len++] = s;
    return 0;
}

// A piece made by a split: stored, or released again (heap mode) when the
// vector cannot grow to hold it.
inline void push_piece(int64_t h, const char *p, int64_t n, int64_t avail) {
    ZelString *s = make_piece(p, n, avail);
    if (push(&g_svec_pool[h], s) != 0) zel_string_free(s);
}

inline bool is_space(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace
}  // namespace zel

using zel::entry;

ZEL_EXPORT int64_t zel_svec_new(void) {
    if (g_svec_pool_len == g_svec_pool_cap) {
        int64_t cap = g_svec_pool_cap == 0 ? 16 : g_svec_pool_cap * 2;
        if (g_svec_pool_cap > PTRDIFF_MAX / 48) return -1;
        auto *pool = static_cast<ZelSvec *>(realloc(g_svec_pool, static_cast<size_t>(cap) * sizeof(ZelSvec)));
        if (pool == nullptr) return -1;
        g_svec_pool = pool;
        g_svec_pool_cap = cap;
    }
    g_svec_pool[g_svec_pool_len] = ZelSvec{nullptr, 0, 0};
    return g_svec_pool_len++;
}

ZEL_EXPORT int64_t zel_svec_push(int64_t h, ZelString *s) {
    ZelSvec *e = entry(h);
    return e ? zel::push(e, s) : -1;
}

ZEL_EXPORT int64_t zel_svec_len(int64_t h) {
    ZelSvec *e = entry(h);
    return e ? e->len : 0;
}

ZEL_EXPORT ZelString *zel_svec_get(int64_t h, int64_t i) {
    ZelSvec *e = entry(h);
    return (e && i >= 0 && i < e->len) ? e->items[i] : nullptr;
}

ZEL_EXPORT int64_t zel_svec_free(int64_t h) {
    if (ZelSvec *e = entry(h)) {
        free(e->items);
        *e = ZelSvec{nullptr, 0, 0};
    }
    return 0;
}

ZEL_EXPORT int64_t zel_svec_clear(int64_t h) {
    if (ZelSvec *e = entry(h)) e->len = 0;
    return 0;
}

ZEL_EXPORT int64_t zel_svec_remove(int64_t h, int64_t i) {
    ZelSvec *e = entry(h);
    if (e == nullptr || i < 0 || i >= e->len) return 0;
    memmove(e->items + i, e->items + i + 1, static_cast<size_t>(e->len - i - 1) * sizeof(ZelString *));
    --e->len;
    return 1;
}

ZEL_EXPORT int64_t zel_svec_index_of(int64_t h, const ZelString *x) {
    ZelSvec *e = entry(h);
    if (e == nullptr || x == nullptr) return -1;
    int64_t m = zel::readable(x);
    for (int64_t i = 0; i < e->len; ++i) {
        const ZelString *s = e->items[i];
        if (s == nullptr) continue;
        if (s == x) return i;
        if (s->len == x->len && zel::readable(s) == m && (m == 0 || memcmp(s->data, x->data, static_cast<size_t>(m)) == 0))
            return i;
    }
    return -1;
}

ZEL_EXPORT int64_t zel_svec_contains(int64_t h, const ZelString *x) { return zel_svec_index_of(h, x) >= 0 ? 1 : 0; }

// Nulls first, then unsigned bytes, a proper prefix before the longer string.
ZEL_EXPORT int zelstring_cmp(const void *pa, const void *pb) {
    const ZelString *a = *static_cast<const ZelString *const *>(pa);
    const ZelString *b = *static_cast<const ZelString *const *>(pb);
    if (a == nullptr || b == nullptr) return (a != nullptr) - (b != nullptr);
    int64_t na = zel::readable(a), nb = zel::readable(b);
    int64_t common = na < nb ? na : nb;
    int r = common > 0 ? memcmp(a->data, b->data, static_cast<size_t>(common)) : 0;
    if (r != 0) return r;
    return (na > nb) - (na < nb);
}
ZEL_EXPORT int cmp_zel_str_ptr(const void *pa, const void *pb) ZEL_ALIAS_OF(zelstring_cmp);

ZEL_EXPORT int64_t zel_svec_sort(int64_t h) {
    ZelSvec *e = entry(h);
    if (e != nullptr && e->len >= 2) qsort(e->items, static_cast<size_t>(e->len), sizeof(ZelString *), zelstring_cmp);
    return 0;
}

ZEL_EXPORT ZelString *zel_svec_join(int64_t h, const ZelString *sep) {
    ZelSvec *e = entry(h);
    if (e == nullptr || e->len == 0) return zel::fresh_empty();
    return zel::join_strings(e->items, e->len, sep);
}

ZEL_EXPORT int64_t zel_str_split(const ZelString *s, const ZelString *sep) {
    int64_t h = zel_svec_new();
    int64_t n = zel::readable(s);
    if (h < 0 || n == 0) return h;
    int64_t m = zel::readable(sep);
    if (m == 0) {
        for (int64_t i = 0; i < n; ++i) zel::push_piece(h, s->data + i, 1, n - i);
        return h;
    }
    int64_t done = 0;
    if (n >= m) {
        const zel::text::Kernels &k = zel::text::kernels();
        int64_t cuts[256], from = 0, got;
        do {
            got = k.find_batch(zel::ubytes(s), n, zel::ubytes(sep), m, &from, cuts, 256, nullptr);
            ZelSvec *e = &g_svec_pool[h];
            int64_t made = 0;
            if (zel::reserve(e, e->len + got)) {
                made = zel::arena_pieces(s->data, n, cuts, got, m, &done, e->items + e->len);
                e->len += made;
            }
            for (int64_t i = made; i < got; ++i) {
                zel::push_piece(h, s->data + done, cuts[i] - done, n - done);
                done = cuts[i] + m;
            }
        } while (got == 256);
    }
    // A separator at the very end leaves no empty field behind it.
    if (done < n) zel::push_piece(h, s->data + done, n - done, n - done);
    return h;
}

ZEL_EXPORT int64_t zel_str_split_whitespace(const ZelString *s) {
    int64_t h = zel_svec_new();
    int64_t n = zel::readable(s);
    if (h < 0 || n == 0) return h;
    const uint8_t *p = zel::ubytes(s);
    for (int64_t i = 0; i < n;) {
        while (i < n && zel::is_space(p[i])) ++i;
        int64_t start = i;
        while (i < n && !zel::is_space(p[i])) ++i;
        if (i > start) zel::push_piece(h, s->data + start, i - start, n - start);
    }
    return h;
}

ZEL_EXPORT int64_t zel_str_lines(const ZelString *s) {
    int64_t h = zel_svec_new();
    int64_t n = zel::readable(s);
    if (h < 0 || n == 0) return h;
    const uint8_t *p = zel::ubytes(s);
    for (int64_t start = 0; start < n;) {
        const void *lf = memchr(p + start, '\n', static_cast<size_t>(n - start));
        int64_t end = lf ? static_cast<const uint8_t *>(lf) - p : n;
        int64_t stop = (end > start && p[end - 1] == '\r') ? end - 1 : end;
        zel::push_piece(h, s->data + start, stop - start, n - start);
        start = end + 1;
    }
    return h;
}
