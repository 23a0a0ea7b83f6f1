// The AVX2 kernel (with BMI1/2, POPCNT, LZCNT and carry-less multiply).
#include "kernel.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,bmi2,popcnt,lzcnt,pclmul"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,popcnt,lzcnt,pclmul")
#endif

namespace zel::json::avx2 {

struct K : AddressBlocks {
    static inline bool any_bs(Blk p) { return m_bs(p) != 0; }
    // Quotes followed by the byte c, or at the block's end.
    static inline uint64_t key_cands(Blk p, uint8_t c) { return m_q(p) & ((eq1(p, c) >> 1) | (uint64_t{1} << 63)); }
    static inline uint64_t m32(__m256i x) { return static_cast<uint32_t>(_mm256_movemask_epi8(x)); }
    static inline __m256i eq(__m256i x, char c) { return _mm256_cmpeq_epi8(x, _mm256_set1_epi8(c)); }
    static inline __m256i ld(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }
    static inline __m256i is_ws(__m256i x) {
        return _mm256_or_si256(_mm256_or_si256(eq(x, ' '), eq(x, '\t')), _mm256_or_si256(eq(x, '\n'), eq(x, '\r')));
    }
    static inline __m256i is_digit(__m256i x) {
        __m256i t = _mm256_sub_epi8(x, _mm256_set1_epi8('0'));
        return _mm256_cmpeq_epi8(_mm256_min_epu8(t, _mm256_set1_epi8(9)), t);
    }

    static inline __m256i ws_of(__m256i x) {
        const __m256i t = _mm256_setr_epi8(' ', 0, 1, 1, 1, 1, 1, 1, 1, 9, 10, 1, 1, 13, 1, 1, ' ', 0, 1, 1, 1, 1, 1, 1,
                                           1, 9, 10, 1, 1, 13, 1, 1);
        return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(t, x), x);
    }
    static inline uint64_t both(__m256i a, __m256i b) { return m32(a) | (m32(b) << 32); }
    static inline uint64_t m_ws(const uint8_t *p) { return both(ws_of(ld(p)), ws_of(ld(p + 32))); }
    static inline uint64_t m_q(const uint8_t *p) { return both(eq(ld(p), '"'), eq(ld(p + 32), '"')); }
    static inline uint64_t m_bs(const uint8_t *p) { return both(eq(ld(p), '\\'), eq(ld(p + 32), '\\')); }
    static inline __m256i codes(__m256i x) {
        const __m256i lo = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(kTokLo))), x);
        const __m256i hi = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(kTokHi))),
                                               _mm256_and_si256(_mm256_srli_epi16(x, 4), _mm256_set1_epi8(0x0f)));
        return _mm256_and_si256(lo, hi);
    }
    static inline uint64_t m_punct(const uint8_t *p) {
        const __m256i z = _mm256_setzero_si256(), pu = _mm256_set1_epi8(tOpen | tClose | tComma | tColon);
        const __m256i a = _mm256_cmpeq_epi8(_mm256_and_si256(codes(ld(p)), pu), z);
        const __m256i b = _mm256_cmpeq_epi8(_mm256_and_si256(codes(ld(p + 32)), pu), z);
        return ~both(a, b);
    }
    static inline void scalars(const uint8_t *p, ScanR &m) {
        uint64_t r[4] = {};
        for (int k = 0; k < 2; ++k) {
            const __m256i v = ld(p + 32 * k);
            const __m256i dig = is_digit(v), l4 = _mm256_or_si256(eq(v, 't'), eq(v, 'n')), l5 = eq(v, 'f');
            r[0] |= m32(dig) << (32 * k);
            r[1] |= m32(_mm256_or_si256(_mm256_or_si256(dig, eq(v, '-')), _mm256_or_si256(l4, l5))) << (32 * k);
            r[2] |= m32(l4) << (32 * k);
            r[3] |= m32(l5) << (32 * k);
        }
        m = ScanR{r[0], r[1], r[2], r[3]};
    }
    // Eight bytes at a time through a table of shuffles; may store 8 bytes
    // past the tokens.
    static inline int emit(uint8_t *out, const uint8_t *p, uint64_t t, uint64_t key) {
        alignas(32) uint8_t c[64];
        for (int k = 0; k < 2; ++k) {
            __m256i x = codes(ld(p + 32 * k));
            x = _mm256_or_si256(x, _mm256_and_si256(_mm256_cmpeq_epi8(x, _mm256_setzero_si256()), _mm256_set1_epi8(tScal)));
            _mm256_store_si256(reinterpret_cast<__m256i *>(c + 32 * k), x);
        }
        uint8_t *w = out;
        for (int g = 0; g < 8; ++g) {
            const unsigned m = static_cast<unsigned>(t >> (8 * g)) & 0xff;
            const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(c + 8 * g));
            const __m128i sh = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(kCompress.idx[m]));
            _mm_storel_epi64(reinterpret_cast<__m128i *>(w), _mm_shuffle_epi8(x, sh));
            w += kCompress.count[m];
        }
        if (key) {  // rare: the strings that may be the key
            int k = 0;
            for (uint64_t r = t; r; r &= r - 1, ++k)
                if ((key >> __builtin_ctzll(r)) & 1) out[k] |= tKey;
        }
        return static_cast<int>(w - out);
    }
    template <bool Key>
    static inline void tok_masks(const uint8_t *tok, TokM &m) {
        const __m256i x = ld(tok), y = ld(tok + 32);
        auto bit = [&](int b) {
            return m32(_mm256_slli_epi16(x, 7 - b)) | (m32(_mm256_slli_epi16(y, 7 - b)) << 32);
        };
        m = TokM{bit(0), bit(1), bit(2), bit(3), bit(4), bit(5), 0, Key ? m32(x) | (m32(y) << 32) : 0};
    }
    // The n (< 64) bytes at p, then `fill` up to 64 bytes, into the
    // 64-aligned block at dst.
    static inline void pad(uint8_t *dst, const uint8_t *p, int64_t n, uint8_t fill) {
        memcpy(dst, p, static_cast<size_t>(n));
        memset(dst + n, fill, static_cast<size_t>(64 - n));
    }
    // Bytes that escaping changes or drops inside a string: 0, TAB, LF, CR
    // (a byte matches when the table entry for its low nibble is itself).
    static inline uint64_t m_ctl(const uint8_t *p) {
        const __m256i t = _mm256_setr_epi8(0, -1, -1, -1, -1, -1, -1, -1, -1, 9, 10, -1, -1, 13, -1, -1, 0, -1, -1, -1,
                                           -1, -1, -1, -1, -1, 9, 10, -1, -1, 13, -1, -1);
        auto f = [&](__m256i x) { return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(t, x), x); };
        return both(f(ld(p)), f(ld(p + 32)));
    }
    static inline uint64_t eq1(const uint8_t *p, uint8_t c) {
        return m32(eq(ld(p), static_cast<char>(c))) | (m32(eq(ld(p + 32), static_cast<char>(c))) << 32);
    }
    static inline uint64_t eq2(const uint8_t *p, char a, char b) {
        __m256i x = ld(p), y = ld(p + 32);
        return m32(_mm256_or_si256(eq(x, a), eq(x, b))) | (m32(_mm256_or_si256(eq(y, a), eq(y, b))) << 32);
    }
    static inline uint64_t eq2_low(const uint8_t *p, char a, char b) {
        auto f = [&](__m256i x) {
            __m256i low = _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(13)), x);
            return m32(_mm256_or_si256(low, _mm256_or_si256(eq(x, a), eq(x, b))));
        };
        return f(ld(p)) | (f(ld(p + 32)) << 32);
    }
    static inline uint64_t ws(const uint8_t *p) { return m32(is_ws(ld(p))) | (m32(is_ws(ld(p + 32))) << 32); }
    static inline uint64_t digits(const uint8_t *p) {
        return m32(is_digit(ld(p))) | (m32(is_digit(ld(p + 32))) << 32);
    }
    static inline uint64_t pxor(uint64_t x) {
        return static_cast<uint64_t>(_mm_cvtsi128_si64(
            _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<int64_t>(x)), _mm_set1_epi8(-1), 0)));
    }
    static inline void copy64(char *w, const uint8_t *p) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(w), ld(p));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(w + 32), ld(p + 32));
    }
    // Eight bytes at a time through a table of shuffles; may store up to 72 bytes.
    static inline char *compress(char *w, const uint8_t *p, uint64_t keep) {
        if (keep == ~uint64_t{0}) {
            copy64(w, p);
            return w + 64;
        }
        for (int g = 0; g < 8; ++g) {
            unsigned m = static_cast<unsigned>(keep >> (8 * g)) & 0xff;
            __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + 8 * g));
            __m128i sh = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(kCompress.idx[m]));
            _mm_storel_epi64(reinterpret_cast<__m128i *>(w), _mm_shuffle_epi8(x, sh));
            w += kCompress.count[m];
        }
        return w;
    }
};

#include "walk.inc"

}  // namespace zel::json::avx2

const zel::json::Engine zel::json::kEngineAvx2 = zel::json::avx2::make_engine<true>("avx2");

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
