// Choosing the kernel: once, from the instruction set the process runs with
// (ZEL_KERNEL caps it, and "exact" asks for the byte walk alone).
#include "engine.h"

#include <cpuid.h>
#include <stdlib.h>

#include "../runtime/core/cpu.h"

namespace zel::json {
namespace {

const Engine *const kEngines[kKernelCount] = {&kEngineExact, &kEngineSse2, &kEngineAvx2, &kEngineAvx512f,
                                              &kEngineAvx512};

const Engine *g_engine = nullptr;

bool has_vbmi2() {
    unsigned a, b, c, d;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (c & bit_AVX512VBMI2) != 0;
}

// The kernel for an instruction set this CPU runs.
KernelId kernel_for(Isa i) {
    if (i == Isa::kAvx512) return has_vbmi2() ? kAvx512 : kAvx512f;
    return i == Isa::kAvx2 ? kAvx2 : kSse2;
}

const Engine *choose() {
    if (exact_kernel_requested()) return kEngines[kExact];
    KernelId k = kernel_for(isa());
    const char *want = getenv("ZEL_KERNEL");
    if (want != nullptr && strcmp(want, "avx512f") == 0 && k > kAvx512f) k = kAvx512f;
    return kEngines[k];
}

}  // namespace

KernelId best_kernel() {
    static const KernelId best = kernel_for(cpu_isa());
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
