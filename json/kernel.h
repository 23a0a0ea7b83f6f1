// What every kernel translation unit includes before opening its target
// region: the engine table, the intrinsics, and the tables the kernels share.
#pragma once

#include <immintrin.h>

#include "engine.h"


namespace zel::json {

// What the reader without output checks numbers and literals with.
struct ScanR {
    uint64_t dig;      // 0-9
    uint64_t start;    // what a number or a literal may start with: 0-9 - t n f
    uint64_t l4, l5;   // t or n; f
};

// One byte per token for the grammar pass: which kind of token it is.
enum TokBits : uint8_t {
    tOpen = 1, tClose = 2, tObj = 4, tComma = 8, tColon = 16, tStr = 32, tScal = 64, tKey = 128,
};
// The token code of a token's first byte: punctuation and the quote as they
// are, anything else starts a number or a literal.
struct TokTable {
    uint8_t c[256];
    constexpr TokTable() : c() {
        for (int i = 0; i < 256; ++i) c[i] = tScal;
        c['{'] = tOpen | tObj;
        c['['] = tOpen;
        c['}'] = tClose | tObj;
        c[']'] = tClose;
        c[','] = tComma;
        c[':'] = tColon;
        c['"'] = tStr;
    }
};
inline constexpr TokTable kTok{};
// The same by nibbles, for byte shuffles: code = lo[x & 15] & hi[x >> 4] for
// punctuation and the quote, 0 for every other byte.
inline constexpr uint8_t kTokLo[16] = {0, 0, tStr, 0, 0, 0, 0, 0, 0, 0, tColon, tOpen | tObj, tComma, tClose | tObj, 0, 0};
inline constexpr uint8_t kTokHi[16] = {0, 0, tStr | tComma, tColon, 0, tOpen | tClose, 0, tOpen | tClose | tObj,
                                       0, 0, 0, 0, 0, 0, 0, 0};

// Token masks of 64 token codes.
struct TokM {
    uint64_t op, cl, ob, cm, kc, st, sc, key;
};

// Writes the codes of the tokens starting at the bits of t (in order) and
// returns their number; the string tokens at the bits of key get tKey.
inline int emit_bytes(uint8_t *out, const uint8_t *b, uint64_t t, uint64_t key) {
    int k = 0;
    while (t) {
        const int i = __builtin_ctzll(t);
        t &= t - 1;
        out[k++] = static_cast<uint8_t>(kTok.c[b[i]] | (((key >> i) & 1) << 7));
    }
    return k;
}

// The block interface of the kernels that read every mask through a block's
// address: no constants to keep, and a block is its address.
struct AddressBlocks {
    struct Consts {};
    static Consts consts() { return {}; }
    using Blk = const uint8_t *;
    static Blk blk(const uint8_t *p, const Consts &) { return p; }
    // No shifted letter check: the writer spells literals out one at a time.
    template <class B>
    static uint64_t misspelled(const B &, const uint8_t *, uint64_t, uint64_t) = delete;
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
