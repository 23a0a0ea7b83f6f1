// String search and transformation. CTest also runs the Search tests with
// ZEL_KERNEL=sse2, so both kernel builds answer the same questions.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support.h"

namespace {

using zt::Owned;
using zt::S;
using zt::str;

struct Naive {
    const std::string &h, &n;
    bool at(size_t p) const { return h.compare(p, n.size(), n) == 0; }
    int64_t first() const {
        for (size_t p = 0; p + n.size() <= h.size(); ++p)
            if (at(p)) return (int64_t)p;
        return -1;
    }
    int64_t last() const {
        if (n.size() > h.size()) return -1;
        for (size_t p = h.size() - n.size() + 1; p-- > 0;)
            if (at(p)) return (int64_t)p;
        return -1;
    }
    std::vector<size_t> all() const {  // non-overlapping, left to right
        std::vector<size_t> r;
        for (size_t p = 0; p + n.size() <= h.size();)
            if (at(p)) r.push_back(p), p += n.size();
            else ++p;
        return r;
    }
};

// Every search and the three operations built on non-overlapping matches
// against a direct reference.
void check_against_naive(const std::string &h, const std::string &n) {
    SCOPED_TRACE("h=" + std::to_string(h.size()) + " n=" + n.substr(0, 40));
    Owned o;
    ZelString *sh = o(S(h)), *sn = o(S(n)), *to = o(S("<>"));
    Naive ref{h, n};
    std::vector<size_t> all = ref.all();
    EXPECT_EQ(zel_string_index_of(sh, sn), ref.first());
    EXPECT_EQ(zel_string_last_index_of(sh, sn), ref.last());
    EXPECT_EQ(zel_string_contains(sh, sn), ref.first() >= 0);
    EXPECT_EQ(zel_string_count(sh, sn), (int64_t)all.size());

    std::string replaced, done;
    size_t prev = 0;
    std::vector<std::string> pieces;
    for (size_t p : all) {
        replaced += h.substr(prev, p - prev) + "<>";
        pieces.push_back(h.substr(prev, p - prev));
        prev = p + n.size();
    }
    replaced += h.substr(prev);
    pieces.push_back(h.substr(prev));
    ZelString *r = zel_string_replace(sh, sn, to);
    if (all.empty()) EXPECT_EQ(r, sh);
    else EXPECT_EQ(str(o(r)), replaced);

    ZelVec *v = zel_string_split(sh, sn);
    ASSERT_EQ(v->len, (int64_t)pieces.size());
    for (int64_t i = 0; i < v->len; ++i) EXPECT_EQ(str(o((ZelString *)v->items[i])), pieces[i]);
    zel_vec_free(v);
}

TEST(Search, AgreesWithDirectComparison) {
    std::mt19937 rng(7);
    // Small alphabets make candidates frequent; lengths straddle the 64-byte
    // blocks and the long-needle cut-over.
    for (int round = 0; round < 400; ++round) {
        int alphabet = 1 + round % 3;
        size_t hn = rng() % 300, nn = 1 + rng() % (round % 4 == 0 ? 90 : 6);
        std::string h(hn, 'a'), n(nn, 'a');
        for (char &c : h) c = (char)('a' + rng() % alphabet);
        for (char &c : n) c = (char)('a' + rng() % alphabet);
        if (round % 5 == 0 && hn > nn) h.replace(rng() % (hn - nn), nn, n);
        check_against_naive(h, n);
    }
    // Inputs built to defeat a first-and-last-byte filter: every position a
    // candidate that fails late. Answers must stay exact on the fallbacks.
    for (size_t nn : {3, 40, 70, 300}) {
        std::string n = std::string(nn - 2, 'a') + "ba";
        check_against_naive(std::string(20000, 'a'), n);
        check_against_naive(std::string(9000, 'a') + n + std::string(9000, 'a') + n, n);
    }
    check_against_naive(std::string(5000, '\0') + "x", std::string(1, '\0'));
}

TEST(Search, Answers) {
    struct Row {
        const char *s, *sub;
        int64_t starts, ends, contains, index, last, count;
    } rows[] = {
        {"hello", "", 1, 1, 1, 0, 5, 0},
        {"abcabc", "bc", 0, 1, 1, 1, 4, 2},
        {"abc", "abcd", 0, 0, 0, -1, -1, 0},
        {"aaaa", "aa", 1, 1, 1, 0, 2, 2},
        {"", "", 1, 1, 1, 0, 0, 0},
        {"abc", "c", 0, 1, 1, 2, 2, 1},
    };
    Owned o;
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(r.s) + " / " + r.sub);
        ZelString *s = o(S(r.s)), *sub = o(S(r.sub));
        EXPECT_EQ(zel_string_starts_with(s, sub), r.starts);
        EXPECT_EQ(zel_string_ends_with(s, sub), r.ends);
        EXPECT_EQ(zel_string_contains(s, sub), r.contains);
        EXPECT_EQ(zel_string_index_of(s, sub), r.index);
        EXPECT_EQ(zel_string_last_index_of(s, sub), r.last);
        EXPECT_EQ(zel_string_count(s, sub), r.count);
    }
    ZelString *s = o(S("abc"));
    ZelString hollow = {nullptr, 4, 4};
    EXPECT_EQ(zel_string_index_of(nullptr, s) + zel_string_last_index_of(s, nullptr), -2);
    EXPECT_EQ(zel_string_contains(s, nullptr) + zel_string_count(nullptr, s) + zel_string_starts_with(s, nullptr), 0);
    EXPECT_EQ(zel_string_index_of(&hollow, s), -1);
}

TEST(Search, TransformsReturnArgumentOrMeasuredCopy) {
    Owned o;
    auto same = [](ZelString *s, ZelString *r) { EXPECT_EQ(r, s); };
    ZelString *x = o(S("x  ")), *y = o(S("  x")), *empty = o(S("")), *abc = o(S("abc"));
    same(x, zel_string_trim_left(x));
    same(y, zel_string_trim_right(y));
    same(empty, zel_string_trim(empty));
    same(empty, zel_string_to_upper(empty));
    same(empty, zel_string_reverse(empty));
    same(abc, zel_string_pad_left(abc, 2, '0'));
    same(abc, zel_string_replace(abc, o(S("x")), o(S("y"))));
    same(abc, zel_string_replace(abc, o(S("")), o(S("y"))));
    EXPECT_EQ(zel_string_trim(nullptr), nullptr);
    ZelString *t = o(zel_string_trim(abc));  // trim always copies
    EXPECT_NE(t, abc);
    EXPECT_EQ(str(t), "abc");

    struct Row {
        ZelString *got;
        std::string want;
    } rows[] = {
        {zel_string_trim(o(S("\tx\r\n"))), "x"},
        {zel_string_trim(o(S("   "))), ""},
        {zel_string_trim(o(S("\vx\v"))), "\vx\v"},
        {zel_string_trim_left(o(S(" \n x "))), "x "},
        {zel_string_trim_right(o(S(" x \r"))), " x"},
        {zel_string_substr(o(S("hello")), 3, 10), "lo"},
        {zel_string_substr(o(S("hello")), 5, 1), ""},
        {zel_string_substr(o(S("hello")), -1, 2), ""},
        {zel_string_replace(o(S("a.b.c")), o(S(".")), o(S("::"))), "a::b::c"},
        {zel_string_replace(o(S("aa")), o(S("a")), o(S("aa"))), "aaaa"},
        {zel_string_replace(o(S("a-b-c")), o(S("-")), o(S(""))), "abc"},
        {zel_string_to_upper(o(S("mIx3d \xe9z"))), "MIX3D \xe9Z"},
        {zel_string_to_lower(o(S(std::string(40, 'Q') + "@[`{"))), std::string(40, 'q') + "@[`{"},
        {zel_string_reverse(o(S("0123456789abcdefXYZ"))), "ZYXfedcba9876543210"},
        {zel_string_pad_left(o(S("7")), 3, 48), "007"},
        {zel_string_pad_right(o(S("ab")), 4, '.' + 256), "ab.."},
        {zel_str_pad_right(o(S("ab")), 4, nullptr), "ab  "},
        {zel_str_pad_left(o(S("ab")), 4, o(S("*-"))), "**ab"},
        // Results measured up to their first NUL.
        {zel_string_replace(o(S("a-b")), o(S("-")), o(S(std::string("\0z", 2)))), "a"},
        {zel_string_to_upper(o(S(std::string("ab\0cd", 5)))), "AB"},
        {zel_string_reverse(o(S(std::string("ab\0cd", 5)))), "dc"},
        {zel_string_pad_left(o(S("ab")), 5, 0), ""},
        {zel_string_pad_right(o(S(std::string("a\0b", 3))), 5, 'x'), "a"},
    };
    for (const Row &r : rows) {
        o(r.got);
        EXPECT_EQ(str(r.got), r.want);
        EXPECT_EQ(r.got->cap, r.got->len);
    }
}

TEST(Search, SplitAndJoinOnVectors) {
    Owned o;
    ZelString *comma = o(S(","));
    auto pieces = [&](ZelVec *v) {
        std::vector<std::string> r;
        for (int64_t i = 0; i < v->len; ++i) r.push_back(str((ZelString *)v->items[i]));
        return r;
    };
    ZelString *text = o(S("a,,b,"));
    ZelVec *v = zel_string_split(text, comma);
    for (int64_t i = 0; i < v->len; ++i) o((ZelString *)v->items[i]);
    EXPECT_EQ(pieces(v), (std::vector<std::string>{"a", "", "b", ""}));
    ZelString *joined = o(zel_string_join(v, comma));
    EXPECT_EQ(str(joined), "a,,b,");
    zel_vec_free(v);

    // No separator: the argument itself is the one element.
    v = zel_string_split(text, o(S("")));
    ASSERT_EQ(v->len, 1);
    EXPECT_EQ((ZelString *)v->items[0], text);
    zel_vec_free(v);

    // The vector grows by doubling from 8, as every new vector does.
    v = zel_string_split(o(S(std::string(16, ','))), comma);
    EXPECT_EQ(v->len, 17);
    EXPECT_EQ(v->capacity, 32);
    // Null elements add nothing, their separators stay; the join ends at a NUL.
    for (int64_t i = 0; i < v->len; ++i) o((ZelString *)v->items[i]);
    v->items[1] = 0;
    v->items[2] = (int64_t)o(S(std::string("x\0y", 3)));
    EXPECT_EQ(str(o(zel_string_join(v, o(S("-"))))), "--x");
    zel_vec_free(v);
    EXPECT_EQ(str(o(zel_string_join(nullptr, comma))), "");
}

}  // namespace
