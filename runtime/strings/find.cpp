// Search kernels: the vector builds of find_kernel.inc and the linear-time
// fallbacks they hand pathological inputs to.
#include "find.h"

#include <immintrin.h>
#include <stdlib.h>
#include <string.h>

#include "../core/cpu.h"

namespace zel::text {
namespace {

// glibc's memmem is linear in the haystack and the needle.
int64_t slow_first(const uint8_t *h, int64_t n, const uint8_t *nd, int64_t m, int64_t from) {
    if (m > n - from) return -1;
    const void *r = memmem(h + from, static_cast<size_t>(n - from), nd, static_cast<size_t>(m));
    return r ? static_cast<const uint8_t *>(r) - h : -1;
}

// The last occurrence at a position <= top: one forward pass of the
// prefix-function matcher over h[0, top + m), remembering the last match.
int64_t slow_last(const uint8_t *h, const uint8_t *nd, int64_t m, int64_t top) {
    if (top < 0) return -1;
    auto *border = static_cast<int64_t *>(malloc(static_cast<size_t>(m) * sizeof(int64_t)));
    if (border == nullptr) {
        // No room for the table: direct comparison still answers.
        for (int64_t pos = top; pos >= 0; --pos)
            if (memcmp(h + pos, nd, static_cast<size_t>(m)) == 0) return pos;
        return -1;
    }
    border[0] = 0;
    for (int64_t i = 1, k = 0; i < m; ++i) {
        while (k > 0 && nd[i] != nd[k]) k = border[k - 1];
        if (nd[i] == nd[k]) ++k;
        border[i] = k;
    }
    int64_t last = -1;
    for (int64_t i = 0, q = 0, end = top + m; i < end; ++i) {
        while (q > 0 && h[i] != nd[q]) q = border[q - 1];
        if (h[i] == nd[q]) ++q;
        if (q == m) {
            last = i + 1 - m;
            q = border[q - 1];
        }
    }
    free(border);
    return last;
}

int64_t slow_batch(const uint8_t *h, int64_t n, const uint8_t *nd, int64_t m, int64_t *from, int64_t *out,
                   int64_t cap) {
    int64_t k = 0, b = *from;
    while (k < cap) {
        int64_t pos = slow_first(h, n, nd, m, b);
        if (pos < 0) {
            b = n;
            break;
        }
        out[k++] = pos;
        b = pos + m;
    }
    *from = b;
    return k;
}

}  // namespace

namespace sse2 {
#define KFN
inline uint64_t eq64(const uint8_t *p, uint8_t c) {
    const __m128i v = _mm_set1_epi8(static_cast<char>(c));
    uint64_t m = 0;
    for (int j = 0; j < 4; ++j) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * j));
        m |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, v)))) << (16 * j);
    }
    return m;
}
inline uint64_t pair64(const uint8_t *p, int64_t d, uint8_t a, uint8_t z) {
    const __m128i va = _mm_set1_epi8(static_cast<char>(a)), vz = _mm_set1_epi8(static_cast<char>(z));
    uint64_t m = 0;
    for (int j = 0; j < 4; ++j) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * j));
        __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + d + 16 * j));
        __m128i both = _mm_and_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(y, vz));
        m |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(both))) << (16 * j);
    }
    return m;
}
#include "find_kernel.inc"
#undef KFN
}  // namespace sse2

namespace avx2 {
#define KFN __attribute__((target("avx2")))
KFN inline uint64_t eq64(const uint8_t *p, uint8_t c) {
    const __m256i v = _mm256_set1_epi8(static_cast<char>(c));
    __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32));
    uint64_t lo = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x0, v)));
    uint64_t hi = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x1, v)));
    return lo | hi << 32;
}
KFN inline uint64_t pair64(const uint8_t *p, int64_t d, uint8_t a, uint8_t z) {
    const __m256i va = _mm256_set1_epi8(static_cast<char>(a)), vz = _mm256_set1_epi8(static_cast<char>(z));
    __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32));
    __m256i y0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + d));
    __m256i y1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + d + 32));
    __m256i b0 = _mm256_and_si256(_mm256_cmpeq_epi8(x0, va), _mm256_cmpeq_epi8(y0, vz));
    __m256i b1 = _mm256_and_si256(_mm256_cmpeq_epi8(x1, va), _mm256_cmpeq_epi8(y1, vz));
    uint64_t lo = static_cast<uint32_t>(_mm256_movemask_epi8(b0));
    uint64_t hi = static_cast<uint32_t>(_mm256_movemask_epi8(b1));
    return lo | hi << 32;
}
#include "find_kernel.inc"
#undef KFN
}  // namespace avx2

namespace {
constexpr Kernels kBuilds[2] = {
    {sse2::find_first, sse2::find_last, sse2::find_batch, sse2::count, sse2::replace},
    {avx2::find_first, avx2::find_last, avx2::find_batch, avx2::count, avx2::replace},
};
}  // namespace

const Kernels &kernels_for(int which) { return kBuilds[which == 0 ? 0 : 1]; }

const Kernels &kernels() {
    static const Kernels &chosen = kBuilds[isa() == Isa::kSse2 ? 0 : 1];
    return chosen;
}

}  // namespace zel::text
