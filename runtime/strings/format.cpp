// Number formatting and parsing: integers in four bases, booleans, doubles and
// code points to text; text to integers and doubles.
//
// The byte blocks of most results have a fixed size (the longest text of their
// format plus NUL) that callers may rely on; integer digits are written
// without printf, doubles keep printf's "%.9g".
#include <stdio.h>
#include <stdlib.h>

#include "../core/internal.h"
#include "digits.h"

namespace zel {
namespace {

ZelString *text_in_block(const char *text, size_t n, int64_t block) {
    ZelString *r = make_string_in_block(static_cast<int64_t>(n), block);
    memcpy(r->data, text, n);
    return r;
}

// Sign, prefix and digits of the magnitude ("-0x" and magnitude for negatives).
ZelString *prefixed(int64_t x, char base_letter, int shift, int64_t block) {
    char buf[3 + 64];
    size_t n = 0;
    uint64_t mag = static_cast<uint64_t>(x);
    if (x < 0) {
        buf[n++] = '-';
        mag = 0 - mag;
    }
    buf[n++] = '0';
    buf[n++] = base_letter;
    n += format_pow2(mag, shift, buf + n);
    return text_in_block(buf, n, block);
}

// strtol and strtod read up to a NUL; a record's bytes end at its length, so
// text that holds no NUL within it is parsed from a terminated copy.
template <class Parse>
auto parse_bounded(const ZelString *s, Parse parse) {
    int64_t n = readable(s);
    if (n < 256) {
        char buf[256];
        if (n > 0) memcpy(buf, s->data, static_cast<size_t>(n));
        buf[n] = '\0';
        return parse(buf);
    }
    if (memchr(s->data, 0, static_cast<size_t>(n)) != nullptr) return parse(s->data);
    auto *copy = static_cast<char *>(heap_alloc(static_cast<uint64_t>(n) + 1));
    memcpy(copy, s->data, static_cast<size_t>(n));
    copy[n] = '\0';
    auto value = parse(copy);
    free(copy);
    return value;
}

}  // namespace
}  // namespace zel

ZEL_EXPORT ZelString *zel_int_to_string(int64_t x) {
    char buf[20];
    return zel::text_in_block(buf, zel::format_i64(x, buf), 21);
}
ZEL_EXPORT ZelString *int_to_string(int64_t x) ZEL_ALIAS_OF(zel_int_to_string);
ZEL_EXPORT ZelString *zel_fast_i2s(int64_t x) ZEL_ALIAS_OF(zel_int_to_string);

ZEL_EXPORT ZelString *zel_bool_to_string(int64_t b) {
    return static_cast<uint8_t>(b) != 0 ? zel::text_in_block("true", 4, 5) : zel::text_in_block("false", 5, 6);
}

ZEL_EXPORT ZelString *zel_int_to_hex(int64_t x) {
    char buf[16];
    return zel::make_string(buf, static_cast<int64_t>(zel::format_pow2(static_cast<uint64_t>(x), 4, buf)));
}

ZEL_EXPORT ZelString *zel_to_hex(int64_t x) { return zel::prefixed(x, 'x', 4, 20); }
ZEL_EXPORT ZelString *zel_to_octal(int64_t x) { return zel::prefixed(x, 'o', 3, 26); }

ZEL_EXPORT ZelString *zel_int_to_bin(int64_t x) {
    char buf[64];
    return zel::make_string(buf, static_cast<int64_t>(zel::format_pow2(static_cast<uint64_t>(x), 1, buf)));
}

ZEL_EXPORT ZelString *zel_to_binary(int64_t x) {
    char buf[2 + 64] = {'0', 'b'};
    return zel::text_in_block(buf, 2 + zel::format_pow2(static_cast<uint64_t>(x), 1, buf + 2), 67);
}

ZEL_EXPORT ZelString *zel_f64_to_string(double x) {
    char buf[32];
    int n = snprintf(buf, sizeof buf, "%.9g", x);
    return zel::text_in_block(buf, static_cast<size_t>(n), 32);
}

// Not validated: surrogates and values past U+10FFFF are encoded like any other.
ZEL_EXPORT char *zel_char_to_string(int32_t c) {
    auto *w = static_cast<uint8_t *>(zel::zel_alloc(5));
    int n;
    if (c <= 127) {
        w[0] = static_cast<uint8_t>(c);
        n = 1;
    } else if (c <= 2047) {
        w[0] = static_cast<uint8_t>(0xC0 + (c >> 6));
        w[1] = static_cast<uint8_t>(0x80 + (c & 0x3F));
        n = 2;
    } else if (c <= 65535) {
        w[0] = static_cast<uint8_t>(0xE0 + (c >> 12));
        w[1] = static_cast<uint8_t>(0x80 + ((c >> 6) & 0x3F));
        w[2] = static_cast<uint8_t>(0x80 + (c & 0x3F));
        n = 3;
    } else {
        w[0] = static_cast<uint8_t>(0xF0 | (c >> 18));
        w[1] = static_cast<uint8_t>(0x80 + ((c >> 12) & 0x3F));
        w[2] = static_cast<uint8_t>(0x80 + ((c >> 6) & 0x3F));
        w[3] = static_cast<uint8_t>(0x80 + (c & 0x3F));
        n = 4;
    }
    w[n] = 0;
    return reinterpret_cast<char *>(w);
}

ZEL_EXPORT int64_t zel_parse_int(const ZelString *s) {
    if (s == nullptr || s->data == nullptr) return 0;
    return zel::parse_bounded(s, [](const char *p) { return static_cast<int64_t>(strtol(p, nullptr, 10)); });
}

ZEL_EXPORT double zel_parse_f64(const ZelString *s) {
    if (s == nullptr || s->data == nullptr) return 0.0;
    return zel::parse_bounded(s, [](const char *p) { return strtod(p, nullptr); });
}
