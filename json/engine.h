// The reader behind the host functions. It follows the tape parser's grammar
// byte for byte but stores nothing: values are skipped or written out as they
// are met, so documents of any size and containers of any width are answered
// in one pass with memory proportional to the answer only.
#pragma once

#include <stdlib.h>

#include "../runtime/core/internal.h"

namespace zel::json {

// Containers opened at this depth or deeper read as null and consume nothing,
// exactly as the tape parser treats them.
constexpr int64_t kMaxDepth = 1024;

enum Kind : int { kNull = 0, kBool = 1, kNumber = 2, kString = 3, kArray = 4, kObject = 5 };

// Output text on the system heap; one zel_alloc'd copy is made at the end so
// that arena mode pays for the answer alone.
class Out {
public:
    Out() = default;
    Out(const Out &) = delete;
    Out &operator=(const Out &) = delete;
    ~Out() { free(buf_); }

    // Room for n more bytes at tail().
    char *room(size_t n) {
        if (__builtin_expect(cap_ - len_ < n, 0)) grow(n);
        return buf_ + len_;
    }
    void advance(size_t n) { len_ += n; }
    void put(char c) { *room(1) = c; ++len_; }
    void put(const char *p, size_t n) {
        memcpy(room(n), p, n);
        len_ += n;
    }
    size_t size() const { return len_; }
    const char *data() const { return buf_; }
    // The text as a new runtime string; the buffer is released.
    ZelString *finish();

private:
    void grow(size_t n);
    char *buf_ = nullptr;
    size_t len_ = 0;
    size_t cap_ = 0;
};

class Reader {
public:
    // A null record, null data or a length of 0 or less all read as "".
    explicit Reader(const ZelString *doc)
        : d_(doc && doc->data && doc->len > 0 ? reinterpret_cast<const uint8_t *>(doc->data) : nullptr),
          n_(doc && doc->data && doc->len > 0 ? doc->len : 0) {}

    int64_t size() const { return n_; }
    const uint8_t *bytes() const { return d_; }

    int64_t ws(int64_t p) const {
        while (p < n_) {
            uint8_t c = d_[p];
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
            ++p;
        }
        return p;
    }

    // End of string content starting at p: the closing quote, or where the
    // scan left the document (n, or n + 1 after a final backslash).
    int64_t fq(int64_t p) const;

    // Kind of the value whose first byte is at p (the root's kind needs no parse).
    Kind kind_at(int64_t p) const;

    // Number at p ('-' or digit): wrapping decimal accumulation; returns the end.
    int64_t number(int64_t p, int64_t *value) const {
        int64_t q = p;
        bool neg = d_[q] == '-';
        if (neg) ++q;
        uint64_t v = 0;
        while (q < n_ && static_cast<uint8_t>(d_[q] - '0') < 10) v = v * 10 + (d_[q++] - '0');
        *value = static_cast<int64_t>(neg ? 0 - v : v);
        return q;
    }

    // End position of the value starting exactly at pos, met at `depth`.
    int64_t skip(int64_t pos, int64_t depth) const { return walk<false>(nullptr, pos, depth); }
    // Same, writing the value's compact text.
    int64_t write(Out &out, int64_t pos, int64_t depth) const { return walk<true>(&out, pos, depth); }

    // Raw key bytes of a member whose key starts (after the quote) at ks and
    // ends at ke, clamped to the document.
    void key_range(int64_t ks, int64_t ke, int64_t *s, int64_t *e) const {
        *s = ks < n_ ? ks : n_;
        *e = ke < n_ ? ke : n_;
    }
    // Members: from the opening quote at pos, the key range and the value's position.
    int64_t member(int64_t pos, int64_t *ks, int64_t *ke) const {
        *ks = pos + 1;
        *ke = fq(*ks);
        return ws(ws(*ke + 1) + 1);
    }

    // Decoded content doc[s, e): its length, and the bytes themselves.
    int64_t unescaped_len(int64_t s, int64_t e) const;
    void unescape_into(char *dst, int64_t s, int64_t e) const;

private:
    template <bool Emit>
    int64_t walk(Out *out, int64_t pos, int64_t depth) const;
    void write_string(Out &out, int64_t s, int64_t e) const;
    void write_key(Out &out, int64_t s, int64_t e) const;
    int64_t write_member_head(Out *out, int64_t pos, bool emit) const;

    const uint8_t *d_;
    int64_t n_;
};

// Decimal text of v into buf (at least 20 bytes); returns the length.
size_t format_i64(int64_t v, char *buf);

}  // namespace zel::json
