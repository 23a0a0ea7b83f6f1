// The reader behind the host functions. It follows the tape parser's grammar
// byte for byte but stores nothing: values are skipped or written out as they
// are met, so documents of any size and containers of any width are answered
// in one pass with memory proportional to the answer only.
//
// The same reader is built once per vector kernel (kernel_*.cpp); one of them
// is chosen at the first call from the CPU's features. Every kernel gives the
// same answers: the vector scan only ever replays what the exact byte walk
// would have done, and hands back to it wherever the input leaves the shapes it
// models.
#pragma once

#include "text.h"

namespace zel::json {

struct Engine {
    const char *name;
    // End of the root value's walk (the caller adds trailing whitespace).
    int64_t (*root_end)(const uint8_t *d, int64_t n, int64_t pos);
    // Compact text of the value at pos, met at `depth`.
    ZelString *(*write)(const uint8_t *d, int64_t n, int64_t pos, int64_t depth);
    // Position of the value of the first member of the root object at rp whose
    // raw key bytes equal key[0, klen), or -1.
    int64_t (*find_member)(const uint8_t *d, int64_t n, int64_t rp, const uint8_t *key, int64_t klen);
    // Children of the root container at rp.
    int64_t (*count)(const uint8_t *d, int64_t n, int64_t rp);
    // Position of element `index` of the root array at rp, or -1.
    int64_t (*element)(const uint8_t *d, int64_t n, int64_t rp, int64_t index);
    // Decoded content of the string whose opening quote is at pos.
    ZelString *(*decoded)(const uint8_t *d, int64_t n, int64_t pos);
    int64_t (*ws)(const uint8_t *d, int64_t n, int64_t pos);
    // Value of the number at pos ('-' or a digit), in wrapping decimal arithmetic.
    int64_t (*number)(const uint8_t *d, int64_t n, int64_t pos);
};

// Kernels, slowest first; kExact is the byte walk alone (a reference for
// tests), kAvx512f the AVX-512 build for CPUs without AVX512_VBMI2.
enum KernelId : int { kExact = 0, kSse2 = 1, kAvx2 = 2, kAvx512f = 3, kAvx512 = 4, kKernelCount = 5 };

extern const Engine kEngineExact, kEngineSse2, kEngineAvx2, kEngineAvx512f, kEngineAvx512;

// Best kernel this CPU runs.
KernelId best_kernel();
// The kernel in use: chosen once, the best this CPU runs, capped by
// ZEL_KERNEL (exact, sse2, avx2, avx512f, avx512).
const Engine &engine();
// Tests built with the library's sources switch kernels directly; a kernel the
// CPU lacks is refused (returns false).
bool force_kernel(KernelId id);

inline Kind kind_of(const uint8_t *d, int64_t n, int64_t p) {
    if (p < 0 || p >= n) return kNull;
    switch (d[p]) {
        case '"': return kString;
        case '-': case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': return kNumber;
        case '[': return kArray;
        case '{': return kObject;
        case 't': case 'f': return kBool;
        default: return kNull;
    }
}

}  // namespace zel::json
