// String record core operations.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "support.h"

namespace {

using zt::Owned;

// Every string made here is NUL-terminated and has cap == len.
void expect_text(const ZelString *s, const std::string &want) {
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->data, nullptr);
    EXPECT_EQ(zt::str(s), want);
    EXPECT_EQ(s->cap, s->len);
    EXPECT_EQ(s->data[s->len], '\0');
}

uint64_t reference_fnv1a(const unsigned char *p, size_t n) {
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

// Offset of the record behind its byte block when both come from one arena block.
int64_t record_offset(const ZelString *s) {
    return reinterpret_cast<const char *>(s) - s->data;
}

TEST(String, Construction) {
    Owned o;
    const char raw[] = {'a', '\0', 'b'};
    ZelString *s = o(zel_string_new(raw, 3));
    expect_text(s, std::string(raw, 3));

    expect_text(o(zel_string_from_cstr("hello")), "hello");
    expect_text(o(zel_string_from_cstr(nullptr)), "");
    expect_text(o(zel_string_new(nullptr, 0)), "");

    for (int64_t c : {65, 321, -191}) expect_text(o(zel_chr(c)), "A");
    for (int64_t c : {0, 256, -256}) expect_text(o(zel_chr(c)), "");
    expect_text(o(zel_chr(200)), "\xc8");
    expect_text(o(chr(66)), "B");
    expect_text(o(char_to_string(67)), "C");
}

TEST(String, Repeat) {
    Owned o;
    ZelString *ab = o(zt::S("ab"));
    expect_text(o(zel_string_repeat(ab, 3)), "ababab");
    expect_text(o(zel_string_repeat(ab, 0)), "");
    expect_text(o(zel_string_repeat(ab, -2)), "");
    expect_text(o(zel_string_repeat(nullptr, 4)), "");

    ZelString *copy = o(zel_string_repeat(ab, 1));
    EXPECT_NE(copy, ab);
    EXPECT_NE(copy->data, ab->data);
    expect_text(copy, "ab");

    // Lengths that are not powers of two exercise the partial last copy.
    ZelString *abc = o(zt::S("abc"));
    for (int64_t count : {2, 5, 7, 1000, 1025}) {
        std::string want;
        for (int64_t i = 0; i < count; ++i) want += "abc";
        expect_text(o(zel_string_repeat(abc, count)), want);
    }
    expect_text(o(zel_string_repeat(o(zt::S("\xfe")), 9)), std::string(9, '\xfe'));

    // The length is that of the text up to its first NUL.
    ZelString *nul = o(zt::S(std::string("a\0b", 3)));
    ZelString *r = o(zel_string_repeat(nul, 2));
    EXPECT_EQ(r->len, 1);
    EXPECT_EQ(r->cap, 1);
    EXPECT_EQ(std::string(r->data, 6), std::string("a\0ba\0b", 6));
    EXPECT_EQ(r->data[6], '\0');
    ZelString *lead = o(zt::S(std::string(1, '\0')));
    EXPECT_EQ(o(zel_string_repeat(lead, 5))->len, 0);

    // A record without bytes reads as empty instead of being copied from.
    ZelString hollow = {nullptr, 5, 5};
    expect_text(o(zel_string_repeat(&hollow, 3)), "");
}

TEST(String, RepeatBeyondAddressSpaceIsOutOfMemory) {
    Owned o;
    ZelString *ab = o(zt::S("ab"));
    ZelString *seven = o(zt::S("1234567"));
    // The product wraps past 2^63, and one that lands exactly on the limit.
    for (auto [s, count] : {std::pair{ab, INT64_MAX / 2 + 1}, std::pair{seven, INT64_MAX / 7}}) {
        zt::ChildResult res = zt::run_child([s = s, count = count] {
            zel_string_repeat(s, count);
            return 0;
        });
        EXPECT_EQ(res.status, 1);
        EXPECT_EQ(res.out, "");
        EXPECT_EQ(res.err, "[zel] FATAL: out of memory\n");
    }
}

TEST(String, Concatenation) {
    Owned o;
    ZelString *a = o(zt::S("foo"));
    ZelString *b = o(zt::S(std::string("b\0r", 3)));
    ZelString *e = o(zt::S(""));
    ZelString hollow = {nullptr, 4, 4};

    expect_text(o(zel_string_concat(a, b)), std::string("foob\0r", 6));
    expect_text(o(zel_string_concat(e, a)), "foo");
    // A missing operand empties the pair, it does not fall back to the other one.
    expect_text(o(zel_string_concat(nullptr, b)), "");
    expect_text(o(zel_string_concat(a, nullptr)), "");
    expect_text(o(zel_string_concat(&hollow, a)), "");
    expect_text(o(zel_string_concat(a, &hollow)), "");

    ZelString *c3 = o(zel_string_concat3(nullptr, b, nullptr));
    expect_text(c3, std::string("b\0r", 3));
    EXPECT_NE(c3, b);
    EXPECT_NE(c3->data, b->data);
    expect_text(o(zel_string_concat3(a, &hollow, a)), "foofoo");
    ZelString *none1 = o(zel_string_concat3(nullptr, e, nullptr));
    ZelString *none2 = o(zel_string_concat3(e, e, e));
    expect_text(none1, "");
    expect_text(none2, "");
    EXPECT_NE(none1, e);
    EXPECT_NE(none2, e);

    ZelString *p[7];
    for (int i = 0; i < 7; ++i) p[i] = o(zel_chr('1' + i));
    expect_text(o(zel_string_concat5(p[0], p[1], nullptr, p[3], p[4])), "1245");
    expect_text(o(zel_string_concat7(p[0], p[1], p[2], p[3], p[4], p[5], p[6])), "1234567");
    expect_text(o(zel_string_concat7(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, p[6])), "7");
}

TEST(String, LengthAndAccess) {
    Owned o;
    ZelString *s = o(zt::S("h\xe9llo"));
    ZelString *e = o(zt::S(""));
    ZelString hollow = {nullptr, 3, 3};

    EXPECT_EQ(zel_string_len(s), 5);
    EXPECT_EQ(zel_string_len(nullptr), 0);
    EXPECT_EQ(len(s), 5);
    EXPECT_EQ(zel_ffi_string_len(s), 5);
    EXPECT_EQ(zel_ffi_string_len(nullptr), 0);

    EXPECT_EQ(zel_string_is_empty(nullptr), 1);
    EXPECT_EQ(zel_string_is_empty(e), 1);
    EXPECT_EQ(zel_string_is_empty(s), 0);

    EXPECT_EQ(zel_string_as_cstr(s), s->data);
    EXPECT_EQ(zel_string_as_cstr(nullptr), nullptr);
    EXPECT_EQ(zel_string_as_cstr(&hollow), nullptr);
    EXPECT_EQ(str_data(s), s->data);

    EXPECT_EQ(zel_str_len("abc\0def"), 3);
    EXPECT_EQ(zel_str_len(""), 0);

    // Bytes are unsigned; every index outside [0, len) reads as 0.
    EXPECT_EQ(zel_string_char_at(s, 0), 'h');
    EXPECT_EQ(zel_string_char_at(s, 1), 0xe9);
    EXPECT_EQ(zel_string_char_at(s, 4), 'o');
    EXPECT_EQ(zel_string_char_at(s, 5), 0);
    EXPECT_EQ(zel_string_char_at(s, -1), 0);
    EXPECT_EQ(zel_string_char_at(s, INT64_MIN), 0);
    EXPECT_EQ(zel_string_char_at(nullptr, 0), 0);
    EXPECT_EQ(zel_string_char_at(&hollow, 0), 0);
    EXPECT_EQ(char_at(s, 1), 0xe9);
    EXPECT_EQ(zel_str_byte_at(s, 2), 'l');
    EXPECT_EQ(byte_at(s, 3), 'l');

    expect_text(o(zel_str_char_at_str(s, 1)), "\xe9");
    expect_text(o(zel_str_char_at_str(s, 5)), "");
    expect_text(o(zel_str_char_at_str(s, -1)), "");
    expect_text(o(zel_str_char_at_str(nullptr, 0)), "");

    EXPECT_EQ(zel_ord("\xff"), 255);
    EXPECT_EQ(zel_ord("A"), 65);
    EXPECT_EQ(zel_ord(""), 0);
    EXPECT_EQ(zel_ord(nullptr), 0);
    EXPECT_EQ(ord(s), 'h');
    EXPECT_EQ(ord(o(zt::S("\x80"))), 0x80);
    EXPECT_EQ(ord(e), 0);
    EXPECT_EQ(ord(nullptr), 0);
    EXPECT_EQ(ord(&hollow), 0);
}

TEST(String, Equality) {
    Owned o;
    ZelString *ab = o(zt::S("ab"));
    ZelString *ab2 = o(zt::S("ab"));
    ZelString *abc = o(zt::S("abc"));
    ZelString *e1 = o(zt::S(""));
    ZelString *e2 = o(zt::S(""));
    EXPECT_EQ(zel_string_eq(nullptr, nullptr), 1);
    EXPECT_EQ(zel_string_eq(ab, ab), 1);
    EXPECT_EQ(zel_string_eq(ab, ab2), 1);
    EXPECT_EQ(zel_string_eq(e1, e2), 1);
    EXPECT_EQ(zel_string_eq(ab, nullptr), 0);
    EXPECT_EQ(zel_string_eq(nullptr, ab), 0);
    EXPECT_EQ(zel_string_eq(ab, abc), 0);
    EXPECT_EQ(zel_string_eq(abc, ab), 0);
    EXPECT_EQ(zel_string_eq(o(zt::S(std::string("a\0b", 3))), o(zt::S(std::string("a\0c", 3)))), 0);
    EXPECT_EQ(zel_string_eq(o(zt::S(std::string("a\0b", 3))), o(zt::S(std::string("a\0b", 3)))), 1);
    EXPECT_EQ(zel_string_eq(o(zt::S("abd")), abc), 0);
}

TEST(String, Ordering) {
    Owned o;
    ZelString *ab = o(zt::S("ab"));
    ZelString *abc = o(zt::S("abc"));
    ZelString *b = o(zt::S("b"));
    ZelString *e = o(zt::S(""));
    ZelString hollow = {nullptr, 2, 2};

    EXPECT_EQ(zel_string_cmp(ab, abc), -1);
    EXPECT_EQ(zel_string_cmp(abc, ab), 1);
    EXPECT_EQ(zel_string_cmp(b, abc), 1);
    EXPECT_EQ(zel_string_cmp(abc, b), -1);
    EXPECT_EQ(zel_string_cmp(abc, o(zt::S("abc"))), 0);
    EXPECT_EQ(zel_string_cmp(nullptr, e), -1);
    EXPECT_EQ(zel_string_cmp(e, nullptr), 1);
    EXPECT_EQ(zel_string_cmp(nullptr, nullptr), 0);
    EXPECT_EQ(zel_string_cmp(&hollow, nullptr), 0);
    EXPECT_EQ(zel_string_cmp(nullptr, &hollow), 0);
    EXPECT_EQ(zel_string_cmp(&hollow, e), -1);
    EXPECT_EQ(zel_string_cmp(e, &hollow), 1);
    EXPECT_EQ(zel_string_cmp(e, o(zt::S(""))), 0);
    EXPECT_EQ(zel_string_cmp(e, ab), -1);

    // Exactly -1 or 1 however far apart the bytes are, and bytes above 127
    // sort after ASCII.
    EXPECT_EQ(zel_string_cmp(o(zt::S("a")), o(zt::S("z"))), -1);
    EXPECT_EQ(zel_string_cmp(o(zt::S("z")), o(zt::S("a"))), 1);
    EXPECT_EQ(zel_string_cmp(o(zt::S("\x80")), o(zt::S("a"))), 1);
    EXPECT_EQ(zel_string_cmp(o(zt::S("a")), o(zt::S("\xff"))), -1);
    // Embedded NUL bytes take part in the comparison.
    EXPECT_EQ(zel_string_cmp(o(zt::S(std::string("a\0b", 3))), o(zt::S(std::string("a\0c", 3)))), -1);
    EXPECT_EQ(zel_string_cmp(o(zt::S(std::string("a\0", 2))), o(zt::S("a"))), 1);
}

TEST(String, Hash) {
    Owned o;
    EXPECT_EQ(zel_string_hash(nullptr), 0u);
    ZelString hollow = {nullptr, 3, 3};
    EXPECT_EQ(zel_string_hash(&hollow), 0u);
    EXPECT_EQ(zel_string_hash(o(zt::S(""))), 0xcbf29ce484222325ull);
    // Published FNV-1a 64 vectors.
    EXPECT_EQ(zel_string_hash(o(zt::S("a"))), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(zel_string_hash(o(zt::S("foobar"))), 0x85944171f73967e8ull);

    // Every tail length and alignment against the byte-at-a-time definition.
    unsigned char buf[104];
    for (size_t i = 0; i < sizeof buf; ++i) buf[i] = static_cast<unsigned char>(i * 37 + 11);
    for (size_t off = 0; off < 4; ++off) {
        for (size_t n = 0; n <= 100; ++n) {
            ZelString view = {reinterpret_cast<char *>(buf + off), static_cast<int64_t>(n),
                              static_cast<int64_t>(n)};
            EXPECT_EQ(zel_string_hash(&view), reference_fnv1a(buf + off, n)) << "off " << off << " len " << n;
        }
    }
    // Equal bytes hash equally, distinct records or not; order matters.
    EXPECT_EQ(zel_string_hash(o(zt::S("abcde"))), zel_string_hash(o(zt::S("abcde"))));
    EXPECT_NE(zel_string_hash(o(zt::S("abcd"))), zel_string_hash(o(zt::S("abdc"))));
}

TEST(String, Slice) {
    Owned o;
    ZelString *s = o(zt::S("hello"));
    expect_text(o(zel_string_slice(s, 2, 100)), "llo");
    expect_text(o(zel_string_slice(s, 1, 3)), "el");
    expect_text(o(zel_string_slice(s, 0, INT64_MAX)), "hello");
    expect_text(o(zel_string_slice(s, 5, 5)), "");
    expect_text(o(zel_string_slice(s, 5, 9)), "");
    expect_text(o(zel_string_slice(s, 6, 7)), "");
    expect_text(o(zel_string_slice(s, -1, 3)), "");
    expect_text(o(zel_string_slice(s, 3, 2)), "");
    expect_text(o(zel_string_slice(s, 0, -1)), "");
    expect_text(o(zel_string_slice(nullptr, 0, 1)), "");
    ZelString hollow = {nullptr, 5, 5};
    expect_text(o(zel_string_slice(&hollow, 0, 2)), "");

    ZelString *whole = o(slice(s, 0, 5));
    expect_text(whole, "hello");
    EXPECT_NE(whole->data, s->data);
    expect_text(o(slice(o(zt::S(std::string("x\0y\0z", 5))), 1, 4)), std::string("\0y\0", 3));
}

TEST(String, AliasesShareTheirTarget) {
    void *lib = dlopen(ZEL_LIB_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    const std::pair<const char *, const char *> aliases[] = {
        {"chr", "zel_chr"},
        {"char_to_string", "zel_chr"},
        {"len", "zel_string_len"},
        {"zel_ffi_string_len", "zel_string_len"},
        {"str_data", "zel_string_as_cstr"},
        {"char_at", "zel_string_char_at"},
        {"zel_str_byte_at", "zel_string_char_at"},
        {"byte_at", "zel_string_char_at"},
        {"slice", "zel_string_slice"},
        {"free_string", "zel_string_free"},
    };
    for (auto [alias, target] : aliases) {
        void *a = dlsym(lib, alias);
        ASSERT_NE(a, nullptr) << alias;
        EXPECT_EQ(a, dlsym(lib, target)) << alias;
    }
    // Same first byte, different argument kinds.
    EXPECT_NE(dlsym(lib, "ord"), dlsym(lib, "zel_ord"));
    dlclose(lib);
}

TEST(String, BlocksAreSizedForTheirBytes) {
    // In the arena the record follows its byte block directly, so the gap
    // shows the block size (rounded to 8).
    zel_arena_destroy();
    zel_arena_mode(1);
    ZelString *ten = zt::S("0123456789");
    ZelString *twenty = zt::S("01234567890123456789");
    EXPECT_EQ(record_offset(ten), 16);
    EXPECT_EQ(record_offset(zel_string_concat(ten, twenty)), 32);
    EXPECT_EQ(record_offset(zel_string_concat7(ten, twenty, ten, twenty, ten, twenty, ten)), 104);
    // Sized for the bytes written, not for the shorter measured length.
    ZelString *nul = zt::S(std::string("a\0bcdefg", 8));
    ZelString *r = zel_string_repeat(nul, 2);
    EXPECT_EQ(r->len, 1);
    EXPECT_EQ(record_offset(r), 24);
    EXPECT_EQ(record_offset(zel_chr(0)), 8);
    EXPECT_EQ(record_offset(zel_string_from_cstr(nullptr)), 8);
    zel_arena_mode(0);
    zel_arena_destroy();
}

TEST(String, ReleaseFollowsTheAllocationMode) {
    // Heap mode: both blocks go back (the sanitizer build checks the frees).
    EXPECT_EQ(zel_string_free(zt::S("heap")), 0);
    EXPECT_EQ(free_string(zt::S("heap too")), 0);
    EXPECT_EQ(zel_string_free(nullptr), 0);
    ZelString *hollow = static_cast<ZelString *>(malloc(sizeof(ZelString)));
    *hollow = {nullptr, 0, 0};
    EXPECT_EQ(zel_string_free(hollow), 0);

    // Arena mode: the arena owns the memory and releasing one string is a no-op.
    zel_arena_destroy();
    zel_arena_mode(1);
    ZelString *s = zt::S("still here");
    uint64_t used = zel_arena_usage();
    EXPECT_GT(used, 0u);
    EXPECT_EQ(zel_string_free(s), 0);
    EXPECT_EQ(free_string(s), 0);
    expect_text(s, "still here");
    ZelString *next = zt::S("next");
    expect_text(s, "still here");
    expect_text(next, "next");
    zel_arena_mode(0);
    zel_arena_destroy();
}

TEST(String, HostConversions) {
    ZelString *h = zel_ffi_cstr_to_string("host text");
    expect_text(h, "host text");
    EXPECT_EQ(zel_ffi_string_data(h), h->data);
    EXPECT_EQ(zel_ffi_string_len(h), 9);
    zel_ffi_free_string(h);

    ZelString *none = zel_ffi_cstr_to_string(nullptr);
    expect_text(none, "");
    zel_ffi_free_string(none);
    zel_ffi_free_string(nullptr);

    const char *empty = zel_ffi_string_data(nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], '\0');
    ZelString hollow = {nullptr, 2, 2};
    const char *empty2 = zel_ffi_string_data(&hollow);
    ASSERT_NE(empty2, nullptr);
    EXPECT_EQ(empty2[0], '\0');

    // Host strings stay on the system heap in arena mode and outlive a reset;
    // releasing them hands only heap blocks to free.
    zel_arena_destroy();
    zel_arena_mode(1);
    ZelString *kept = zel_ffi_cstr_to_string("kept");
    EXPECT_EQ(zel_arena_usage(), 0u);
    zt::S("arena filler");
    EXPECT_GT(zel_arena_usage(), 0u);
    zel_arena_reset();
    zt::S("overwrites the reset block");
    expect_text(kept, "kept");
    zel_ffi_free_string(kept);
    zel_arena_mode(0);
    zel_arena_destroy();
}

}  // namespace
