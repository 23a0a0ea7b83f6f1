// The string builder: a growable, NUL-terminated byte block on the system heap.
//
// Builders live on the system heap, never in the arena, so that they survive an
// arena reset and their block can be grown in place with realloc. The exact
// points at which capacity doubles are observable (callers read the field), so
// every append applies its own growth test and nothing grows ahead of need.
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include "../core/internal.h"
#include "digits.h"

static_assert(sizeof(ZelStringBuilder) == 24, "ZelStringBuilder is three 64-bit words");
static_assert(offsetof(ZelStringBuilder, data) == 0, "data first");
static_assert(offsetof(ZelStringBuilder, len) == 8, "len second");
static_assert(offsetof(ZelStringBuilder, capacity) == 16, "capacity third");
static_assert(offsetof(ZelStringBuilder, data) == offsetof(ZelString, data) &&
                  offsetof(ZelStringBuilder, len) == offsetof(ZelString, len),
              "a builder's data and len sit where a string's do");

namespace zel {
namespace {

constexpr int64_t kDefaultCapacity = 1024;
constexpr int64_t kFallbackCapacity = 64;
constexpr int64_t kMaxCapacity = INT64_MAX;

// Escape letter for each byte zel_sb_push_escaped writes as a pair, else 0.
struct EscapeTable {
    unsigned char letter[256];
};
constexpr EscapeTable make_escape_table() {
    EscapeTable t{};
    t.letter[static_cast<unsigned char>('\t')] = 't';
    t.letter[static_cast<unsigned char>('\n')] = 'n';
    t.letter[static_cast<unsigned char>('\r')] = 'r';
    t.letter[static_cast<unsigned char>('"')] = '"';
    t.letter[static_cast<unsigned char>('\\')] = '\\';
    return t;
}
constexpr EscapeTable kEscape = make_escape_table();

char *resize_block(char *data, int64_t capacity) {
    auto *p = static_cast<char *>(realloc(data, static_cast<size_t>(capacity)));
    if (p == nullptr) out_of_memory();
    return p;
}

int64_t doubled(int64_t capacity) {
    if (capacity > kMaxCapacity / 2) out_of_memory();
    return capacity < 1 ? 1 : capacity * 2;
}

ZelStringBuilder *new_builder(int64_t capacity) {
    auto *sb = static_cast<ZelStringBuilder *>(malloc(sizeof(ZelStringBuilder)));
    if (sb == nullptr) out_of_memory();
    sb->data = static_cast<char *>(malloc(static_cast<size_t>(capacity)));
    if (sb->data == nullptr) out_of_memory();
    sb->data[0] = '\0';
    sb->len = 0;
    sb->capacity = capacity;
    return sb;
}

__attribute__((noinline)) void grow_for(ZelStringBuilder *sb, int64_t n) {
    if (n > kMaxCapacity - 1 - sb->len) out_of_memory();
    int64_t need = sb->len + n;
    int64_t cap = sb->capacity;
    while (cap <= need) cap = doubled(cap);
    sb->data = resize_block(sb->data, cap);
    sb->capacity = cap;
}

// Where src lies inside the builder's own block (a string record laid over the
// builder or over part of it), growing would leave src dangling; such sources
// are followed to the new block.
inline bool inside(const ZelStringBuilder *sb, const char *src) {
    return reinterpret_cast<uintptr_t>(src) - reinterpret_cast<uintptr_t>(sb->data) <
           static_cast<uint64_t>(sb->capacity);
}

// Appends n > 0 bytes under the general rule: double until len + n < capacity.
inline int64_t append(ZelStringBuilder *sb, const char *src, int64_t n) {
    if (__builtin_expect(n >= sb->capacity - sb->len, 0)) {
        bool own = inside(sb, src);
        ptrdiff_t at = src - sb->data;
        grow_for(sb, n);
        if (own) src = sb->data + at;
    }
    memmove(sb->data + sb->len, src, static_cast<size_t>(n));
    sb->len += n;
    sb->data[sb->len] = '\0';
    return sb->len;
}

// Feeds the bytes of s to put, which applies its own room test; the block may
// move meanwhile, so a source inside it is read through the current block and
// its length is taken once.
template <class Put>
int64_t append_each(ZelStringBuilder *sb, const ZelString *s, Put put) {
    const char *src = s->data;
    const bool own = inside(sb, src);
    const ptrdiff_t at = own ? src - sb->data : 0;
    char *d = sb->data;
    int64_t len = sb->len, cap = sb->capacity;
    for (int64_t i = 0, n = s->len; i < n; ++i)
        put(d, len, cap, static_cast<unsigned char>(own ? d[at + i] : src[i]));
    d[len] = '\0';
    sb->data = d;
    sb->len = len;
    sb->capacity = cap;
    return len;
}

// Single-byte append: one doubling when the byte and its NUL do not fit.
inline void append_byte(char *&d, int64_t &len, int64_t &cap, char c) {
    if (__builtin_expect(len + 2 > cap, 0)) {
        cap = doubled(cap);
        d = resize_block(d, cap);
    }
    d[len++] = c;
}

int64_t contains_scan(const char *d, int64_t len, const char *s, int64_t m) {
    int64_t pos = 0;
    for (;;) {
        if (memcmp(d + pos, s, static_cast<size_t>(m)) == 0 && (pos + m >= len || d[pos + m] == ','))
            return 1;
        const void *comma = memchr(d + pos, ',', static_cast<size_t>(len - pos));
        int64_t next = comma ? static_cast<const char *>(comma) - d : len;
        if (next >= len - m) return 0;
        pos = next + 1;
    }
}

// Same answer as contains_scan in one pass. A long item list probed with a long
// run of items would make the scan compare most of the probe at every item.
int64_t contains_kmp(const char *d, int64_t len, const char *s, int64_t m, int64_t *border) {
    border[0] = 0;
    for (int64_t i = 1, k = 0; i < m; ++i) {
        while (k > 0 && s[i] != s[k]) k = border[k - 1];
        if (s[i] == s[k]) ++k;
        border[i] = k;
    }
    for (int64_t i = 0, q = 0; i < len; ++i) {
        while (q > 0 && d[i] != s[q]) q = border[q - 1];
        if (d[i] == s[q]) ++q;
        if (q == m) {
            int64_t start = i + 1 - m;
            if ((start == 0 || d[start - 1] == ',') && (i + 1 == len || d[i + 1] == ',')) return 1;
            q = border[q - 1];
        }
    }
    return 0;
}

}  // namespace
}  // namespace zel

using zel::append;

ZEL_EXPORT ZelStringBuilder *zel_sb_new(void) { return zel::new_builder(zel::kDefaultCapacity); }

ZEL_EXPORT ZelStringBuilder *zel_sb_with_capacity(int64_t n) {
    return zel::new_builder(n > 0 ? n : zel::kFallbackCapacity);
}

ZEL_EXPORT int64_t zel_sb_push(ZelStringBuilder *sb, const ZelString *s) {
    if (sb == nullptr || s == nullptr || s->data == nullptr) return 0;
    if (s->len <= 0) return sb->len;
    return append(sb, s->data, s->len);
}

ZEL_EXPORT int64_t zel_sb_push_range(ZelStringBuilder *sb, const ZelString *s, int64_t start,
                                     int64_t end) {
    if (s == nullptr || start >= end || sb == nullptr || s->data == nullptr) return 0;
    if (start < 0) start = 0;
    if (end > s->len) end = s->len;
    if (start >= end) return sb->len;
    return append(sb, s->data + start, end - start);
}

ZEL_EXPORT int64_t sb_push_cstr(ZelStringBuilder *sb, const char *text) {
    if (sb == nullptr || text == nullptr) return 0;
    size_t n = strlen(text);
    if (n == 0) return sb->len;
    return append(sb, text, static_cast<int64_t>(n));
}

ZEL_EXPORT int64_t zel_sb_push_char(ZelStringBuilder *sb, int64_t c) {
    if (sb == nullptr) return 0;
    zel::append_byte(sb->data, sb->len, sb->capacity, static_cast<char>(static_cast<unsigned char>(c)));
    sb->data[sb->len] = '\0';
    return sb->len;
}

ZEL_EXPORT int64_t zel_sb_push_int(ZelStringBuilder *sb, int64_t x) {
    if (sb == nullptr) return 0;
    char buf[20];
    return append(sb, buf, static_cast<int64_t>(zel::format_i64(x, buf)));
}

ZEL_EXPORT int64_t zel_sb_push_escaped(ZelStringBuilder *sb, const ZelString *s) {
    if (sb == nullptr || s == nullptr || s->data == nullptr) return 0;
    return zel::append_each(sb, s, [](char *&d, int64_t &len, int64_t &cap, unsigned char c) {
        unsigned char e = zel::kEscape.letter[c];
        if (__builtin_expect(len + 3 > cap, 0)) {
            cap = zel::doubled(cap);
            // One doubling always leaves room for a pair, except from capacity 1.
            if (e != 0 && len + 2 >= cap) cap = zel::doubled(cap);
            d = zel::resize_block(d, cap);
        }
        if (e != 0) {
            d[len++] = '\\';
            d[len++] = static_cast<char>(e);
        } else {
            d[len++] = static_cast<char>(c);
        }
    });
}

ZEL_EXPORT int64_t sb_push_escaped(ZelStringBuilder *sb, const ZelString *s) {
    if (s == nullptr || sb == nullptr || s->data == nullptr) return 0;
    return zel::append_each(sb, s, [](char *&d, int64_t &len, int64_t &cap, unsigned char c) {
        if (c == '\\' || c == '"') zel::append_byte(d, len, cap, '\\');
        zel::append_byte(d, len, cap, static_cast<char>(c));
    });
}

ZEL_EXPORT int64_t zel_sb_push_f64(ZelStringBuilder *sb, double x) {
    if (sb == nullptr) return 0;
    char buf[64];
    int n = snprintf(buf, sizeof buf, "%.9g", x);
    return append(sb, buf, n);
}

ZEL_EXPORT int64_t zel_sb_push_hex(ZelStringBuilder *sb, int64_t x) {
    if (sb == nullptr) return 0;
    char buf[2 + 16] = {'0', 'x'};
    return append(sb, buf, 2 + static_cast<int64_t>(zel::format_pow2(static_cast<uint64_t>(x), 4, buf + 2)));
}

ZEL_EXPORT int64_t zel_sb_push_bool(ZelStringBuilder *sb, int64_t b) {
    if (sb == nullptr) return 0;
    return b != 0 ? append(sb, "true", 4) : append(sb, "false", 5);
}

ZEL_EXPORT int64_t zel_sb_len(const ZelStringBuilder *sb) { return sb ? sb->len : 0; }

ZEL_EXPORT ZelString *zel_sb_build(const ZelStringBuilder *sb) {
    if (sb == nullptr) return zel::fresh_empty();
    return zel::make_string(sb->data, sb->len);
}

ZEL_EXPORT int64_t zel_sb_clear(ZelStringBuilder *sb) {
    if (sb == nullptr) return 0;
    sb->len = 0;
    sb->data[0] = '\0';
    return 0;
}

ZEL_EXPORT int64_t zel_sb_contains(const ZelStringBuilder *sb, const ZelString *s) {
    if (sb == nullptr || s == nullptr || s->data == nullptr || s->len <= 0 || sb->len == 0 ||
        s->len > sb->len)
        return 0;
    const char *d = sb->data;
    int64_t len = sb->len, m = s->len;
    // A probe without commas can only match whole items, which the scan
    // compares at most once each; short probes bound each comparison.
    if (m > 64 && memchr(s->data, ',', static_cast<size_t>(m)) != nullptr) {
        auto *border = static_cast<int64_t *>(malloc(static_cast<size_t>(m) * sizeof(int64_t)));
        if (border != nullptr) {
            int64_t found = zel::contains_kmp(d, len, s->data, m, border);
            free(border);
            return found;
        }
    }
    return zel::contains_scan(d, len, s->data, m);
}

ZEL_EXPORT int64_t zel_sb_println(const ZelStringBuilder *sb) {
    if (sb == nullptr || sb->data == nullptr) putchar('\n');
    else puts(sb->data);
    return 0;
}

ZEL_EXPORT int64_t zel_sb_free(ZelStringBuilder *sb) {
    if (sb == nullptr) return 0;
    free(sb->data);
    free(sb);
    return 0;
}

ZEL_EXPORT ZelStringBuilder *sb_new(void) ZEL_ALIAS_OF(zel_sb_new);
ZEL_EXPORT ZelStringBuilder *sb_with_capacity(int64_t n) ZEL_ALIAS_OF(zel_sb_with_capacity);
ZEL_EXPORT int64_t sb_push(ZelStringBuilder *sb, const ZelString *s) ZEL_ALIAS_OF(zel_sb_push);
ZEL_EXPORT int64_t sb_push_range(ZelStringBuilder *sb, const ZelString *s, int64_t start,
                                 int64_t end) ZEL_ALIAS_OF(zel_sb_push_range);
ZEL_EXPORT int64_t sb_push_char(ZelStringBuilder *sb, int64_t c) ZEL_ALIAS_OF(zel_sb_push_char);
ZEL_EXPORT int64_t sb_push_int(ZelStringBuilder *sb, int64_t x) ZEL_ALIAS_OF(zel_sb_push_int);
ZEL_EXPORT int64_t sb_len(const ZelStringBuilder *sb) ZEL_ALIAS_OF(zel_sb_len);
ZEL_EXPORT ZelString *sb_build(const ZelStringBuilder *sb) ZEL_ALIAS_OF(zel_sb_build);
ZEL_EXPORT int64_t sb_clear(ZelStringBuilder *sb) ZEL_ALIAS_OF(zel_sb_clear);
ZEL_EXPORT int64_t sb_contains(const ZelStringBuilder *sb, const ZelString *s)
    ZEL_ALIAS_OF(zel_sb_contains);
ZEL_EXPORT int64_t sb_println(const ZelStringBuilder *sb) ZEL_ALIAS_OF(zel_sb_println);
ZEL_EXPORT int64_t sb_free(ZelStringBuilder *sb) ZEL_ALIAS_OF(zel_sb_free);
