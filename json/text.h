// What both JSON readers (the tape and the single-pass engine) share: records
// seen as byte ranges, the scanners, the escape rule and its inverse, decimal
// numbers and the output buffer results are assembled in. One copy of each,
// so that the two readers cannot drift apart.
#pragma once

#include <emmintrin.h>
#include <stdlib.h>

#include "../runtime/core/internal.h"
#include "../runtime/strings/digits.h"

namespace zel::json {

// Containers opened at this depth or deeper read as null and consume nothing.
constexpr int64_t kMaxDepth = 1024;

enum Kind : int64_t { kNull = 0, kBool = 1, kNumber = 2, kString = 3, kArray = 4, kObject = 5 };

// Tape container nodes: kind, count, then fixed child slots (one per element,
// three per member: key start, key end, value node).
constexpr int64_t kArraySlots = 66;
constexpr int64_t kObjectSlots = 98;
constexpr int64_t kMaxElems = 64;
constexpr int64_t kMaxMembers = 32;

struct Bytes {
    const uint8_t *d = nullptr;
    int64_t n = 0;

    Bytes() = default;
    Bytes(const uint8_t *data, int64_t len) : d(data), n(len) {}
    // A null record, null data or a length of 0 or less read as no bytes.
    explicit Bytes(const ZelString *s) {
        if (s != nullptr && s->data != nullptr && s->len > 0) {
            d = reinterpret_cast<const uint8_t *>(s->data);
            n = s->len;
        }
    }
    // Unsigned compare: a position that wrapped negative is past the end too.
    bool has(int64_t pos) const { return static_cast<uint64_t>(pos) < static_cast<uint64_t>(n); }
};

// The range a slice [start, end) would cut: empty when start is negative, past
// the end or beyond end; end clamped to the length.
inline Bytes cut(Bytes b, int64_t start, int64_t end) {
    if (start < 0 || start > b.n || end < start) return {};
    return {b.d + start, (end < b.n ? end : b.n) - start};
}

// ---- Scanning ----

// Offset of the first byte in [p, e) whose lane `hit` sets, or e. Whole
// 16-byte blocks go through SSE2; the tail byte by byte with `byte`.
template <class Hit, class Byte>
inline int64_t scan(const uint8_t *d, int64_t p, int64_t e, Hit hit, Byte byte) {
    while (p + 16 <= e) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + p));
        unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hit(x)));
        if (m) return p + __builtin_ctz(m);
        p += 16;
    }
    while (p < e && !byte(d[p])) ++p;
    return p;
}

// Lanes of the bytes that end a plain run of content being escaped: 0..13
// are candidates, the slow path sorts out 1..8, 11 and 12.
inline __m128i special_lanes(__m128i x) {
    const __m128i quote = _mm_set1_epi8('"'), bs = _mm_set1_epi8('\\'), thirteen = _mm_set1_epi8(13);
    __m128i ctl = _mm_cmpeq_epi8(_mm_min_epu8(x, thirteen), x);
    return _mm_or_si128(ctl, _mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, bs)));
}
inline bool is_special(uint8_t c) { return c <= 13 || c == '"' || c == '\\'; }

inline int64_t next_special(const uint8_t *d, int64_t p, int64_t e) {
    return scan(d, p, e, [](__m128i x) { return special_lanes(x); }, [](uint8_t c) { return is_special(c); });
}

// Bytes that end a plain run of content being decoded.
inline int64_t next_backslash_or_nul(const uint8_t *d, int64_t p, int64_t e) {
    const __m128i bs = _mm_set1_epi8('\\'), zero = _mm_setzero_si128();
    return scan(
        d, p, e, [&](__m128i x) { return _mm_or_si128(_mm_cmpeq_epi8(x, bs), _mm_cmpeq_epi8(x, zero)); },
        [](uint8_t c) { return c == '\\' || c == 0; });
}

inline int64_t next_quote_or_backslash(const uint8_t *d, int64_t p, int64_t e) {
    const __m128i quote = _mm_set1_epi8('"'), bs = _mm_set1_epi8('\\');
    return scan(
        d, p, e, [&](__m128i x) { return _mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, bs)); },
        [](uint8_t c) { return c == '"' || c == '\\'; });
}

// From p, which must not be negative.
inline int64_t skip_ws(const Bytes &b, int64_t p) {
    while (p < b.n) {
        uint8_t c = b.d[p];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
        ++p;
    }
    return p;
}

// End of string content starting at p: the closing quote, or where the scan
// left the bytes (n, or n + 1 after a final backslash). A position outside
// the bytes is its own end.
inline int64_t string_end(const Bytes &b, int64_t p) {
    if (!b.has(p)) return p;
    for (;;) {
        p = next_quote_or_backslash(b.d, p, b.n);
        if (p >= b.n || b.d[p] == '"') return p;
        // A backslash hides the byte after it, even past the end.
        p += 2;
        if (p >= b.n) return p;
    }
}

// End of the digits from p (not negative), with their value in wrapping
// decimal arithmetic.
inline int64_t read_digits(const Bytes &b, int64_t p, uint64_t *value) {
    uint64_t v = 0;
    while (p < b.n && static_cast<uint8_t>(b.d[p] - '0') < 10) v = v * 10 + (b.d[p++] - '0');
    *value = v;
    return p;
}

inline int64_t digits_end(const Bytes &b, int64_t p) {
    uint64_t unused;
    return read_digits(b, p, &unused);
}

// Any bytes, digits or not, in the same arithmetic; eight at a time
// with the '0' offset of all eight removed by one subtraction.
inline uint64_t accumulate(const uint8_t *p, int64_t count, uint64_t acc) {
    int64_t head = count % 8;
    for (int64_t i = 0; i < head; ++i) acc = acc * 10 + p[i] - 48;
    for (int64_t i = head; i < count; i += 8) {
        const uint8_t *g = p + i;
        acc = ((((((((acc * 10 + g[0]) * 10 + g[1]) * 10 + g[2]) * 10 + g[3]) * 10 + g[4]) * 10 + g[5]) * 10 +
                g[6]) * 10 + g[7]) - 533333328u;
    }
    return acc;
}

// ---- Decimal text ----

using zel::format_i64;

// ---- The escape rule and its inverse ----
//
// Escaping: byte 0 vanishes; TAB, LF, CR, '"' and '\' become a backslash pair
// (\t \n \r \" \\); every other byte stands for itself. Decoding: a backslash
// and the byte after it stand for one byte (TAB, LF, CR for t, n, r, else that
// byte); a final lone backslash stands for itself; byte 0, plain or decoded,
// drops out.

inline uint8_t decode_pair(uint8_t c) {
    switch (c) {
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return c;
    }
}

inline int escaped_size(uint8_t c) {
    switch (c) {
        case 0: return 0;
        case '\t': case '\n': case '\r': case '"': case '\\': return 2;
        default: return 1;
    }
}

inline char *put_escaped(char *w, uint8_t c) {
    switch (c) {
        case 0: return w;
        case '\t': *w++ = '\\'; *w++ = 't'; return w;
        case '\n': *w++ = '\\'; *w++ = 'n'; return w;
        case '\r': *w++ = '\\'; *w++ = 'r'; return w;
        case '"': *w++ = '\\'; *w++ = '"'; return w;
        case '\\': *w++ = '\\'; *w++ = '\\'; return w;
        default: *w++ = static_cast<char>(c); return w;
    }
}

// Decoded form of p[0, n): its length, and with Write the bytes at dst.
template <bool Write>
inline int64_t decode(char *dst, const uint8_t *p, int64_t n) {
    int64_t w = 0;
    int64_t i = 0;
    while (i < n) {
        int64_t j = next_backslash_or_nul(p, i, n);
        if (Write) memcpy(dst + w, p + i, static_cast<size_t>(j - i));
        w += j - i;
        if (j >= n) break;
        if (p[j] == 0) {
            i = j + 1;
            continue;
        }
        uint8_t c = '\\';
        if (j + 1 < n) c = decode_pair(p[j + 1]);
        i = j + 1 < n ? j + 2 : j + 1;
        if (c == 0) continue;
        if (Write) dst[w] = static_cast<char>(c);
        ++w;
    }
    return w;
}

inline int64_t unescaped_len(const uint8_t *p, int64_t n) { return decode<false>(nullptr, p, n); }
inline void unescape_into(char *dst, const uint8_t *p, int64_t n) { decode<true>(dst, p, n); }

// Length of the escaped form of p[0, n): one byte each, one more for each of
// the five that gain a backslash, one less for each byte 0.
inline int64_t escaped_len(const uint8_t *p, int64_t n) {
    const __m128i tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'),
                  quote = _mm_set1_epi8('"'), bs = _mm_set1_epi8('\\'), zero = _mm_setzero_si128();
    int64_t total = n;
    int64_t i = 0;
    // Per-lane tallies (a compare yields -1 per hit) for at most 255 blocks,
    // then summed across lanes.
    while (i + 16 <= n) {
        __m128i more = _mm_setzero_si128(), less = _mm_setzero_si128();
        for (int k = 0; k < 255 && i + 16 <= n; ++k, i += 16) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            __m128i two = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, tab), _mm_cmpeq_epi8(x, lf)),
                                       _mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_or_si128(_mm_cmpeq_epi8(x, quote),
                                                                                        _mm_cmpeq_epi8(x, bs))));
            more = _mm_sub_epi8(more, two);
            less = _mm_sub_epi8(less, _mm_cmpeq_epi8(x, zero));
        }
        __m128i sums = _mm_sub_epi64(_mm_sad_epu8(more, zero), _mm_sad_epu8(less, zero));
        total += _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
    }
    for (; i < n; ++i) total += escaped_size(p[i]) - 1;
    return total;
}

// Length of the escaped form of the decoded form of p[0, n): a string node's
// content as it is written out.
inline int64_t recoded_len(const uint8_t *p, int64_t n) {
    int64_t total = 0;
    int64_t i = 0;
    while (i < n) {
        int64_t j = next_special(p, i, n);
        total += j - i;
        if (j >= n) break;
        uint8_t c = p[j];
        i = j + 1;
        if (c == '\\' && i < n) c = decode_pair(p[i++]);
        total += escaped_size(c);
    }
    return total;
}

// Writes the escaped form of p[0, n) (with Decode, of its decoded form) at w,
// which may be written up to w_end, and returns its end. Neither form is ever
// longer than 2n. Plain blocks are stored whole while 16 bytes of room remain.
template <bool Decode>
inline char *encode(char *w, char *w_end, const uint8_t *p, int64_t n) {
    int64_t i = 0;
    for (;;) {
        int64_t j;
        if (i + 16 <= n && w_end - w >= 16) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            unsigned m = static_cast<unsigned>(_mm_movemask_epi8(special_lanes(x)));
            // Bytes past the first special are rewritten by what follows.
            _mm_storeu_si128(reinterpret_cast<__m128i *>(w), x);
            if (m == 0) {
                w += 16;
                i += 16;
                continue;
            }
            int k = __builtin_ctz(m);
            w += k;
            j = i + k;
        } else {
            j = i;
            while (j < n && !is_special(p[j])) *w++ = static_cast<char>(p[j++]);
            if (j >= n) return w;
        }
        uint8_t c = p[j];
        i = j + 1;
        if (Decode && c == '\\' && i < n) c = decode_pair(p[i++]);
        w = put_escaped(w, c);
    }
}

// ---- Output ----

// Output text in one heap buffer, sized up front from what the caller knows
// and grown by doubling in the rare cases that outrun it. finish() hands the
// buffer itself over as the string's bytes when results come from the heap;
// in arena mode it makes the one arena copy, so arena mode pays for the answer
// alone.
class Out {
public:
    Out() = default;
    // `shrinks`: the text will likely fill much less than `initial`, so the
    // buffer is given back in part and each one is mapped afresh anyway; a
    // large one then comes in whole huge pages.
    explicit Out(size_t initial, bool shrinks = false) : shrinks_(shrinks) { grow(initial); }
    Out(const Out &) = delete;
    Out &operator=(const Out &) = delete;
    ~Out() { free(buf_); }

    // Room for n more bytes at the end; advance() or commit() takes them.
    char *room(size_t n) {
        if (__builtin_expect(cap_ - len_ < n, 0)) grow(n);
        return buf_ + len_;
    }
    void advance(size_t n) { len_ += n; }
    void commit(const char *end) { len_ = static_cast<size_t>(end - buf_); }
    size_t size() const { return len_; }
    void put(char c) {
        *room(1) = c;
        ++len_;
    }
    void put(const char *p, size_t n) {
        memcpy(room(n), p, n);
        len_ += n;
    }
    void put_int(int64_t v) { advance(format_i64(v, room(20))); }

    // A string value: its content decoded and escaped again, in quotes.
    void put_string(Bytes raw) { put_quoted<true>(raw); }
    // A member's key and colon: its raw bytes escaped, escapes left undecoded.
    void put_key(Bytes raw) { put_quoted<false>(raw); }

    // The text as a new runtime string: the buffer itself, shrunk in place
    // (the allocator gives the rest back without moving the text), unless a
    // short text would keep a much larger buffer: that one is copied. A
    // buffer the text nearly fills is handed over as it is: shrinking a
    // large one by a few pages would make the allocator map every later
    // buffer of that size afresh, and fault in each of its pages again.
    ZelString *finish() {
        ZelString *s;
        if (!arena_enabled() && buf_ != nullptr && (len_ >= cap_ / 2 || len_ > 4096)) {
            char *p = buf_;
            if (cap_ - len_ > cap_ / 8) p = static_cast<char *>(realloc(buf_, len_ + 1));
            if (p == nullptr) p = buf_;
            p[len_] = '\0';
            s = static_cast<ZelString *>(zel_alloc(sizeof(ZelString)));
            s->data = p;
            s->len = s->cap = static_cast<int64_t>(len_);
        } else {
            s = make_string(buf_, static_cast<int64_t>(len_));
            free(buf_);
        }
        buf_ = nullptr;
        len_ = cap_ = 0;
        return s;
    }

private:
    template <bool Value>
    void put_quoted(Bytes raw) {
        size_t most = static_cast<size_t>(raw.n) * 2 + (Value ? 2 : 3);
        char *w = room(most);
        char *end = w + most;
        *w++ = '"';
        w = encode<Value>(w, end, raw.d, raw.n);
        *w++ = '"';
        if (!Value) *w++ = ':';
        commit(w);
    }

    [[gnu::noinline]] void grow(size_t n) {
        size_t want = len_ + n;
        if (want < len_ || want > SIZE_MAX - 1) out_of_memory();
        // The first request is the caller's estimate, taken as it stands.
        size_t cap = cap_ ? cap_ : (want > 256 ? want : 256);
        while (cap < want) {
            if (cap > SIZE_MAX / 2) {
                cap = want;
                break;
            }
            cap *= 2;
        }
        // One byte more for the NUL finish() adds.
        // A large text is written once, front to back: in whole huge pages
        // it takes a page fault every 2 MB instead of every 4 KB. A buffer
        // that is handed over whole comes from the heap, which can serve the
        // next one of its size from pages already mapped; one that will
        // shrink is aligned to huge pages, as it is mapped afresh every time.
        constexpr size_t kHuge = size_t{2} << 20;
        const bool big = buf_ == nullptr && cap >= 2 * kHuge && cap < SIZE_MAX / 2;
        char *p;
        if (big && shrinks_) {
            const size_t size = (cap + kHuge) & ~(kHuge - 1);
            p = static_cast<char *>(aligned_alloc(kHuge, size));
            cap = size - 1;
        } else {
            p = static_cast<char *>(realloc(buf_, cap + 1));
        }
        if (p == nullptr) out_of_memory();
        if (big) prefer_huge_pages(p, cap + 1);
        buf_ = p;
        cap_ = cap;
    }

    char *buf_ = nullptr;
    size_t len_ = 0;
    size_t cap_ = 0;
    bool shrinks_ = false;
};

}  // namespace zel::json
