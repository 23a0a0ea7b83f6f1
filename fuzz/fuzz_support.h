// Shared by the operation-sequence targets: reading the input as a stream of
// small integers and texts, and a check that stops the run with its line.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "zel.h"

#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);          \
            abort();                                                                          \
        }                                                                                     \
    } while (0)

namespace fz {

// The input read front to back; past its end every read gives zeros.
struct Input {
    const uint8_t *p;
    size_t n;
    bool empty() const { return n == 0; }
    uint8_t byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    int8_t sbyte() { return static_cast<int8_t>(byte()); }
    int64_t word() {
        uint64_t w = 0;
        for (int i = 0; i < 8; ++i) w = (w << 8) | byte();
        return static_cast<int64_t>(w);
    }
    // Up to k bytes as text (fewer at the end of the input).
    std::string text(size_t k) {
        if (k > n) k = n;
        std::string s(reinterpret_cast<const char *>(p), k);
        p += k;
        n -= k;
        return s;
    }
};

inline std::string bytes_of(const ZelString *s) { return std::string(s->data, static_cast<size_t>(s->len)); }

// Every string the runtime makes: NUL after the bytes, cap equal to len.
inline void check_made(const ZelString *s) {
    FUZZ_CHECK(s != nullptr && s->data != nullptr && s->len >= 0);
    FUZZ_CHECK(s->data[s->len] == '\0' && s->cap == s->len);
}

// A result the caller owns: its bytes, then it is released (a no-op in arena mode).
inline std::string take(ZelString *s) {
    check_made(s);
    std::string r = bytes_of(s);
    zel_string_free(s);
    return r;
}

// Text as strlen-measured results keep it: up to the first NUL byte.
inline std::string upto_nul(std::string s) {
    size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
    return s;
}

}  // namespace fz
