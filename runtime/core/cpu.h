// The instruction set the vector kernels use, chosen once per process.
#pragma once

namespace zel {

// kAvx2 stands for AVX2 with BMI1/2, POPCNT, LZCNT and PCLMUL, kAvx512 for
// AVX-512 F/BW/VL on top; each also needs the operating system to save the
// registers.
enum class Isa { kSse2 = 0, kAvx2 = 1, kAvx512 = 2 };

// The best set this CPU and system support.
Isa cpu_isa();
// cpu_isa(), capped by the environment variable ZEL_KERNEL ("sse2", "avx2",
// "avx512"; "exact" also caps at "sse2" and puts the JSON reader on its byte
// walk) so that tests can drive every kernel on one machine. Read once.
Isa isa();
// Whether ZEL_KERNEL asks for the JSON reader's byte walk alone.
bool exact_kernel_requested();

}  // namespace zel
