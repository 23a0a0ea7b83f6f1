// The streaming reader: scanning, skipping and compact writing of values.
#include "engine.h"

#include <emmintrin.h>

namespace zel::json {

namespace {

// Offset of the first byte in [p, e) whose bit is set in the 16-lane mask
// computed by `hit`, or e. Whole blocks go through SSE2; the tail byte by byte.
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

// Bytes that end a plain run inside string content being re-encoded.
inline int64_t next_special(const uint8_t *d, int64_t p, int64_t e) {
    const __m128i quote = _mm_set1_epi8('"'), bs = _mm_set1_epi8('\\'), thirteen = _mm_set1_epi8(13);
    return scan(
        d, p, e,
        [&](__m128i x) {
            // Bytes 0..13 are candidates; the slow path sorts out 1..8, 11, 12.
            __m128i ctl = _mm_cmpeq_epi8(_mm_min_epu8(x, thirteen), x);
            return _mm_or_si128(ctl, _mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, bs)));
        },
        [](uint8_t c) { return c <= 13 || c == '"' || c == '\\'; });
}

// Bytes that end a plain run of content being decoded.
inline int64_t next_backslash_or_nul(const uint8_t *d, int64_t p, int64_t e) {
    const __m128i bs = _mm_set1_epi8('\\'), zero = _mm_setzero_si128();
    return scan(
        d, p, e, [&](__m128i x) { return _mm_or_si128(_mm_cmpeq_epi8(x, bs), _mm_cmpeq_epi8(x, zero)); },
        [](uint8_t c) { return c == '\\' || c == 0; });
}

// The byte a backslash pair stands for.
inline uint8_t decode_pair(uint8_t c) {
    switch (c) {
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return c;
    }
}

// Appends the encoded form of one byte; returns the new write position.
inline char *encode_byte(char *w, uint8_t c) {
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

}  // namespace

size_t format_i64(int64_t v, char *buf) {
    uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    char tmp[20];
    size_t k = 0;
    do {
        tmp[k++] = static_cast<char>('0' + mag % 10);
        mag /= 10;
    } while (mag != 0);
    size_t n = 0;
    if (v < 0) buf[n++] = '-';
    while (k > 0) buf[n++] = tmp[--k];
    return n;
}

void Out::grow(size_t n) {
    size_t want = len_ + n;
    if (want < len_) out_of_memory();
    size_t cap = cap_ ? cap_ : 256;
    while (cap < want) {
        if (cap > SIZE_MAX / 2) {
            cap = want;
            break;
        }
        cap *= 2;
    }
    char *p = static_cast<char *>(realloc(buf_, cap));
    if (p == nullptr) out_of_memory();
    buf_ = p;
    cap_ = cap;
}

ZelString *Out::finish() {
    ZelString *s = make_string(buf_, static_cast<int64_t>(len_));
    free(buf_);
    buf_ = nullptr;
    len_ = cap_ = 0;
    return s;
}

int64_t Reader::fq(int64_t p) const {
    if (p >= n_) return p;
    const __m128i quote = _mm_set1_epi8('"'), bs = _mm_set1_epi8('\\');
    for (;;) {
        p = scan(
            d_, p, n_, [&](__m128i x) { return _mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, bs)); },
            [](uint8_t c) { return c == '"' || c == '\\'; });
        if (p >= n_ || d_[p] == '"') return p;
        // A backslash hides the byte after it, even past the end.
        p += 2;
        if (p >= n_) return p;
    }
}

Kind Reader::kind_at(int64_t p) const {
    if (p < 0 || p >= n_) return kNull;
    switch (d_[p]) {
        case '"': return kString;
        case '-': case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': return kNumber;
        case '[': return kArray;
        case '{': return kObject;
        case 't': case 'f': return kBool;
        default: return kNull;
    }
}

int64_t Reader::unescaped_len(int64_t s, int64_t e) const {
    int64_t total = 0;
    int64_t i = s;
    while (i < e) {
        int64_t j = next_backslash_or_nul(d_, i, e);
        total += j - i;
        if (j >= e) break;
        if (d_[j] == 0) {
            i = j + 1;
        } else if (j + 1 < e) {
            if (d_[j + 1] != 0) ++total;
            i = j + 2;
        } else {
            ++total;  // a final lone backslash stays
            i = j + 1;
        }
    }
    return total;
}

void Reader::unescape_into(char *dst, int64_t s, int64_t e) const {
    int64_t i = s;
    while (i < e) {
        int64_t j = next_backslash_or_nul(d_, i, e);
        memcpy(dst, d_ + i, static_cast<size_t>(j - i));
        dst += j - i;
        if (j >= e) break;
        if (d_[j] == 0) {
            i = j + 1;
        } else if (j + 1 < e) {
            uint8_t c = decode_pair(d_[j + 1]);
            if (c != 0) *dst++ = static_cast<char>(c);
            i = j + 2;
        } else {
            *dst++ = '\\';
            i = j + 1;
        }
    }
}

// Content is decoded and encoded again in one pass; no byte grows past two.
void Reader::write_string(Out &out, int64_t s, int64_t e) const {
    char *w0 = out.room(static_cast<size_t>(e - s) * 2 + 2);
    char *w = w0;
    *w++ = '"';
    int64_t i = s;
    while (i < e) {
        int64_t j = next_special(d_, i, e);
        memcpy(w, d_ + i, static_cast<size_t>(j - i));
        w += j - i;
        if (j >= e) break;
        uint8_t c = d_[j];
        i = j + 1;
        if (c == '\\' && i < e) c = decode_pair(d_[i++]);
        w = encode_byte(w, c);
    }
    *w++ = '"';
    out.advance(static_cast<size_t>(w - w0));
}

// Keys are encoded from their raw bytes, escapes left undecoded.
void Reader::write_key(Out &out, int64_t s, int64_t e) const {
    char *w0 = out.room(static_cast<size_t>(e - s) * 2 + 3);
    char *w = w0;
    *w++ = '"';
    int64_t i = s;
    while (i < e) {
        int64_t j = next_special(d_, i, e);
        memcpy(w, d_ + i, static_cast<size_t>(j - i));
        w += j - i;
        if (j >= e) break;
        w = encode_byte(w, d_[j]);
        i = j + 1;
    }
    *w++ = '"';
    *w++ = ':';
    out.advance(static_cast<size_t>(w - w0));
}

// The key and colon of the member whose opening quote is (taken to be) at pos;
// returns the position of its value.
int64_t Reader::write_member_head(Out *out, int64_t pos, bool emit) const {
    int64_t ks, ke;
    int64_t v = member(pos, &ks, &ke);
    if (emit) {
        int64_t s, e;
        key_range(ks, ke, &s, &e);
        write_key(*out, s, e);
    }
    return v;
}

// Containers are tracked on an explicit stack, one bit each (object or array);
// the nesting rule bounds it, so no input can exhaust the machine stack.
template <bool Emit>
int64_t Reader::walk(Out *out, int64_t pos, int64_t depth) const {
    uint64_t objs[kMaxDepth / 64 + 1];
    int64_t sp = 0;
    for (;;) {
        // One value at pos, met at depth + sp.
        if (pos < n_) {
            uint8_t c = d_[pos];
            switch (c) {
                case '"': {
                    int64_t s = pos + 1, e = fq(s);
                    if (Emit) write_string(*out, s, e < n_ ? e : n_);
                    pos = e + 1;
                    goto after_value;
                }
                case '-': case '0': case '1': case '2': case '3': case '4':
                case '5': case '6': case '7': case '8': case '9': {
                    int64_t v;
                    pos = number(pos, &v);
                    if (Emit) out->advance(format_i64(v, out->room(20)));
                    goto after_value;
                }
                case 't':
                    if (Emit) out->put("true", 4);
                    pos += 4;
                    goto after_value;
                case 'f':
                    if (Emit) out->put("false", 5);
                    pos += 5;
                    goto after_value;
                case '[':
                case '{': {
                    if (depth + sp >= kMaxDepth) break;
                    bool obj = c == '{';
                    int64_t p = ws(pos + 1);
                    if (p < n_ && d_[p] == (obj ? '}' : ']')) {
                        if (Emit) out->put(obj ? "{}" : "[]", 2);
                        pos = p + 1;
                        goto after_value;
                    }
                    if (Emit) out->put(static_cast<char>(c));
                    uint64_t bit = uint64_t{1} << (sp & 63);
                    if (obj) objs[sp >> 6] |= bit;
                    else objs[sp >> 6] &= ~bit;
                    ++sp;
                    pos = obj ? write_member_head(out, p, Emit) : p;
                    continue;
                }
                default:
                    break;  // 'n' and anything unrecognised
            }
            if (c == 'n') pos += 4;
        }
        if (Emit) out->put("null", 4);
    after_value:
        for (;;) {
            if (sp == 0) return pos;
            bool obj = (objs[(sp - 1) >> 6] >> ((sp - 1) & 63)) & 1;
            int64_t p = ws(pos);
            if (p < n_ && d_[p] == ',') {
                if (Emit) out->put(',');
                p = ws(p + 1);
                pos = obj ? write_member_head(out, p, Emit) : p;
                break;
            }
            // Whatever byte stands here closes the container; the end of the
            // document closes it too.
            if (Emit) out->put(obj ? '}' : ']');
            --sp;
            pos = p < n_ ? p + 1 : p;
        }
    }
}

template int64_t Reader::walk<false>(Out *, int64_t, int64_t) const;
template int64_t Reader::walk<true>(Out *, int64_t, int64_t) const;

}  // namespace zel::json
