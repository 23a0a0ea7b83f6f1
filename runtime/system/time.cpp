// Monotonic clocks, sleeping and the per-thread pseudo-random generator.
#include <errno.h>
#include <time.h>
#include <unistd.h>

#include "../core/internal.h"

namespace zel {
namespace {

// The longest sleep whose microsecond count fits usleep's 32-bit argument.
constexpr int32_t kLongestPiece = 4294967;
constexpr uint64_t kClockSeedMix = 0x5DEECE66Dull;

}  // namespace
}  // namespace zel

ZEL_EXPORT int64_t zel_time_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
ZEL_EXPORT int64_t time_ns(void) ZEL_ALIAS_OF(zel_time_ns);
ZEL_EXPORT int64_t now_ns(void) ZEL_ALIAS_OF(zel_time_ns);

ZEL_EXPORT int64_t zel_time_ms(void) { return zel_time_ns() / 1000000; }
ZEL_EXPORT int64_t time_ms(void) ZEL_ALIAS_OF(zel_time_ms);
ZEL_EXPORT int64_t now_ms(void) ZEL_ALIAS_OF(zel_time_ms);

// A negative duration is refused without sleeping; one whose microseconds
// would not fit 32 bits is slept in pieces rather than wrapped to a short nap.
ZEL_EXPORT int32_t zel_sleep_ms(int32_t ms) {
    if (ms < 0) {
        errno = EINVAL;
        return -1;
    }
    for (; ms > zel::kLongestPiece; ms -= zel::kLongestPiece)
        if (usleep(static_cast<uint32_t>(zel::kLongestPiece) * 1000u) != 0) return -1;
    return usleep(static_cast<uint32_t>(ms) * 1000u);
}

ZEL_EXPORT int64_t sleep_ms(int32_t ms) {
    zel_sleep_ms(ms);
    return 0;
}

// xorshift (13, 7, 17) over this thread's state, seeded from the clock on the
// first draw; the state keeps 64 bits, the value drops the top one.
ZEL_EXPORT int64_t zel_random_i64(void) {
    uint64_t x = zel::t_state.rng_state;
    if (x == 0) x = static_cast<uint64_t>(zel_time_ns()) ^ zel::kClockSeedMix;
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    zel::t_state.rng_state = x;
    return static_cast<int64_t>(x & 0x7FFFFFFFFFFFFFFFull);
}

ZEL_EXPORT void zel_random_seed(int64_t seed) {
    zel::t_state.rng_state = seed != 0 ? static_cast<uint64_t>(seed) : 1;
}
