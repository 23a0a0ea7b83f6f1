// The x86-64 baseline kernel (SSE2 only), and the byte walk alone.
#include "kernel.h"

namespace zel::json::sse2 {

struct K : AddressBlocks {
    static inline bool any_bs(Blk p) { return m_bs(p) != 0; }
    // Quotes followed by the byte c, or at the block's end.
    static inline uint64_t key_cands(Blk p, uint8_t c) { return m_q(p) & ((eq1(p, c) >> 1) | (uint64_t{1} << 63)); }
    static inline uint64_t m16(__m128i x) { return static_cast<uint32_t>(_mm_movemask_epi8(x)); }
    static inline __m128i eq(__m128i x, char c) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(c)); }

    template <class F>
    static inline uint64_t mask(const uint8_t *p, F f) {
        uint64_t m = 0;
        for (int k = 0; k < 4; ++k) m |= m16(f(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k)))) << (16 * k);
        return m;
    }
    static inline uint64_t m_ws(const uint8_t *p) {
        return mask(p, [](__m128i x) {
            return _mm_or_si128(_mm_or_si128(eq(x, ' '), eq(x, '\t')), _mm_or_si128(eq(x, '\n'), eq(x, '\r')));
        });
    }
    static inline uint64_t m_q(const uint8_t *p) { return mask(p, [](__m128i x) { return eq(x, '"'); }); }
    static inline uint64_t m_bs(const uint8_t *p) { return mask(p, [](__m128i x) { return eq(x, '\\'); }); }
    static inline uint64_t m_punct(const uint8_t *p) {
        return mask(p, [](__m128i x) {
            __m128i x20 = _mm_or_si128(x, _mm_set1_epi8(0x20));
            return _mm_or_si128(_mm_or_si128(eq(x20, '{'), eq(x20, '}')), _mm_or_si128(eq(x, ','), eq(x, ':')));
        });
    }
    static inline void scalars(const uint8_t *p, ScanR &m) {
        m = ScanR{};
        for (int k = 0; k < 4; ++k) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
            __m128i t = _mm_sub_epi8(x, _mm_set1_epi8('0'));
            __m128i dig = _mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(9)), t);
            __m128i l4 = _mm_or_si128(eq(x, 't'), eq(x, 'n')), l5 = eq(x, 'f');
            int s = 16 * k;
            m.dig |= m16(dig) << s;
            m.start |= m16(_mm_or_si128(_mm_or_si128(dig, eq(x, '-')), _mm_or_si128(l4, l5))) << s;
            m.l4 |= m16(l4) << s;
            m.l5 |= m16(l5) << s;
        }
    }
    static inline int emit(uint8_t *out, const uint8_t *p, uint64_t t, uint64_t key) {
        return emit_bytes(out, p, t, key);
    }
    template <bool Key>
    static inline void tok_masks(const uint8_t *tok, TokM &m) {
        m = TokM{};
        for (int k = 0; k < 4; ++k) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(tok + 16 * k));
            int s = 16 * k;
            m.op |= m16(_mm_slli_epi16(x, 7)) << s;
            m.cl |= m16(_mm_slli_epi16(x, 6)) << s;
            m.ob |= m16(_mm_slli_epi16(x, 5)) << s;
            m.cm |= m16(_mm_slli_epi16(x, 4)) << s;
            m.kc |= m16(_mm_slli_epi16(x, 3)) << s;
            m.st |= m16(_mm_slli_epi16(x, 2)) << s;
            if (Key) m.key |= m16(x) << s;
        }
    }
    // The n (< 64) bytes at p, then `fill` up to 64 bytes, into the
    // 64-aligned block at dst.
    static inline void pad(uint8_t *dst, const uint8_t *p, int64_t n, uint8_t fill) {
        memcpy(dst, p, static_cast<size_t>(n));
        memset(dst + n, fill, static_cast<size_t>(64 - n));
    }
    // Bytes that escaping changes or drops inside a string: 0, TAB, LF, CR.
    static inline uint64_t m_ctl(const uint8_t *p) {
        return mask(p, [](__m128i x) {
            return _mm_or_si128(_mm_or_si128(eq(x, 0), eq(x, '\t')), _mm_or_si128(eq(x, '\n'), eq(x, '\r')));
        });
    }
    static inline uint64_t eq1(const uint8_t *p, uint8_t c) {
        uint64_t m = 0;
        for (int k = 0; k < 4; ++k)
            m |= m16(eq(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k)), static_cast<char>(c))) << (16 * k);
        return m;
    }
    // Bytes equal to a or b.
    static inline uint64_t eq2(const uint8_t *p, char a, char b) {
        uint64_t m = 0;
        for (int k = 0; k < 4; ++k) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
            m |= m16(_mm_or_si128(eq(x, a), eq(x, b))) << (16 * k);
        }
        return m;
    }
    // Bytes equal to a or b, or at most 13 (candidates for escaping).
    static inline uint64_t eq2_low(const uint8_t *p, char a, char b) {
        uint64_t m = 0;
        for (int k = 0; k < 4; ++k) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
            __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(13)), x);
            m |= m16(_mm_or_si128(low, _mm_or_si128(eq(x, a), eq(x, b)))) << (16 * k);
        }
        return m;
    }
    static inline uint64_t ws(const uint8_t *p) {
        uint64_t m = 0;
        for (int k = 0; k < 4; ++k) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
            m |= m16(_mm_or_si128(_mm_or_si128(eq(x, ' '), eq(x, '\t')), _mm_or_si128(eq(x, '\n'), eq(x, '\r'))))
                 << (16 * k);
        }
        return m;
    }
    static inline uint64_t digits(const uint8_t *p) {
        uint64_t m = 0;
        for (int k = 0; k < 4; ++k) {
            __m128i t = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k)),
                                     _mm_set1_epi8('0'));
            m |= m16(_mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(9)), t)) << (16 * k);
        }
        return m;
    }
    static inline uint64_t pxor(uint64_t x) {
        x ^= x << 1;
        x ^= x << 2;
        x ^= x << 4;
        x ^= x << 8;
        x ^= x << 16;
        x ^= x << 32;
        return x;
    }
    static inline void copy64(char *w, const uint8_t *p) {
        for (int k = 0; k < 4; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(w + 16 * k),
                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k)));
    }
    // The bytes of p[0, 64) that `keep` selects, in order, at w; may store up
    // to 80 bytes. Kept bytes come in runs (tokens between white space).
    static inline char *compress(char *w, const uint8_t *p, uint64_t keep) {
        if (keep == ~uint64_t{0}) {
            copy64(w, p);
            return w + 64;
        }
        // Runs are copied 16 bytes at a time from a padded copy of the block,
        // so that no load leaves it.
        alignas(16) uint8_t b[80];
        copy64(reinterpret_cast<char *>(b), p);
        while (keep) {
            int s = __builtin_ctzll(keep);
            uint64_t rest = ~(keep >> s);
            int len = rest ? __builtin_ctzll(rest) : 64 - s;
            for (int k = 0; k < len; k += 16)
                _mm_storeu_si128(reinterpret_cast<__m128i *>(w + k),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + s + k)));
            w += len;
            keep = s + len >= 64 ? 0 : keep & ~((uint64_t{1} << (s + len)) - 1);
        }
        return w;
    }
};

#include "walk.inc"

}  // namespace zel::json::sse2

const zel::json::Engine zel::json::kEngineSse2 = zel::json::sse2::make_engine<true>("sse2");
const zel::json::Engine zel::json::kEngineExact = zel::json::sse2::make_engine<false>("exact");
