// The AVX-512 kernel (F, BW and VL, with the AVX2 set): one register and one
// mask per 64-byte block.
#include "kernel.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vl,avx2,bmi,bmi2,popcnt,lzcnt,pclmul"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx2,bmi,bmi2,popcnt,lzcnt,pclmul")
// The intrinsics headers of some compilers trip this on their own broadcasts.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace zel::json::avx512 {

// Byte constants as whole registers in memory: a compare takes one straight
// from there instead of a broadcast per block.
struct alignas(64) Splat {
    uint8_t b[64];
};
template <char C>
inline constexpr Splat kSplat = [] {
    Splat s{};
    for (auto &x : s.b) x = static_cast<uint8_t>(C);
    return s;
}();

struct K {
    static inline __m512i ld(const uint8_t *p) { return _mm512_loadu_si512(p); }
    template <char C>
    static inline __m512i splat() { return _mm512_load_si512(kSplat<C>.b); }
    static inline uint64_t eq(__m512i x, char c) { return _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(c)); }
    template <char C>
    static inline uint64_t eqc(__m512i x) { return _mm512_cmpeq_epi8_mask(x, splat<C>()); }
    static inline uint64_t is_ws(__m512i x) { return eq(x, ' ') | eq(x, '\t') | eq(x, '\n') | eq(x, '\r'); }
    static inline uint64_t is_digit(__m512i x) {
        return _mm512_cmplt_epu8_mask(_mm512_sub_epi8(x, _mm512_set1_epi8('0')), _mm512_set1_epi8(10));
    }

    static inline void classify(const uint8_t *p, Raw &r) {
        __m512i x = ld(p), x20 = _mm512_or_si512(x, splat<0x20>());
        r.q = eqc<'"'>(x);
        r.bs = eqc<'\\'>(x);
        r.ws = eqc<' '>(x) | eqc<'\t'>(x) | eqc<'\n'>(x) | eqc<'\r'>(x);
        r.opn = eqc<'{'>(x20);
        r.cls = eqc<'}'>(x20);
        r.objb = _mm512_test_epi8_mask(x, splat<0x20>());
        r.com = eqc<','>(x);
        r.col = eqc<':'>(x);
        r.dig = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(x, splat<'0'>()), splat<10>());
        r.mns = eqc<'-'>(x);
        r.lt = eqc<'t'>(x);
        r.lf = eqc<'f'>(x);
        r.ln = eqc<'n'>(x);
    }
    static inline void classify_w(const uint8_t *p, RawW &w) {
        __m512i x = ld(p);
        w = RawW{eq(x, ' '), eq(x, 0), eq(x, '0'), eq(x, 'r'), eq(x, 'u'), eq(x, 'e'), eq(x, 'a'), eq(x, 'l'),
                 eq(x, 's')};
    }
    static inline uint64_t eq2(const uint8_t *p, char a, char b) {
        __m512i x = ld(p);
        return eq(x, a) | eq(x, b);
    }
    static inline uint64_t eq2_low(const uint8_t *p, char a, char b) {
        __m512i x = ld(p);
        return eq(x, a) | eq(x, b) | _mm512_cmple_epu8_mask(x, _mm512_set1_epi8(13));
    }
    static inline uint64_t ws(const uint8_t *p) { return is_ws(ld(p)); }
    static inline uint64_t digits(const uint8_t *p) { return is_digit(ld(p)); }
    static inline uint64_t pxor(uint64_t x) {
        return static_cast<uint64_t>(_mm_cvtsi128_si64(
            _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<int64_t>(x)), _mm_set1_epi8(-1), 0)));
    }
    static inline void copy64(char *w, const uint8_t *p) { _mm512_storeu_si512(w, ld(p)); }
    // Sixteen bytes at a time, widened to 32-bit lanes for the compress of
    // AVX-512F; may store up to 64 bytes.
    static inline char *compress(char *w, const uint8_t *p, uint64_t keep) {
        if (keep == ~uint64_t{0}) {
            copy64(w, p);
            return w + 64;
        }
        for (int g = 0; g < 4; ++g) {
            __mmask16 m = static_cast<__mmask16>(keep >> (16 * g));
            __m512i wide = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * g)));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(w), _mm512_cvtepi32_epi8(_mm512_maskz_compress_epi32(m, wide)));
            w += __builtin_popcount(m);
        }
        return w;
    }
};

#include "walk.inc"

}  // namespace zel::json::avx512

const zel::json::Engine zel::json::kEngineAvx512 = zel::json::avx512::make_engine<true>("avx512");

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
