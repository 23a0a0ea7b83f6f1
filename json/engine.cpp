// Choosing the kernel: once, from the instruction set the process runs with
// (ZEL_KERNEL caps it, and "exact" asks for the byte walk alone).
#include "engine.h"

#include "../runtime/core/cpu.h"

namespace zel::json {
namespace {

const Engine *const kEngines[kKernelCount] = {&kEngineExact, &kEngineSse2, &kEngineAvx2, &kEngineAvx512};

const Engine *g_engine = nullptr;

const Engine *choose() {
    if (exact_kernel_requested()) return kEngines[kExact];
    return kEngines[kSse2 + static_cast<int>(isa())];
}

}  // namespace

KernelId best_kernel() { return static_cast<KernelId>(kSse2 + static_cast<int>(cpu_isa())); }

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
