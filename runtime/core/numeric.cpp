// Integer and floating-point built-ins. Signed arithmetic that may leave the
// 64-bit range is done on unsigned values so it wraps instead of being undefined.
#include <math.h>

#include "internal.h"

extern "C" {
__attribute__((visibility("default"))) volatile int64_t zel_black_box_sink = 0;
}

namespace zel {
namespace {

inline uint64_t u(int64_t x) { return static_cast<uint64_t>(x); }
inline int64_t s(uint64_t x) { return static_cast<int64_t>(x); }

// (a * b) mod m without overflow.
inline uint64_t mulmod(uint64_t a, uint64_t b, uint64_t m) {
    return static_cast<uint64_t>(static_cast<unsigned __int128>(a) * b % m);
}

uint64_t powmod(uint64_t base, uint64_t exp, uint64_t m) {
    uint64_t result = 1;
    base %= m;
    while (exp) {
        if (exp & 1) result = mulmod(result, base, m);
        base = mulmod(base, base, m);
        exp >>= 1;
    }
    return result;
}

// Strong probable-prime test of odd n > 37 to base a.
bool strong_probable_prime(uint64_t n, uint64_t a) {
    uint64_t d = n - 1;
    int r = __builtin_ctzll(d);
    d >>= r;
    uint64_t x = powmod(a, d, n);
    if (x == 1 || x == n - 1) return true;
    for (int i = 1; i < r; ++i) {
        x = mulmod(x, x, n);
        if (x == n - 1) return true;
    }
    return false;
}

// Trial division is the answer for small n; beyond this bound the first twelve
// prime bases make Miller-Rabin exact for every 64-bit value, at a cost that no
// longer grows with sqrt(n).
constexpr uint64_t kTrialLimit = 1000;

}  // namespace
}  // namespace zel

using zel::s;
using zel::u;

ZEL_EXPORT int64_t zel_abs(int64_t x) { return x < 0 ? s(0 - u(x)) : x; }

ZEL_EXPORT int64_t zel_min(int64_t a, int64_t b) { return a < b ? a : b; }
ZEL_EXPORT int64_t zel_max(int64_t a, int64_t b) { return a > b ? a : b; }
ZEL_EXPORT int64_t min(int64_t a, int64_t b) ZEL_ALIAS_OF(zel_min);
ZEL_EXPORT int64_t max(int64_t a, int64_t b) ZEL_ALIAS_OF(zel_max);

ZEL_EXPORT int64_t zel_clamp(int64_t x, int64_t lo, int64_t hi) {
    if (x < lo) return lo;
    return x < hi ? x : hi;
}
ZEL_EXPORT int64_t zel_clamp_i64(int64_t x, int64_t lo, int64_t hi) ZEL_ALIAS_OF(zel_clamp);

ZEL_EXPORT int64_t zel_pow(int64_t base, int64_t exp) {
    if (exp < 0) return 0;
    uint64_t result = 1, b = u(base), e = u(exp);
    while (e) {
        if (e & 1) result *= b;
        b *= b;
        e >>= 1;
    }
    return s(result);
}
ZEL_EXPORT int64_t zel_pow_i64(int64_t base, int64_t exp) ZEL_ALIAS_OF(zel_pow);

// Binary GCD: the same value as Euclid's algorithm on the magnitudes, without divisions.
ZEL_EXPORT int64_t zel_gcd_i64(int64_t a, int64_t b) {
    uint64_t x = a < 0 ? 0 - u(a) : u(a);
    uint64_t y = b < 0 ? 0 - u(b) : u(b);
    if (x == 0) return s(y);
    if (y == 0) return s(x);
    int shift = __builtin_ctzll(x | y);
    x >>= __builtin_ctzll(x);
    do {
        y >>= __builtin_ctzll(y);
        if (x > y) {
            uint64_t t = x;
            x = y;
            y = t;
        }
        y -= x;
    } while (y != 0);
    return s(x << shift);
}

ZEL_EXPORT int64_t zel_is_power_of_two(int64_t x) { return x > 0 && (x & (x - 1)) == 0; }

ZEL_EXPORT int64_t zel_next_power_of_two(int64_t x) {
    if (x < 2) return 1;
    uint64_t v = u(x) - 1;
    v |= v >> 1;
    v |= v >> 2;
    v |= v >> 4;
    v |= v >> 8;
    v |= v >> 16;
    v |= v >> 32;
    return s(v + 1);
}

ZEL_EXPORT int64_t zel_is_prime(int64_t n) {
    if (n < 2) return 0;
    if (n < 4) return 1;
    uint64_t m = u(n);
    if (m % 2 == 0 || m % 3 == 0) return 0;
    if (m < 25) return 1;
    for (uint64_t i = 5; i <= zel::kTrialLimit; i += 6) {
        if (m % i == 0 || m % (i + 2) == 0) return 0;
        if ((i + 6) * (i + 6) > m) return 1;
    }
    static const uint64_t bases[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};
    for (uint64_t a : bases)
        if (!zel::strong_probable_prime(m, a)) return 0;
    return 1;
}

ZEL_EXPORT int64_t zel_popcount(int64_t x) {
    uint64_t v = u(x);
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return s((v * 0x0101010101010101ull) >> 56);
}

ZEL_EXPORT int64_t zel_clz(int64_t x) { return x == 0 ? 64 : __builtin_clzll(u(x)); }
ZEL_EXPORT int64_t zel_ctz(int64_t x) { return x == 0 ? 64 : __builtin_ctzll(u(x)); }

ZEL_EXPORT int64_t zel_bit_reverse(int64_t x) {
    uint64_t v = __builtin_bswap64(u(x));
    v = ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
    v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
    v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
    return s(v);
}

ZEL_EXPORT double zel_i64_to_f64(int64_t x) { return static_cast<double>(x); }

// The range test comes first: converting an unrepresentable double is undefined
// in C++, while callers rely on the processor's answer, the most negative value.
ZEL_EXPORT int64_t zel_f64_to_i64(double x) {
    if (x >= -9223372036854775808.0 && x < 9223372036854775808.0) return static_cast<int64_t>(x);
    return INT64_MIN;
}
ZEL_EXPORT int64_t zel_f64_to_int(double x) ZEL_ALIAS_OF(zel_f64_to_i64);

ZEL_EXPORT double zel_f64_floor(double x) { return floor(x); }
ZEL_EXPORT double zel_f64_ceil(double x) { return ceil(x); }
ZEL_EXPORT double zel_f64_round(double x) { return round(x); }

ZEL_EXPORT double zel_f64_sqrt(double x) {
    if (x >= 0) {
        double r;
        __asm__("sqrtsd %1, %0" : "=x"(r) : "x"(x));
        return r;
    }
    return sqrt(x);
}

ZEL_EXPORT double zel_f64_abs(double x) { return __builtin_fabs(x); }
ZEL_EXPORT int64_t zel_f64_is_nan(double x) { return __builtin_isnan(x) ? 1 : 0; }
ZEL_EXPORT double zel_f64_min(double a, double b) { return a < b ? a : b; }
ZEL_EXPORT double zel_f64_max(double a, double b) { return a > b ? a : b; }
ZEL_EXPORT double pow_f64(double base, double exp) { return pow(base, exp); }

ZEL_EXPORT int64_t zel_black_box(int64_t x) {
    zel_black_box_sink = x;
    return zel_black_box_sink;
}
