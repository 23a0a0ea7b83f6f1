// String builder: growth, appends, escaping, membership, building, printing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support.h"

namespace {

// Frees what a test made, so the sanitizer build's leak check only sees the
// library's own losses.
class Pool {
public:
    ~Pool() {
        for (ZelString *s : strings_) zel_string_free(s);
        for (ZelStringBuilder *b : builders_) zel_sb_free(b);
    }
    ZelString *operator()(ZelString *s) {
        EXPECT_NE(s, nullptr);
        strings_.push_back(s);
        return s;
    }
    ZelStringBuilder *sb(ZelStringBuilder *b) {
        EXPECT_NE(b, nullptr);
        builders_.push_back(b);
        return b;
    }

private:
    std::vector<ZelString *> strings_;
    std::vector<ZelStringBuilder *> builders_;
};

std::string content(const ZelStringBuilder *b) { return std::string(b->data, (size_t)b->len); }

// Every builder must keep its NUL inside the block.
void expect_sound(const ZelStringBuilder *b) {
    EXPECT_GE(b->len, 0);
    EXPECT_LT(b->len, b->capacity);
    EXPECT_EQ(b->data[b->len], '\0');
}

// The membership rule, step by step, as the oracle for the library's search.
int64_t contains_reference(const std::string &d, const std::string &s) {
    int64_t len = (int64_t)d.size(), m = (int64_t)s.size();
    if (m == 0 || len == 0 || m > len) return 0;
    int64_t pos = 0;
    for (;;) {
        if (d.compare((size_t)pos, (size_t)m, s) == 0 && (pos == 0 || d[pos - 1] == ',') &&
            (pos + m >= len || d[pos + m] == ','))
            return 1;
        size_t c = d.find(',', (size_t)pos);
        int64_t next = c == std::string::npos ? len : (int64_t)c;
        if (next >= len - m) return 0;
        pos = next + 1;
    }
}

TEST(Builder, CreationAndGeneralGrowth) {
    Pool p;
    ZelStringBuilder *b = p.sb(zel_sb_new());
    EXPECT_EQ(b->capacity, 1024);
    EXPECT_EQ(b->len, 0);
    EXPECT_EQ(b->data[0], '\0');
    EXPECT_EQ(p.sb(zel_sb_with_capacity(0))->capacity, 64);
    EXPECT_EQ(p.sb(zel_sb_with_capacity(-3))->capacity, 64);
    EXPECT_EQ(p.sb(zel_sb_with_capacity(5))->capacity, 5);
    EXPECT_EQ(p.sb(sb_with_capacity(7))->capacity, 7);
    EXPECT_EQ(p.sb(sb_new())->capacity, 1024);

    // The NUL needs room too: exactly 1023 bytes fit, 1024 do not.
    ZelString *k1023 = p(zt::S(std::string(1023, 'x')));
    EXPECT_EQ(zel_sb_push(b, k1023), 1023);
    EXPECT_EQ(b->capacity, 1024);
    EXPECT_EQ(zel_sb_push(b, p(zt::S("y"))), 1024);
    EXPECT_EQ(b->capacity, 2048);
    expect_sound(b);

    // Several doublings in one append.
    ZelStringBuilder *small = p.sb(zel_sb_with_capacity(4));
    EXPECT_EQ(zel_sb_push(small, p(zt::S(std::string(100, 'q')))), 100);
    EXPECT_EQ(small->capacity, 128);
    EXPECT_EQ(content(small), std::string(100, 'q'));
    EXPECT_EQ(zel_sb_push(small, p(zt::S(std::string(27, 'r')))), 127);
    EXPECT_EQ(small->capacity, 128);
    EXPECT_EQ(zel_sb_push(small, p(zt::S("s"))), 128);
    EXPECT_EQ(small->capacity, 256);
    expect_sound(small);

    // Clearing keeps the block.
    EXPECT_EQ(zel_sb_clear(small), 0);
    EXPECT_EQ(small->len, 0);
    EXPECT_EQ(small->data[0], '\0');
    EXPECT_EQ(small->capacity, 256);
    EXPECT_EQ(zel_sb_len(small), 0);
    EXPECT_EQ(sb_len(b), 1024);
}

TEST(Builder, PushAndRangeAndCstr) {
    Pool p;
    ZelStringBuilder *b = p.sb(zel_sb_new());
    ZelString *hello = p(zt::S("hello"));
    EXPECT_EQ(zel_sb_push(b, p(zt::S(std::string("a\0b", 3)))), 3);
    EXPECT_EQ(zel_sb_push(b, p(zt::S(""))), 3);
    EXPECT_EQ(sb_push(b, hello), 8);
    EXPECT_EQ(content(b), std::string("a\0bhello", 8));

    zel_sb_clear(b);
    EXPECT_EQ(zel_sb_push_range(b, hello, -5, 100), 5);
    EXPECT_EQ(zel_sb_push_range(b, hello, 3, 3), 0);
    EXPECT_EQ(zel_sb_push_range(b, hello, 4, 2), 0);
    EXPECT_EQ(zel_sb_push_range(b, hello, 10, 20), 5);
    EXPECT_EQ(zel_sb_push_range(b, hello, -9, -1), 5);
    EXPECT_EQ(sb_push_range(b, hello, 1, 3), 7);
    EXPECT_EQ(content(b), "helloel");

    EXPECT_EQ(sb_push_cstr(b, "xyz"), 10);
    EXPECT_EQ(sb_push_cstr(b, ""), 10);
    EXPECT_EQ(content(b), "helloelxyz");
    expect_sound(b);

    // Null builders and data-less strings change nothing.
    ZelString hollow = {nullptr, 4, 4};
    EXPECT_EQ(zel_sb_push(nullptr, hello), 0);
    EXPECT_EQ(zel_sb_push(b, nullptr), 0);
    EXPECT_EQ(zel_sb_push(b, &hollow), 0);
    EXPECT_EQ(zel_sb_push_range(nullptr, hello, 0, 2), 0);
    EXPECT_EQ(zel_sb_push_range(b, nullptr, 0, 2), 0);
    EXPECT_EQ(zel_sb_push_range(b, &hollow, 0, 2), 0);
    EXPECT_EQ(sb_push_cstr(nullptr, "a"), 0);
    EXPECT_EQ(sb_push_cstr(b, nullptr), 0);
    EXPECT_EQ(zel_sb_push_char(nullptr, 'a'), 0);
    EXPECT_EQ(zel_sb_push_int(nullptr, 1), 0);
    EXPECT_EQ(zel_sb_push_f64(nullptr, 1.0), 0);
    EXPECT_EQ(zel_sb_push_hex(nullptr, 1), 0);
    EXPECT_EQ(zel_sb_push_bool(nullptr, 1), 0);
    EXPECT_EQ(zel_sb_push_escaped(nullptr, hello), 0);
    EXPECT_EQ(zel_sb_push_escaped(b, &hollow), 0);
    EXPECT_EQ(sb_push_escaped(b, nullptr), 0);
    EXPECT_EQ(sb_push_escaped(b, &hollow), 0);
    EXPECT_EQ(zel_sb_len(nullptr), 0);
    EXPECT_EQ(zel_sb_clear(nullptr), 0);
    EXPECT_EQ(zel_sb_free(nullptr), 0);
    EXPECT_EQ(content(b), "helloelxyz");
}

TEST(Builder, SingleBytes) {
    Pool p;
    ZelStringBuilder *b = p.sb(zel_sb_with_capacity(1));
    EXPECT_EQ(zel_sb_push_char(b, 'a'), 1);
    EXPECT_EQ(b->capacity, 2);
    EXPECT_EQ(sb_push_char(b, 0x100 + 'b'), 2);  // low 8 bits only
    EXPECT_EQ(b->capacity, 4);
    EXPECT_EQ(zel_sb_push_char(b, 0), 3);
    EXPECT_EQ(b->capacity, 4);
    EXPECT_EQ(zel_sb_push_char(b, -1), 4);
    EXPECT_EQ(b->capacity, 8);
    EXPECT_EQ(content(b), std::string("ab\0\xff", 4));
    expect_sound(b);

    ZelString *built = p(zel_sb_build(b));
    EXPECT_EQ(built->len, 4);
    EXPECT_EQ(built->cap, 4);
    EXPECT_EQ(zt::str(built), std::string("ab\0\xff", 4));
    EXPECT_EQ(built->data[4], '\0');
}

TEST(Builder, Numbers) {
    Pool p;
    ZelStringBuilder *b = p.sb(zel_sb_new());
    const int64_t ints[] = {0, -1, 7, 10, -10, 9223372036854775807, INT64_MIN, 1000000, -999};
    std::string expected;
    for (int64_t x : ints) {
        zel_sb_push_int(b, x);
        zel_sb_push_char(b, ' ');
        expected += std::to_string(x) + " ";
    }
    EXPECT_EQ(content(b), expected);
    EXPECT_NE(content(b).find("-9223372036854775808 "), std::string::npos);

    std::mt19937_64 rng(7);
    ZelStringBuilder *r = p.sb(zel_sb_with_capacity(1));
    expected.clear();
    for (int i = 0; i < 2000; ++i) {
        int64_t x = (int64_t)(rng() >> (rng() % 64));
        if (i % 2) x = -x;
        char buf[32];
        snprintf(buf, sizeof buf, "%ld", (long)x);
        expected += buf;
        EXPECT_EQ(sb_push_int(r, x), (int64_t)expected.size());
        expect_sound(r);
    }
    EXPECT_EQ(content(r), expected);

    // An integer append is one general-rule append of its digits.
    ZelStringBuilder *g = p.sb(zel_sb_with_capacity(2));
    EXPECT_EQ(zel_sb_push_int(g, -123456), 7);
    EXPECT_EQ(g->capacity, 8);

    ZelStringBuilder *f = p.sb(zel_sb_new());
    const double doubles[] = {0.1, 1.0 / 3.0, 1e20, INFINITY, -INFINITY, NAN, 0.0, -2.5, 123456789012.0};
    const char *texts[] = {"0.1", "0.333333333", "1e+20", "inf", "-inf", "nan", "0", "-2.5", "1.23456789e+11"};
    for (size_t i = 0; i < std::size(doubles); ++i) {
        zel_sb_clear(f);
        zel_sb_push_f64(f, doubles[i]);
        EXPECT_EQ(content(f), texts[i]);
    }

    zel_sb_clear(f);
    zel_sb_push_hex(f, -1);
    zel_sb_push_char(f, ' ');
    zel_sb_push_hex(f, 255);
    zel_sb_push_char(f, ' ');
    zel_sb_push_hex(f, 0);
    zel_sb_push_char(f, ' ');
    zel_sb_push_bool(f, 2);
    zel_sb_push_bool(f, 0);
    zel_sb_push_bool(f, INT64_MIN);
    EXPECT_EQ(content(f), "0xffffffffffffffff 0xff 0x0 truefalsetrue");
    expect_sound(f);
}

TEST(Builder, EscapedAppends) {
    Pool p;
    ZelString *mixed = p(zt::S("\t\"\\"));
    ZelStringBuilder *z = p.sb(zel_sb_new());
    EXPECT_EQ(zel_sb_push_escaped(z, mixed), 6);
    EXPECT_EQ(content(z), "\\t\\\"\\\\");
    ZelStringBuilder *u = p.sb(zel_sb_new());
    EXPECT_EQ(sb_push_escaped(u, mixed), 5);
    EXPECT_EQ(content(u), "\t\\\"\\\\");

    // Other bytes, control bytes and high bytes included, pass unchanged.
    std::string other("a\n\r\x01\x1f\0\x7f\x80\xff/", 10);
    zel_sb_clear(z);
    zel_sb_clear(u);
    EXPECT_EQ(zel_sb_push_escaped(z, p(zt::S(other))), 12);
    EXPECT_EQ(content(z), std::string("a\\n\\r\x01\x1f\0\x7f\x80\xff/", 12));
    EXPECT_EQ(sb_push_escaped(u, p(zt::S(other))), 10);
    EXPECT_EQ(content(u), other);
    EXPECT_EQ(zel_sb_push_escaped(z, p(zt::S(""))), 12);
    EXPECT_EQ(sb_push_escaped(u, p(zt::S(""))), 10);

    // Room is tested per byte: len + 3 > capacity doubles once.
    ZelStringBuilder *four = p.sb(zel_sb_with_capacity(4));
    EXPECT_EQ(zel_sb_push_escaped(four, p(zt::S("ab"))), 2);
    EXPECT_EQ(four->capacity, 4);
    EXPECT_EQ(zel_sb_push_escaped(four, p(zt::S("c"))), 3);
    EXPECT_EQ(four->capacity, 8);
    EXPECT_EQ(zel_sb_push_escaped(four, p(zt::S("\"\""))), 7);
    EXPECT_EQ(four->capacity, 8);
    EXPECT_EQ(zel_sb_push_escaped(four, p(zt::S("d"))), 8);
    EXPECT_EQ(four->capacity, 16);
    EXPECT_EQ(content(four), "abc\\\"\\\"d");
    expect_sound(four);

    // The unprefixed form tests len + 2 > capacity for each byte it writes.
    ZelStringBuilder *two = p.sb(zel_sb_with_capacity(2));
    EXPECT_EQ(sb_push_escaped(two, p(zt::S("\""))), 2);
    EXPECT_EQ(two->capacity, 4);
    EXPECT_EQ(sb_push_escaped(two, p(zt::S("x"))), 3);
    EXPECT_EQ(two->capacity, 4);
    EXPECT_EQ(sb_push_escaped(two, p(zt::S("\\"))), 5);
    EXPECT_EQ(two->capacity, 8);
    expect_sound(two);

    // From capacity 1 a single doubling cannot hold a pair and its NUL.
    for (const char *text : {"\t", "\"x", "a\\", "\n\r\t", "ab\"\"\"\"\"\"\"\"\"c"}) {
        ZelStringBuilder *one = p.sb(zel_sb_with_capacity(1));
        std::string expected;
        for (const char *c = text; *c; ++c) {
            switch (*c) {
                case '\t': expected += "\\t"; break;
                case '\n': expected += "\\n"; break;
                case '\r': expected += "\\r"; break;
                case '"': expected += "\\\""; break;
                case '\\': expected += "\\\\"; break;
                default: expected += *c;
            }
        }
        EXPECT_EQ(zel_sb_push_escaped(one, p(zt::S(text))), (int64_t)expected.size()) << text;
        EXPECT_EQ(content(one), expected);
        expect_sound(one);
    }
    ZelStringBuilder *plain = p.sb(zel_sb_with_capacity(1));
    EXPECT_EQ(zel_sb_push_escaped(plain, p(zt::S("a"))), 1);
    EXPECT_EQ(plain->capacity, 2);
}

TEST(Builder, AppendsFromItsOwnBlock) {
    Pool p;
    // A string record laid over the builder (data and len share positions)
    // or over a piece of its block stays readable while the block moves.
    ZelStringBuilder *b = p.sb(zel_sb_with_capacity(8));
    sb_push_cstr(b, "ab\"cd");
    EXPECT_EQ(zel_sb_push(b, reinterpret_cast<const ZelString *>(b)), 10);
    EXPECT_EQ(content(b), "ab\"cdab\"cd");
    EXPECT_EQ(b->capacity, 16);
    ZelString view = {b->data + 1, 3, 3};
    EXPECT_EQ(zel_sb_push_range(b, &view, 0, 3), 13);
    EXPECT_EQ(content(b), "ab\"cdab\"cdb\"c");
    EXPECT_EQ(zel_sb_push_escaped(b, reinterpret_cast<const ZelString *>(b)), 29);
    EXPECT_EQ(content(b), "ab\"cdab\"cdb\"cab\\\"cdab\\\"cdb\\\"c");
    ZelStringBuilder *c = p.sb(zel_sb_with_capacity(4));
    sb_push_cstr(c, "\"\\x");
    EXPECT_EQ(sb_push_escaped(c, reinterpret_cast<const ZelString *>(c)), 8);
    EXPECT_EQ(content(c), "\"\\x\\\"\\\\x");
    EXPECT_EQ(sb_push_cstr(c, c->data), 16);
    EXPECT_EQ(content(c), "\"\\x\\\"\\\\x\"\\x\\\"\\\\x");
    expect_sound(b);
    expect_sound(c);
}

TEST(Builder, Contains) {
    Pool p;
    ZelStringBuilder *b = p.sb(zel_sb_new());
    sb_push_cstr(b, "apple,banana,cherry");
    EXPECT_EQ(zel_sb_contains(b, p(zt::S("banana"))), 1);
    EXPECT_EQ(zel_sb_contains(b, p(zt::S("ban"))), 0);
    EXPECT_EQ(zel_sb_contains(b, p(zt::S("nana"))), 0);
    EXPECT_EQ(zel_sb_contains(b, p(zt::S("cherry"))), 1);
    EXPECT_EQ(zel_sb_contains(b, p(zt::S("apple"))), 1);
    EXPECT_EQ(zel_sb_contains(b, p(zt::S("apple,banana"))), 1);
    EXPECT_EQ(sb_contains(b, p(zt::S("banana,cherry"))), 1);
    EXPECT_EQ(zel_sb_contains(b, p(zt::S(""))), 0);
    EXPECT_EQ(zel_sb_contains(b, p(zt::S("apple,banana,cherry,"))), 0);
    EXPECT_EQ(zel_sb_contains(b, nullptr), 0);
    EXPECT_EQ(zel_sb_contains(nullptr, p(zt::S("apple"))), 0);
    ZelStringBuilder *empty = p.sb(zel_sb_new());
    EXPECT_EQ(zel_sb_contains(empty, p(zt::S("a"))), 0);

    // Random lists and probes against the rule itself, with probes long
    // enough and comma-laden enough to take every search path.
    std::mt19937 rng(11);
    ZelStringBuilder *r = p.sb(zel_sb_new());
    for (int round = 0; round < 3000; ++round) {
        std::string d;
        size_t n = rng() % (round % 10 == 0 ? 600 : 40);
        for (size_t i = 0; i < n; ++i) d += "ab,"[rng() % 3];
        std::string s;
        if (!d.empty() && rng() % 3 != 0) {
            size_t at = rng() % d.size();
            s = d.substr(at, rng() % (d.size() - at + 1));
            if (rng() % 4 == 0 && !s.empty()) s.back() = s.back() == 'a' ? 'b' : 'a';
        } else {
            size_t m = rng() % 80;
            for (size_t i = 0; i < m; ++i) s += "ab,"[rng() % 3];
        }
        zel_sb_clear(r);
        if (!d.empty()) zel_sb_push(r, p(zt::S(d)));
        ASSERT_EQ(zel_sb_contains(r, p(zt::S(s))), contains_reference(d, s)) << d << " / " << s;
    }

    // A long run of items probed with a nearly matching long run.
    std::string items;
    for (int i = 0; i < 100000; ++i) items += "a,";
    items += "a";
    std::string probe;
    for (int i = 0; i < 50000; ++i) probe += "a,";
    zel_sb_clear(r);
    zel_sb_push(r, p(zt::S(items)));
    EXPECT_EQ(zel_sb_contains(r, p(zt::S(probe + "b"))), 0);
    EXPECT_EQ(zel_sb_contains(r, p(zt::S(probe + "a"))), 1);
    EXPECT_EQ(zel_sb_contains(r, p(zt::S(probe + "aa"))), 0);
}

TEST(Builder, BuildCopies) {
    Pool p;
    EXPECT_EQ(zt::str(p(zel_sb_build(nullptr))), "");
    ZelStringBuilder *b = p.sb(zel_sb_new());
    sb_push_cstr(b, "twice");
    ZelString *one = p(zel_sb_build(b));
    ZelString *two = p(sb_build(b));
    EXPECT_EQ(zt::str(one), "twice");
    EXPECT_EQ(zt::str(two), "twice");
    EXPECT_EQ(one->cap, 5);
    EXPECT_EQ(one->data[5], '\0');
    EXPECT_NE(one->data, two->data);
    EXPECT_NE(one->data, b->data);
    // The builder is untouched and keeps growing independently.
    EXPECT_EQ(content(b), "twice");
    sb_push_cstr(b, "!");
    EXPECT_EQ(zt::str(one), "twice");
    EXPECT_EQ(zt::str(p(zel_sb_build(b))), "twice!");
    sb_clear(b);
    ZelString *none = p(zel_sb_build(b));
    EXPECT_EQ(none->len, 0);
    EXPECT_EQ(none->data[0], '\0');

    // A builder outlives an arena reset; its built strings are arena strings.
    zel_arena_mode(1);
    ZelStringBuilder *kept = zel_sb_new();
    sb_push_cstr(kept, "survives");
    ZelString *arena_copy = zel_sb_build(kept);
    EXPECT_EQ(zt::str(arena_copy), "survives");
    zel_arena_reset();
    EXPECT_EQ(content(kept), "survives");
    zel_sb_free(kept);
    zel_arena_destroy();
    zel_arena_mode(0);
}

TEST(Builder, Println) {
    auto r = zt::run_child([] {
        ZelStringBuilder *b = zel_sb_new();
        sb_push_cstr(b, "hello");
        zel_sb_println(b);
        zel_sb_push_char(b, 0);
        sb_push_cstr(b, "hidden");
        sb_println(b);
        zel_sb_println(nullptr);
        ZelStringBuilder hollow = {nullptr, 0, 0};
        zel_sb_println(&hollow);
        zel_sb_free(b);
        return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "hello\nhello\n\n\n");
    EXPECT_EQ(r.err, "");
}

TEST(Builder, AliasesShareTheirTarget) {
    void *lib = dlopen(ZEL_LIB_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    for (const char *name : {"sb_new", "sb_with_capacity", "sb_push", "sb_push_range", "sb_push_char",
                             "sb_push_int", "sb_len", "sb_build", "sb_clear", "sb_contains",
                             "sb_println", "sb_free"}) {
        void *alias = dlsym(lib, name);
        ASSERT_NE(alias, nullptr) << name;
        EXPECT_EQ(alias, dlsym(lib, (std::string("zel_") + name).c_str())) << name;
    }
    EXPECT_NE(dlsym(lib, "sb_push_escaped"), dlsym(lib, "zel_sb_push_escaped"));
    EXPECT_EQ(dlsym(lib, "zel_sb_push_cstr"), nullptr);
    EXPECT_EQ(dlsym(lib, "sb_push_f64"), nullptr);
    dlclose(lib);
}

}  // namespace
