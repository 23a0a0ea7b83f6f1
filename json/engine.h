// The reader behind the host functions. It follows the tape parser's grammar
// byte for byte but stores nothing: values are skipped or written out as they
// are met, so documents of any size and containers of any width are answered
// in one pass with memory proportional to the answer only.
#pragma once

#include "text.h"

namespace zel::json {

class Reader {
public:
    // A null record, null data or a length of 0 or less all read as "".
    explicit Reader(const ZelString *doc) : b_(doc) {}

    int64_t size() const { return b_.n; }
    const uint8_t *bytes() const { return b_.d; }

    int64_t ws(int64_t p) const { return skip_ws(b_, p); }

    // End of string content starting at p: the closing quote, or where the
    // scan left the document (n, or n + 1 after a final backslash).
    int64_t fq(int64_t p) const;

    // Kind of the value whose first byte is at p (the root's kind needs no parse).
    Kind kind_at(int64_t p) const;

    // Number at p ('-' or digit): wrapping decimal accumulation; returns the end.
    int64_t number(int64_t p, int64_t *value) const {
        bool neg = b_.d[p] == '-';
        int64_t q = neg ? p + 1 : p;
        uint64_t v;
        int64_t e = read_digits(b_, q, &v);
        *value = static_cast<int64_t>(neg ? 0 - v : v);
        return e;
    }

    // End position of the value starting exactly at pos, met at `depth`.
    int64_t skip(int64_t pos, int64_t depth) const { return walk<false>(nullptr, pos, depth); }
    // Same, writing the value's compact text.
    int64_t write(Out &out, int64_t pos, int64_t depth) const { return walk<true>(&out, pos, depth); }

    // Raw key bytes of a member whose key starts (after the quote) at ks and
    // ends at ke, clamped to the document.
    void key_range(int64_t ks, int64_t ke, int64_t *s, int64_t *e) const {
        *s = ks < b_.n ? ks : b_.n;
        *e = ke < b_.n ? ke : b_.n;
    }
    // Members: from the opening quote at pos, the key range and the value's position.
    int64_t member(int64_t pos, int64_t *ks, int64_t *ke) const {
        *ks = pos + 1;
        *ke = fq(*ks);
        return ws(ws(*ke + 1) + 1);
    }

private:
    template <bool Emit>
    int64_t walk(Out *out, int64_t pos, int64_t depth) const;
    int64_t write_member_head(Out *out, int64_t pos, bool emit) const;

    Bytes b_;
};

}  // namespace zel::json
