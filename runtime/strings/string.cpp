// The string record's core operations: construction, concatenation, access,
// comparison, hashing, slicing and release.
#include <stddef.h>
#include <stdlib.h>

#include "../core/internal.h"

// Compiled code and hosts address the three words directly.
static_assert(sizeof(ZelString) == 24, "ZelString is three 64-bit words");
static_assert(offsetof(ZelString, data) == 0, "ZelString.data at 0");
static_assert(offsetof(ZelString, len) == 8, "ZelString.len at 8");
static_assert(offsetof(ZelString, cap) == 16, "ZelString.cap at 16");

namespace zel {
namespace {

inline ZelString *join(const ZelString *const *parts, int count) { return join_strings(parts, count, nullptr); }

constexpr uint64_t kFnvBasis = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;

}  // namespace
}  // namespace zel

// ---- construction ----

ZEL_EXPORT ZelString *zel_string_new(const char *src, int64_t n) { return zel::make_string(src, n); }

ZEL_EXPORT ZelString *zel_string_from_cstr(const char *cstr) {
    if (cstr == nullptr) return zel::fresh_empty();
    return zel::make_string(cstr, static_cast<int64_t>(strlen(cstr)));
}

// The block always holds two bytes; a zero byte leaves the string empty.
ZEL_EXPORT ZelString *zel_chr(int64_t c) {
    ZelString *r = zel::make_string_uninit(1);
    r->data[0] = static_cast<char>(static_cast<uint8_t>(c));
    if (r->data[0] == '\0') r->len = r->cap = 0;
    return r;
}
ZEL_EXPORT ZelString *chr(int64_t c) ZEL_ALIAS_OF(zel_chr);
ZEL_EXPORT ZelString *char_to_string(int64_t c) ZEL_ALIAS_OF(zel_chr);

ZEL_EXPORT ZelString *zel_string_repeat(const ZelString *s, int64_t count) {
    int64_t n = zel::readable(s);
    if (count <= 0 || n == 0) return zel::fresh_empty();
    int64_t total;
    // No block of that size can exist; wrapping would under-allocate.
    if (__builtin_mul_overflow(n, count, &total) || total == INT64_MAX) zel::out_of_memory();
    ZelString *r = zel::make_string_uninit(total);
    char *d = r->data;
    if (n == 1) {
        memset(d, static_cast<uint8_t>(s->data[0]), static_cast<size_t>(total));
    } else {
        memcpy(d, s->data, static_cast<size_t>(n));
        // Each pass copies everything written so far, so the work stays linear.
        for (int64_t filled = n; filled < total;) {
            int64_t chunk = filled < total - filled ? filled : total - filled;
            memcpy(d + filled, d, static_cast<size_t>(chunk));
            filled += chunk;
        }
    }
    // The length is that of the NUL-terminated text: the first NUL of the
    // result is the first NUL of the operand, if it has one.
    const void *nul = memchr(s->data, 0, static_cast<size_t>(n));
    if (nul != nullptr) r->len = r->cap = static_cast<const char *>(nul) - s->data;
    return r;
}

// ---- concatenation ----

ZEL_EXPORT ZelString *zel_string_concat(const ZelString *a, const ZelString *b) {
    if (a == nullptr || a->data == nullptr || b == nullptr || b->data == nullptr) return zel::fresh_empty();
    const ZelString *parts[2] = {a, b};
    return zel::join(parts, 2);
}

ZEL_EXPORT ZelString *zel_string_concat3(const ZelString *a, const ZelString *b, const ZelString *c) {
    const ZelString *parts[3] = {a, b, c};
    return zel::join(parts, 3);
}

ZEL_EXPORT ZelString *zel_string_concat5(const ZelString *a, const ZelString *b, const ZelString *c,
                                         const ZelString *d, const ZelString *e) {
    const ZelString *parts[5] = {a, b, c, d, e};
    return zel::join(parts, 5);
}

ZEL_EXPORT ZelString *zel_string_concat7(const ZelString *a, const ZelString *b, const ZelString *c,
                                         const ZelString *d, const ZelString *e, const ZelString *f,
                                         const ZelString *g) {
    const ZelString *parts[7] = {a, b, c, d, e, f, g};
    return zel::join(parts, 7);
}

// ---- length and access ----

ZEL_EXPORT int64_t zel_string_len(const ZelString *s) { return s ? s->len : 0; }
ZEL_EXPORT int64_t len(const ZelString *s) ZEL_ALIAS_OF(zel_string_len);
ZEL_EXPORT int64_t zel_ffi_string_len(const ZelString *s) ZEL_ALIAS_OF(zel_string_len);

ZEL_EXPORT int64_t zel_string_is_empty(const ZelString *s) { return (s == nullptr || s->len == 0) ? 1 : 0; }

ZEL_EXPORT char *zel_string_as_cstr(const ZelString *s) { return s ? s->data : nullptr; }
ZEL_EXPORT char *str_data(const ZelString *s) ZEL_ALIAS_OF(zel_string_as_cstr);

ZEL_EXPORT int64_t zel_str_len(const char *p) { return static_cast<int64_t>(strlen(p)); }

ZEL_EXPORT int64_t zel_string_char_at(const ZelString *s, int64_t i) {
    if (s == nullptr || s->data == nullptr || i < 0 || i >= s->len) return 0;
    return static_cast<uint8_t>(s->data[i]);
}
ZEL_EXPORT int64_t char_at(const ZelString *s, int64_t i) ZEL_ALIAS_OF(zel_string_char_at);
ZEL_EXPORT int64_t zel_str_byte_at(const ZelString *s, int64_t i) ZEL_ALIAS_OF(zel_string_char_at);
ZEL_EXPORT int64_t byte_at(const ZelString *s, int64_t i) ZEL_ALIAS_OF(zel_string_char_at);

ZEL_EXPORT ZelString *zel_str_char_at_str(const ZelString *s, int64_t i) { return zel_chr(zel_string_char_at(s, i)); }

ZEL_EXPORT int64_t zel_ord(const char *p) { return p ? static_cast<uint8_t>(*p) : 0; }

ZEL_EXPORT int64_t ord(const ZelString *s) {
    if (s == nullptr || s->data == nullptr || s->len <= 0) return 0;
    return static_cast<uint8_t>(s->data[0]);
}

// ---- comparison and hashing ----

ZEL_EXPORT int64_t zel_string_eq(const ZelString *a, const ZelString *b) {
    if (a == b) return 1;
    if (a == nullptr || b == nullptr || a->len != b->len) return 0;
    if (a->len <= 0 || a->data == b->data) return 1;
    if (a->data == nullptr || b->data == nullptr) return 0;
    return memcmp(a->data, b->data, static_cast<size_t>(a->len)) == 0 ? 1 : 0;
}

ZEL_EXPORT int64_t zel_string_cmp(const ZelString *a, const ZelString *b) {
    if (a == b) return 0;
    bool a_null = a == nullptr || a->data == nullptr;
    bool b_null = b == nullptr || b->data == nullptr;
    if (a_null) return b_null ? 0 : -1;
    if (b_null) return 1;
    int64_t common = a->len < b->len ? a->len : b->len;
    if (common > 0) {
        int r = memcmp(a->data, b->data, static_cast<size_t>(common));
        if (r != 0) return r < 0 ? -1 : 1;
    }
    if (a->len != b->len) return a->len < b->len ? -1 : 1;
    return 0;
}

ZEL_EXPORT uint64_t zel_string_hash(const ZelString *s) {
    if (s == nullptr || s->data == nullptr) return 0;
    uint64_t h = zel::kFnvBasis;
    const auto *p = reinterpret_cast<const uint8_t *>(s->data);
    int64_t n = s->len;
    // One load feeds four steps; the bytes still enter in order, so the value
    // is the byte-at-a-time one.
    for (; n >= 4; n -= 4, p += 4) {
        uint32_t w;
        memcpy(&w, p, 4);
        h = (h ^ (w & 0xffu)) * zel::kFnvPrime;
        h = (h ^ ((w >> 8) & 0xffu)) * zel::kFnvPrime;
        h = (h ^ ((w >> 16) & 0xffu)) * zel::kFnvPrime;
        h = (h ^ (w >> 24)) * zel::kFnvPrime;
    }
    for (; n > 0; --n, ++p) h = (h ^ *p) * zel::kFnvPrime;
    return h;
}

// ---- slicing ----

ZEL_EXPORT ZelString *zel_string_slice(const ZelString *s, int64_t start, int64_t end) {
    if (s == nullptr || end < start || start < 0 || s->data == nullptr || start > s->len) return zel::fresh_empty();
    int64_t stop = end < s->len ? end : s->len;
    return zel::make_string(s->data + start, stop - start);
}
ZEL_EXPORT ZelString *slice(const ZelString *s, int64_t start, int64_t end) ZEL_ALIAS_OF(zel_string_slice);

// ---- release ----

ZEL_EXPORT int64_t zel_string_free(ZelString *s) {
    // Arena strings are reclaimed only in bulk.
    if (s == nullptr || zel::arena_enabled()) return 0;
    if (s->data != nullptr) free(s->data);
    free(s);
    return 0;
}
ZEL_EXPORT int64_t free_string(ZelString *s) ZEL_ALIAS_OF(zel_string_free);
