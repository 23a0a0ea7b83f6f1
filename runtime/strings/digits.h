// Integer text without printf: decimal, hexadecimal, octal and binary digits,
// byte for byte what "%ld", "%lx" and "%lo" print. Shared by the formatting
// operations, the string builder and the JSON writers.
#pragma once

#include <stdint.h>
#include <string.h>

namespace zel {

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Decimal digits of m (at most 20) written to buf; returns how many.
inline size_t format_u64(uint64_t m, char *buf) {
    size_t digits = 1;
    for (uint64_t bound = 10; digits < 20 && m >= bound; bound *= 10) ++digits;
    char *w = buf + digits;
    while (m >= 100) {
        w -= 2;
        memcpy(w, kDigitPairs + 2 * (m % 100), 2);
        m /= 100;
    }
    if (m >= 10) {
        w -= 2;
        memcpy(w, kDigitPairs + 2 * m, 2);
    } else {
        *--w = static_cast<char>('0' + m);
    }
    return digits;
}

// "%ld" of v into buf (room for 20 bytes); returns the length.
inline size_t format_i64(int64_t v, char *buf) {
    if (v >= 0) return format_u64(static_cast<uint64_t>(v), buf);
    buf[0] = '-';
    return 1 + format_u64(0 - static_cast<uint64_t>(v), buf + 1);
}

// Digits of m in base 2^shift (1: binary, 3: octal, 4: lower-case hex),
// without leading zeros ("0" for 0), into buf (room for 64); returns how many.
inline size_t format_pow2(uint64_t m, int shift, char *buf) {
    static constexpr char kHex[] = "0123456789abcdef";
    size_t digits = 1;
    if (m != 0) digits = static_cast<size_t>((64 - __builtin_clzll(m) + shift - 1) / shift);
    const uint64_t mask = (uint64_t{1} << shift) - 1;
    for (size_t i = digits; i-- > 0; m >>= shift) buf[i] = kHex[m & mask];
    return digits;
}

}  // namespace zel
