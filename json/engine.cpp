// Choosing the kernel: once, from the CPU's features (and what the operating
// system saves of the vector registers), unless ZEL_JSON_KERNEL names one.
#include "engine.h"

#include <cpuid.h>
#include <stdlib.h>

namespace zel::json {
namespace {

uint64_t xcr0() {
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<uint64_t>(hi) << 32) | lo;
}

KernelId detect() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return kSse2;
    bool osxsave = c & bit_OSXSAVE, pclmul = c & bit_PCLMUL, popcnt = c & bit_POPCNT;
    uint64_t x = osxsave ? xcr0() : 0;
    bool ymm = (x & 0x6) == 0x6, zmm = (x & 0xe6) == 0xe6;
    if (__get_cpuid_max(0, nullptr) < 7) return kSse2;
    __cpuid_count(7, 0, a, b, c, d);
    bool avx2 = b & bit_AVX2, bmi = b & bit_BMI, bmi2 = b & bit_BMI2;
    bool f = b & bit_AVX512F, bw = b & bit_AVX512BW, vl = b & bit_AVX512VL;
    unsigned ea = 0, eb = 0, ec = 0, ed = 0;
    bool lzcnt = __get_cpuid(0x80000001, &ea, &eb, &ec, &ed) && (ec & bit_LZCNT);
    if (!(ymm && avx2 && bmi && bmi2 && popcnt && lzcnt && pclmul)) return kSse2;
    if (zmm && f && bw && vl) return kAvx512;
    return kAvx2;
}

const Engine *const kEngines[kKernelCount] = {&kEngineExact, &kEngineSse2, &kEngineAvx2, &kEngineAvx512};

const Engine *g_engine = nullptr;

const Engine *choose() {
    KernelId best = best_kernel();
    KernelId id = best;
    if (const char *want = getenv("ZEL_JSON_KERNEL")) {
        for (int k = 0; k <= best; ++k)
            if (strcmp(want, kEngines[k]->name) == 0) id = static_cast<KernelId>(k);
    }
    return kEngines[id];
}

}  // namespace

KernelId best_kernel() {
    static const KernelId best = detect();
    return best;
}

const Engine &engine() {
    // Every thread that races here computes the same choice.
    const Engine *e = __atomic_load_n(&g_engine, __ATOMIC_ACQUIRE);
    if (__builtin_expect(e == nullptr, 0)) {
        e = choose();
        __atomic_store_n(&g_engine, e, __ATOMIC_RELEASE);
    }
    return *e;
}

bool force_kernel(KernelId id) {
    if (id < 0 || id > best_kernel()) return false;
    __atomic_store_n(&g_engine, kEngines[id], __ATOMIC_RELEASE);
    return true;
}

}  // namespace zel::json
