// CPU feature detection for the kernels that have vector builds. cpuid is
// read directly: the compiler's feature helpers live in data that a shared
// object would export.
#include "cpu.h"

#include <cpuid.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace zel {
namespace {

uint64_t xcr0() {
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<uint64_t>(hi) << 32) | lo;
}

Isa detect() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return Isa::kSse2;
    bool osxsave = c & bit_OSXSAVE, pclmul = c & bit_PCLMUL, popcnt = c & bit_POPCNT;
    uint64_t x = osxsave ? xcr0() : 0;
    bool ymm = (x & 0x6) == 0x6, zmm = (x & 0xe6) == 0xe6;
    if (__get_cpuid_max(0, nullptr) < 7) return Isa::kSse2;
    __cpuid_count(7, 0, a, b, c, d);
    bool avx2 = b & bit_AVX2, bmi = b & bit_BMI, bmi2 = b & bit_BMI2;
    bool f = b & bit_AVX512F, bw = b & bit_AVX512BW, vl = b & bit_AVX512VL;
    unsigned ea = 0, eb = 0, ec = 0, ed = 0;
    bool lzcnt = __get_cpuid(0x80000001, &ea, &eb, &ec, &ed) && (ec & bit_LZCNT);
    if (!(ymm && avx2 && bmi && bmi2 && popcnt && lzcnt && pclmul)) return Isa::kSse2;
    if (zmm && f && bw && vl) return Isa::kAvx512;
    return Isa::kAvx2;
}

const char *request() { return getenv("ZEL_KERNEL"); }

Isa capped() {
    Isa best = cpu_isa(), want = best;
    if (const char *r = request()) {
        if (strcmp(r, "sse2") == 0 || strcmp(r, "exact") == 0) want = Isa::kSse2;
        else if (strcmp(r, "avx2") == 0) want = Isa::kAvx2;
    }
    return want < best ? want : best;
}

}  // namespace

// Function-local statics: initialised once, thread-safe, before any kernel runs.
Isa cpu_isa() {
    static const Isa best = detect();
    return best;
}

Isa isa() {
    static const Isa chosen = capped();
    return chosen;
}

bool exact_kernel_requested() {
    static const bool exact = request() != nullptr && strcmp(request(), "exact") == 0;
    return exact;
}

}  // namespace zel
