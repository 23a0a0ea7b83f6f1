// Number formatting and parsing: every formatter against snprintf or a direct
// digit loop, the UTF-8 encoder against the encoding written out here, and the
// two parsers against strtol and strtod over a NUL-terminated copy, in either
// allocation mode. With the heap, the size of every fixed result block is
// checked as well.
#include <math.h>
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <vector>

#include "fuzz_support.h"

namespace {

bool g_heap;  // results come from malloc, so their blocks can be measured

std::string printed(const char *fmt, uint64_t x) {
    char buf[80];
    snprintf(buf, sizeof buf, fmt, static_cast<unsigned long>(x));
    return buf;
}

// The formatter's text and block size, then the string is released.
void expect(ZelString *s, const std::string &want, size_t block) {
    fz::check_made(s);
    FUZZ_CHECK(fz::bytes_of(s) == want);
    if (g_heap) FUZZ_CHECK(__sanitizer_get_allocated_size(s->data) == block);
    zel_string_free(s);
}

// Base-2 digits, most significant first, from the highest set bit down.
std::string binary(uint64_t m) {
    if (m == 0) return "0";
    int b = 64;
    while (!(m >> (b - 1) & 1)) --b;
    std::string r;
    for (int i = 0; i < b; ++i) r += (m >> (b - 1 - i) & 1) ? '1' : '0';
    return r;
}

void integers(int64_t x) {
    const auto u = static_cast<uint64_t>(x);
    const std::string dec = printed("%ld", u);
    expect(zel_int_to_string(x), dec, 21);
    expect(int_to_string(x), dec, 21);
    expect(zel_fast_i2s(x), dec, 21);
    const bool t = static_cast<uint8_t>(x) != 0;
    expect(zel_bool_to_string(x), t ? "true" : "false", t ? 5 : 6);
    const std::string hex = printed("%lx", u);
    expect(zel_int_to_hex(x), hex, hex.size() + 1);
    const uint64_t mag = x < 0 ? 0 - u : u;
    expect(zel_to_hex(x), printed(x < 0 ? "-0x%lx" : "0x%lx", mag), 20);
    expect(zel_to_octal(x), printed(x < 0 ? "-0o%lo" : "0o%lo", mag), 26);
    const std::string bin = binary(u);
    expect(zel_int_to_bin(x), bin, bin.size() + 1);
    expect(zel_to_binary(x), "0b" + bin, 67);
}

void float_text(double d) {
    char buf[64];
    snprintf(buf, sizeof buf, "%.9g", d);
    expect(zel_f64_to_string(d), buf, 32);
}

void code_point(int32_t c) {
    std::string want;
    const auto b = [&](int v) { want += static_cast<char>(static_cast<uint8_t>(v)); };
    if (c <= 127) {
        b(c);
    } else if (c <= 2047) {
        b(0xC0 + (c >> 6)), b(0x80 + (c & 0x3F));
    } else if (c <= 65535) {
        b(0xE0 + (c >> 12)), b(0x80 + ((c >> 6) & 0x3F)), b(0x80 + (c & 0x3F));
    } else {
        b(0xF0 | (c >> 18)), b(0x80 + ((c >> 12) & 0x3F)), b(0x80 + ((c >> 6) & 0x3F)), b(0x80 + (c & 0x3F));
    }
    want = fz::upto_nul(want);  // a low byte of 0 ends the text at once
    char *r = zel_char_to_string(c);
    FUZZ_CHECK(r != nullptr && strlen(r) == want.size() && memcmp(r, want.data(), want.size()) == 0);
    if (g_heap) {
        FUZZ_CHECK(__sanitizer_get_allocated_size(r) == 5);
        free(r);
    }
}

// The record's bytes sit in a block of exactly their length, with no NUL
// behind them: a parser must stop at the record's end.
void parse(const std::string &text) {
    std::vector<char> exact(text.begin(), text.end());
    ZelString s{exact.empty() ? const_cast<char *>("") : exact.data(), static_cast<int64_t>(text.size()),
                static_cast<int64_t>(text.size())};
    const std::string copy = text;  // NUL-terminated
    FUZZ_CHECK(zel_parse_int(&s) == static_cast<int64_t>(strtol(copy.c_str(), nullptr, 10)));
    const double want = strtod(copy.c_str(), nullptr), got = zel_parse_f64(&s);
    FUZZ_CHECK(memcmp(&want, &got, sizeof want) == 0);
}

// Bytes folded onto what numbers are made of, so that long valid prefixes are common.
constexpr char kNumberBytes[] = " \t\n+-0123456789.eEpPxXaAbcdfFinINtyu";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fz::Input in{data, size};
    const bool arena = in.byte() & 1;
    g_heap = !arena;
    zel_arena_mode(arena);
    // Null records parse as zero.
    FUZZ_CHECK(zel_parse_int(nullptr) == 0 && zel_parse_f64(nullptr) == 0.0);
    ZelString no_data{nullptr, 5, 5};
    FUZZ_CHECK(zel_parse_int(&no_data) == 0 && zel_parse_f64(&no_data) == 0.0);
    while (!in.empty()) {
        const uint8_t op = in.byte();
        switch (op % 6) {
        case 0:
            integers(in.word());
            break;
        case 1: {
            // Any bit pattern: subnormals, infinities, NaNs with payloads.
            const int64_t w = in.word();
            double d;
            memcpy(&d, &w, sizeof d);
            float_text(d);
            break;
        }
        case 2: {
            // Short decimals and integers near the fixed/exponent boundary of %g.
            const int64_t w = in.word();
            float_text(static_cast<double>(w));
            float_text(static_cast<double>(static_cast<int32_t>(w)) / 1000.0);
            float_text(ldexp(static_cast<double>(static_cast<int16_t>(w)), static_cast<int8_t>(w >> 16)));
            break;
        }
        case 3:
            code_point(static_cast<int32_t>(in.word()));
            break;
        case 4: {
            const int32_t hi = in.byte();
            code_point(hi << 8 | in.byte());  // the one-, two- and three-byte ranges
            break;
        }
        default: {
            // A text of up to 254 bytes, or a long one (a short pattern repeated,
            // so that a number may run to its very end) that takes the copying path.
            size_t k = in.byte();
            std::string t;
            if (k < 255) {
                t = in.text(k);
            } else {
                const size_t total = 256 + 4 * static_cast<size_t>(in.byte());
                const std::string pattern = in.text(in.byte() % 8 + 1);
                while (!pattern.empty() && t.size() < total) t += pattern;
                t.resize(std::min(t.size(), total));
            }
            if (op & 0x80)
                for (char &c : t) c = kNumberBytes[static_cast<uint8_t>(c) % (sizeof kNumberBytes - 1)];
            parse(t);
            break;
        }
        }
    }
    if (arena) zel_arena_reset();
    zel_arena_mode(0);
    return 0;
}
