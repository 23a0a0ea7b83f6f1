// Number formatting and parsing: exact texts, printf agreement and block sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "support.h"

namespace {

using zt::Owned;
using zt::S;
using zt::str;

TEST(Format, Texts) {
    Owned o;
    struct Row {
        ZelString *got;
        const char *want;
    } rows[] = {
        {zel_int_to_string(INT64_MIN), "-9223372036854775808"},
        {int_to_string(-1), "-1"},
        {zel_fast_i2s(0), "0"},
        {zel_bool_to_string(256), "false"},
        {zel_bool_to_string(-255), "true"},
        {zel_int_to_hex(-1), "ffffffffffffffff"},
        {zel_int_to_hex(0), "0"},
        {zel_to_hex(-255), "-0xff"},
        {zel_to_hex(0), "0x0"},
        {zel_to_hex(INT64_MIN), "-0x8000000000000000"},
        {zel_to_octal(8), "0o10"},
        {zel_to_octal(INT64_MIN), "-0o1000000000000000000000"},
        {zel_int_to_bin(5), "101"},
        {zel_int_to_bin(0), "0"},
        {zel_to_binary(0), "0b0"},
        {zel_to_binary(-1), "0b1111111111111111111111111111111111111111111111111111111111111111"},
        {zel_f64_to_string(123456789012.0), "1.23456789e+11"},
        {zel_f64_to_string(-0.0), "-0"},
        {zel_f64_to_string(NAN), "nan"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(str(o(r.got)), r.want);
        EXPECT_EQ(r.got->cap, r.got->len);
    }
    // The digit kernels print what printf prints, across every digit count.
    std::mt19937_64 rng(3);
    char buf[80];
    for (int i = 0; i < 2000; ++i) {
        int64_t x = (int64_t)(rng() >> (rng() % 64));
        if (i % 2) x = -x;
        snprintf(buf, sizeof buf, "%ld", (long)x);
        ASSERT_EQ(str(o(zel_int_to_string(x))), buf);
        snprintf(buf, sizeof buf, "%lx", (unsigned long)x);
        ASSERT_EQ(str(o(zel_int_to_hex(x))), buf);
        snprintf(buf, sizeof buf, x < 0 ? "-0o%lo" : "0o%lo", (unsigned long)(x < 0 ? 0 - (uint64_t)x : (uint64_t)x));
        ASSERT_EQ(str(o(zel_to_octal(x))), buf);
        std::string bits;
        for (uint64_t m = (uint64_t)x; m; m >>= 1) bits.insert(bits.begin(), char('0' + (m & 1)));
        ASSERT_EQ(str(o(zel_int_to_bin(x))), bits.empty() ? "0" : bits);
    }
}

TEST(Format, BlockSizes) {
    // In the arena a record follows its byte block, so the gap is the block
    // size rounded up to 8.
    zel_arena_destroy();
    zel_arena_mode(1);
    auto block = [](const ZelString *s) { return (const char *)s - s->data; };
    EXPECT_EQ(block(zel_int_to_string(7)), 24);   // 21
    EXPECT_EQ(block(zel_bool_to_string(1)), 8);   // 5
    EXPECT_EQ(block(zel_to_hex(1)), 24);          // 20
    EXPECT_EQ(block(zel_to_octal(1)), 32);        // 26
    EXPECT_EQ(block(zel_to_binary(1)), 72);       // 67
    EXPECT_EQ(block(zel_f64_to_string(1)), 32);   // 32
    EXPECT_EQ(block(zel_int_to_bin(-1)), 72);     // 64 digits + 1
    EXPECT_EQ(block(zel_int_to_hex(255)), 8);     // 2 digits + 1
    zel_arena_mode(0);
    zel_arena_destroy();
}

TEST(Format, CodePoints) {
    struct Row {
        int32_t c;
        std::string want;
    } rows[] = {{65, "A"}, {233, "\xC3\xA9"}, {8364, "\xE2\x82\xAC"}, {128512, "\xF0\x9F\x98\x80"},
                {0xD800, "\xED\xA0\x80"}, {0x7FFFFFFF, "\xFF\xBF\xBF\xBF"}, {-191, "A"}, {0, ""}};
    for (const Row &r : rows) {
        char *t = zel_char_to_string(r.c);
        EXPECT_EQ(std::string(t), r.want) << r.c;
        free(t);
    }
}

TEST(Format, Parsing) {
    Owned o;
    EXPECT_EQ(zel_parse_int(o(S("  42abc"))), 42);
    EXPECT_EQ(zel_parse_int(o(S("-7"))), -7);
    EXPECT_EQ(zel_parse_int(o(S("abc"))), 0);
    EXPECT_EQ(zel_parse_int(o(S("99999999999999999999"))), INT64_MAX);
    EXPECT_EQ(zel_parse_int(o(S("-99999999999999999999"))), INT64_MIN);
    EXPECT_EQ(zel_parse_int(o(S(std::string(300, ' ') + "+12"))), 12);
    EXPECT_EQ(zel_parse_int(nullptr), 0);
    EXPECT_DOUBLE_EQ(zel_parse_f64(o(S("3.5e2"))), 350.0);
    EXPECT_DOUBLE_EQ(zel_parse_f64(o(S(" 0x1p4z"))), 16.0);
    EXPECT_TRUE(std::isinf(zel_parse_f64(o(S("1e999")))));
    // A record's text ends at its length, even where the bytes behind it do not.
    char digits[] = "12345";
    ZelString view = {digits, 2, 2};
    EXPECT_EQ(zel_parse_int(&view), 12);
    std::string long_text(1000, '7');
    ZelString long_view = {long_text.data(), 400, 400};
    EXPECT_TRUE(std::isinf(zel_parse_f64(&long_view)));
    EXPECT_EQ(zel_parse_int(&long_view), INT64_MAX);
}

}  // namespace
