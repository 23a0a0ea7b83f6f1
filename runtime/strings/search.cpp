// String search and transformation: prefix, suffix and substring search,
// counting, trimming, extraction, replacement, case mapping, reversal, padding,
// splitting into and joining from a vector of strings.
//
// Operations with nothing to change hand back their argument; callers that
// release strings one by one must not release both. Results of replace, the
// case mappings, reverse, the pads and join are measured up to their first NUL
// byte, the others keep their byte count.
#include <emmintrin.h>
#include <stdlib.h>

#include "../core/internal.h"
#include "find.h"

namespace zel {
namespace {

inline bool is_space(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The length of a result up to its first NUL, where one may be present.
inline ZelString *measured(ZelString *r, bool maybe_nul) {
    if (maybe_nul) {
        const void *nul = memchr(r->data, 0, static_cast<size_t>(r->len));
        if (nul != nullptr) r->len = r->cap = static_cast<const char *>(nul) - r->data;
    }
    return r;
}

inline bool has_nul(const uint8_t *p, int64_t n) { return n > 0 && memchr(p, 0, static_cast<size_t>(n)) != nullptr; }

int64_t find_in(const ZelString *s, const ZelString *sub) {
    int64_t n = readable(s), m = readable(sub);
    if (m > n) return -1;
    if (m == 0) return 0;
    return text::kernels().find_first(ubytes(s), n, ubytes(sub), m, 0);
}

// Case mapping of p[0, n) into w: bytes lo..lo+25 move by 32 (a flip of bit
// 5). Returns whether a NUL byte was met.
bool map_case(char *w, const uint8_t *p, int64_t n, uint8_t lo) {
    // Shifted so that the letters are the 26 smallest signed values.
    const __m128i shift = _mm_set1_epi8(static_cast<char>(128 - lo)), limit = _mm_set1_epi8(-128 + 26),
                  flip = _mm_set1_epi8(0x20), zero = _mm_setzero_si128();
    __m128i nuls = zero;
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        __m128i letter = _mm_cmpgt_epi8(limit, _mm_add_epi8(x, shift));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(w + i), _mm_xor_si128(x, _mm_and_si128(letter, flip)));
        nuls = _mm_or_si128(nuls, _mm_cmpeq_epi8(x, zero));
    }
    bool nul = _mm_movemask_epi8(nuls) != 0;
    for (; i < n; ++i) {
        uint8_t c = p[i];
        w[i] = static_cast<char>(static_cast<uint8_t>(c - lo) < 26 ? c ^ 0x20 : c);
        nul |= c == 0;
    }
    return nul;
}

ZelString *case_mapped(ZelString *s, uint8_t lo) {
    if (s == nullptr) return nullptr;
    int64_t n = readable(s);
    if (n == 0) return s;
    ZelString *r = make_string_uninit(n);
    return measured(r, map_case(r->data, ubytes(s), n, lo));
}

ZelString *padded(ZelString *s, int64_t width, int64_t fill, bool left) {
    if (s == nullptr) return nullptr;
    int64_t n = readable(s);
    if (s->len >= width) return s;
    if (width == INT64_MAX) out_of_memory();
    ZelString *r = make_string_uninit(width);
    int64_t pad = width - n;
    char *w = r->data;
    if (left) {
        memset(w, static_cast<uint8_t>(fill), static_cast<size_t>(pad));
        if (n > 0) memcpy(w + pad, s->data, static_cast<size_t>(n));
    } else {
        if (n > 0) memcpy(w, s->data, static_cast<size_t>(n));
        memset(w + n, static_cast<uint8_t>(fill), static_cast<size_t>(pad));
    }
    return measured(r, static_cast<uint8_t>(fill) == 0 || has_nul(ubytes(s), n));
}

inline int64_t fill_of(const ZelString *pad) { return readable(pad) > 0 ? static_cast<uint8_t>(pad->data[0]) : ' '; }

}  // namespace
}  // namespace zel

using zel::readable;
using zel::ubytes;

// ---- search ----

ZEL_EXPORT int64_t zel_string_starts_with(const ZelString *s, const ZelString *prefix) {
    if (s == nullptr || prefix == nullptr) return 0;
    int64_t n = readable(s), m = readable(prefix);
    if (m > n) return 0;
    return m == 0 || memcmp(s->data, prefix->data, static_cast<size_t>(m)) == 0 ? 1 : 0;
}

ZEL_EXPORT int64_t zel_string_ends_with(const ZelString *s, const ZelString *suffix) {
    if (s == nullptr || suffix == nullptr) return 0;
    int64_t n = readable(s), m = readable(suffix);
    if (m > n) return 0;
    return m == 0 || memcmp(s->data + n - m, suffix->data, static_cast<size_t>(m)) == 0 ? 1 : 0;
}

ZEL_EXPORT int64_t zel_string_contains(const ZelString *s, const ZelString *sub) {
    if (s == nullptr || sub == nullptr) return 0;
    return zel::find_in(s, sub) >= 0 ? 1 : 0;
}

ZEL_EXPORT int64_t zel_string_index_of(const ZelString *s, const ZelString *sub) {
    if (s == nullptr || sub == nullptr) return -1;
    return zel::find_in(s, sub);
}

ZEL_EXPORT int64_t zel_string_last_index_of(const ZelString *s, const ZelString *sub) {
    if (s == nullptr || sub == nullptr) return -1;
    int64_t n = readable(s), m = readable(sub);
    if (m == 0) return n;
    if (m > n) return -1;
    return zel::text::kernels().find_last(ubytes(s), n, ubytes(sub), m);
}

ZEL_EXPORT int64_t zel_string_count(const ZelString *s, const ZelString *sub) {
    if (s == nullptr || sub == nullptr) return 0;
    int64_t n = readable(s), m = readable(sub);
    if (m == 0 || m > n) return 0;
    return zel::text::kernels().count(ubytes(s), n, ubytes(sub), m, nullptr);
}

// ---- extraction and trimming ----

ZEL_EXPORT ZelString *zel_string_substr(const ZelString *s, int64_t start, int64_t count) {
    if (s == nullptr || s->data == nullptr || start < 0 || count < 0 || start > s->len) return zel::fresh_empty();
    int64_t take = count < s->len - start ? count : s->len - start;
    return zel::make_string(s->data + start, take);
}

ZEL_EXPORT ZelString *zel_string_trim(ZelString *s) {
    if (s == nullptr) return nullptr;
    int64_t n = readable(s);
    if (n == 0) return s;
    const uint8_t *p = ubytes(s);
    int64_t start = 0, end = n;
    while (start < n && zel::is_space(p[start])) ++start;
    while (end > start && zel::is_space(p[end - 1])) --end;
    return zel::make_string(s->data + start, end - start);
}

ZEL_EXPORT ZelString *zel_string_trim_left(ZelString *s) {
    if (s == nullptr) return nullptr;
    int64_t n = readable(s);
    const uint8_t *p = ubytes(s);
    if (n == 0 || !zel::is_space(p[0])) return s;
    int64_t start = 1;
    while (start < n && zel::is_space(p[start])) ++start;
    return zel::make_string(s->data + start, n - start);
}

ZEL_EXPORT ZelString *zel_string_trim_right(ZelString *s) {
    if (s == nullptr) return nullptr;
    int64_t n = readable(s);
    const uint8_t *p = ubytes(s);
    if (n == 0 || !zel::is_space(p[n - 1])) return s;
    int64_t end = n - 1;
    while (end > 0 && zel::is_space(p[end - 1])) --end;
    return zel::make_string(s->data, end);
}

// ---- transformation ----

// Two passes over s, the first counting and the second writing, so that the
// result is allocated once at its exact size.
ZEL_EXPORT ZelString *zel_string_replace(ZelString *s, const ZelString *from, const ZelString *to) {
    if (s == nullptr || from == nullptr || to == nullptr) return s;
    int64_t n = readable(s), m = readable(from), t = readable(to);
    if (m == 0 || n < m) return s;
    const zel::text::Kernels &k = zel::text::kernels();
    uint64_t zero = 0;
    int64_t count = k.count(ubytes(s), n, ubytes(from), m, &zero);
    if (count == 0) return s;
    int64_t growth, total;
    if (__builtin_mul_overflow(t - m, count, &growth) || __builtin_add_overflow(n, growth, &total) ||
        total == INT64_MAX)
        zel::out_of_memory();
    ZelString *r = zel::make_string_uninit(total);
    k.replace(ubytes(s), n, ubytes(from), m, ubytes(to), t, r->data, r->data + total);
    return zel::measured(r, zero != 0 || zel::has_nul(ubytes(to), t));
}

ZEL_EXPORT ZelString *zel_string_to_upper(ZelString *s) { return zel::case_mapped(s, 'a'); }
ZEL_EXPORT ZelString *zel_string_to_lower(ZelString *s) { return zel::case_mapped(s, 'A'); }

ZEL_EXPORT ZelString *zel_string_reverse(ZelString *s) {
    if (s == nullptr) return nullptr;
    int64_t n = readable(s);
    if (n == 0) return s;
    ZelString *r = zel::make_string_uninit(n);
    const char *p = s->data;
    char *w = r->data;
    int64_t i = 0;
    // Eight bytes at a time from the front land byte-swapped at the back.
    for (; i + 8 <= n; i += 8) {
        uint64_t v;
        memcpy(&v, p + i, 8);
        v = __builtin_bswap64(v);
        memcpy(w + n - 8 - i, &v, 8);
    }
    for (; i < n; ++i) w[n - 1 - i] = p[i];
    return zel::measured(r, zel::has_nul(ubytes(s), n));
}

ZEL_EXPORT ZelString *zel_string_pad_left(ZelString *s, int64_t width, int64_t fill) {
    return zel::padded(s, width, fill, true);
}
ZEL_EXPORT ZelString *zel_string_pad_right(ZelString *s, int64_t width, int64_t fill) {
    return zel::padded(s, width, fill, false);
}
ZEL_EXPORT ZelString *zel_str_pad_left(ZelString *s, int64_t width, const ZelString *pad) {
    return zel::padded(s, width, zel::fill_of(pad), true);
}
ZEL_EXPORT ZelString *zel_str_pad_right(ZelString *s, int64_t width, const ZelString *pad) {
    return zel::padded(s, width, zel::fill_of(pad), false);
}

// ---- splitting and joining ----

ZEL_EXPORT ZelVec *zel_string_split(ZelString *s, const ZelString *sep) {
    ZelVec *v = zel::vec_make(8);
    if (s == nullptr || s->data == nullptr) return v;
    int64_t m = readable(sep);
    if (m == 0) {
        zel::vec_append(v, reinterpret_cast<int64_t>(s));
        return v;
    }
    int64_t n = readable(s), done = 0;
    if (n >= m) {
        const zel::text::Kernels &k = zel::text::kernels();
        int64_t cuts[256], from = 0, got;
        do {
            got = k.find_batch(ubytes(s), n, ubytes(sep), m, &from, cuts, 256, nullptr);
            zel::vec_reserve(v, v->len + got);
            auto *slots = reinterpret_cast<ZelString **>(v->items + v->len);
            int64_t made = zel::arena_pieces(s->data, n, cuts, got, m, &done, slots);
            for (int64_t i = made; i < got; ++i) {
                slots[i] = zel::make_piece(s->data + done, cuts[i] - done, n - done);
                done = cuts[i] + m;
            }
            v->len += got;
        } while (got == 256);
    }
    zel::vec_append(v, reinterpret_cast<int64_t>(zel::make_string(s->data + done, n - done)));
    return v;
}

// Vector elements are string pointers stored as 64-bit values.
ZEL_EXPORT ZelString *zel_string_join(const ZelVec *v, const ZelString *sep) {
    if (v == nullptr || v->len <= 0) return zel::fresh_empty();
    auto *parts = reinterpret_cast<const ZelString *const *>(v->items);
    return zel::measured(zel::join_strings(parts, v->len, sep), true);
}
