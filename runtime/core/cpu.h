// The instruction set the vector kernels use, chosen once per process.
#pragma once

namespace zel {

enum class Isa { kSse2 = 0, kAvx2 = 1, kAvx512 = 2 };

// The best set this CPU supports, capped by the environment variable ZEL_ISA
// ("sse2", "avx2" or "avx512") so that tests can drive every kernel on one
// machine; read once, at the first call.
Isa isa();

}  // namespace zel
