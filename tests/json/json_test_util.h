// Helpers shared by the JSON tape and stringifier tests.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support.h"

namespace jt {

// Decoding as the pieces-and-concatenation definition gives it.
inline ZelString *unescape_by_pieces(const ZelString *s, int64_t pos, ZelString *acc) {
    while (pos < zel_string_len(s)) {
        int64_t c = zel_string_char_at(s, pos);
        ZelString *piece;
        if (c == '\\' && pos + 1 < s->len) {
            int64_t e = zel_string_char_at(s, pos + 1);
            piece = e == 'n' ? zel_chr('\n') : e == 'r' ? zel_chr('\r') : e == 't' ? zel_chr('\t') : zel_chr(e);
            pos += 2;
        } else {
            piece = zel_chr(c);
            pos += 1;
        }
        acc = zel_string_concat(acc, piece);
    }
    return acc;
}

// Bytes of a result, which may be the caller's own accumulator without data.
inline std::string shown(const ZelString *s) {
    if (s == nullptr) return "<null>";
    if (s->data == nullptr) return "<no data>";
    return zt::str(s);
}

// len bytes, one in `one_in` (on average) taken from the bytes escaping and
// decoding treat apart, the rest plain.
inline std::string mixed_text(std::mt19937_64 &rng, uint64_t len, uint64_t one_in) {
    static const char special[] = {'\\', '\\', '\t', '\n', '\r', '"', '\0', 'n', 't', 'r', '\x01', '\x0d'};
    static const char plain[] = "abcdefghij KLMNOP/xyz\x7f\xe2\x82\xac";
    std::string s;
    for (uint64_t i = 0; i < len; ++i)
        s += rng() % one_in == 0 ? special[rng() % sizeof special] : plain[rng() % (sizeof plain - 1)];
    return s;
}

// The library function and its pieces-and-concatenation reference agree on
// s from pos, appending to a missing and to an empty accumulator.
template <class Fn, class Ref>
void expect_same_appends(Fn fn, Ref ref, ZelString *s, int64_t pos, int round) {
    for (ZelString *acc : {static_cast<ZelString *>(nullptr), const_cast<ZelString *>(&zel_str_5)})
        EXPECT_EQ(shown(fn(s, pos, acc)), shown(ref(s, pos, acc))) << "round " << round << " from " << pos;
}

}  // namespace jt
