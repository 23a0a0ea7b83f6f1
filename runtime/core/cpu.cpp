// CPU feature detection for the kernels that have vector builds.
#include "cpu.h"

#include <stdlib.h>
#include <string.h>

namespace zel {
namespace {

Isa detect() {
    __builtin_cpu_init();
    Isa best = Isa::kSse2;
    if (__builtin_cpu_supports("avx2")) best = Isa::kAvx2;
    if (best == Isa::kAvx2 && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
        best = Isa::kAvx512;
    const char *cap = getenv("ZEL_ISA");
    if (cap != nullptr) {
        Isa want = best;
        if (strcmp(cap, "sse2") == 0) want = Isa::kSse2;
        else if (strcmp(cap, "avx2") == 0) want = Isa::kAvx2;
        else if (strcmp(cap, "avx512") == 0) want = Isa::kAvx512;
        if (want < best) best = want;
    }
    return best;
}

}  // namespace

// A function-local static: initialised once, thread-safe, before any kernel runs.
Isa isa() {
    static const Isa chosen = detect();
    return chosen;
}

}  // namespace zel
