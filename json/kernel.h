// What every kernel translation unit includes before opening its target
// region: the engine table, the intrinsics, and the tables the kernels share.
#pragma once

#include <immintrin.h>

#include "engine.h"

namespace zel::json {

// Masks of one 64-byte block, bit i for byte i.
struct Raw {
    uint64_t q, bs, ws, opn, cls, objb, com, col, dig, mns, lt, lf, ln;
};
// What writing needs besides.
struct RawW {
    uint64_t sp, nul, zero, r, u, e, a, l, s;
};

// Shuffle indices that gather the bytes of an 8-bit mask to the front.
struct CompressTable {
    uint8_t idx[256][8];
    uint8_t count[256];
    constexpr CompressTable() : idx(), count() {
        for (int m = 0; m < 256; ++m) {
            int k = 0;
            for (int b = 0; b < 8; ++b)
                if (m & (1 << b)) idx[m][k++] = static_cast<uint8_t>(b);
            count[m] = static_cast<uint8_t>(k);
            for (; k < 8; ++k) idx[m][k] = 0x80;
        }
    }
};
inline constexpr CompressTable kCompress{};

}  // namespace zel::json
