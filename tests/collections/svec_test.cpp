// The string-vector pool and the splitting operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"

namespace {

using zt::Owned;
using zt::S;
using zt::str;

std::vector<std::string> items(int64_t h) {
    std::vector<std::string> r;
    for (int64_t i = 0; i < zel_svec_len(h); ++i) r.push_back(zel_svec_get(h, i) ? str(zel_svec_get(h, i)) : "<null>");
    return r;
}

// Releases the pieces a split made (the vector's own storage stays in the pool).
void release(int64_t h) {
    for (int64_t i = 0; i < zel_svec_len(h); ++i) zel_string_free(zel_svec_get(h, i));
    zel_svec_free(h);
}

TEST(Svec, HandlesAreDenseAndNeverReused) {
    int64_t a = zel_svec_new(), b = zel_svec_new();
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(zel_svec_push(a, nullptr), 0);
    zel_svec_free(a);
    EXPECT_EQ(zel_svec_len(a), 0);
    EXPECT_EQ(zel_svec_new(), a + 2);
    EXPECT_EQ(g_svec_pool_len, a + 3);
    // The pool holds 16 entries, then doubles.
    while (g_svec_pool_len <= 16) zel_svec_new();
    int64_t cap = 16;
    while (cap < g_svec_pool_len) cap *= 2;
    EXPECT_EQ(g_svec_pool_cap, cap);

    // A freed vector takes pushes again; invalid handles get neutral answers.
    Owned o;
    ZelString *x = o(S("x"));
    EXPECT_EQ(zel_svec_push(a, x), 0);
    EXPECT_EQ(zel_svec_get(a, 0), x);
    for (int64_t bad : {int64_t{-1}, g_svec_pool_len, INT64_MAX}) {
        EXPECT_EQ(zel_svec_push(bad, x), -1);
        EXPECT_EQ(zel_svec_len(bad) + zel_svec_remove(bad, 0) + zel_svec_contains(bad, x), 0);
        EXPECT_EQ(zel_svec_get(bad, 0), nullptr);
        EXPECT_EQ(zel_svec_index_of(bad, x), -1);
        EXPECT_EQ(zel_svec_free(bad) + zel_svec_clear(bad) + zel_svec_sort(bad), 0);
        EXPECT_EQ(str(o(zel_svec_join(bad, x))), "");
    }
    EXPECT_EQ(zel_svec_get(a, 1), nullptr);
    zel_svec_free(a);
}

TEST(Svec, ElementsSortSearchJoin) {
    Owned o;
    int64_t h = zel_svec_new();
    ZelString *ab = o(S("ab"));
    for (ZelString *s : {o(S("b")), o(S("a")), (ZelString *)nullptr, ab}) zel_svec_push(h, s);
    zel_svec_sort(h);
    EXPECT_EQ(items(h), (std::vector<std::string>{"<null>", "a", "ab", "b"}));
    EXPECT_EQ(zel_svec_index_of(h, o(S("ab"))), 2);  // by bytes, not identity
    EXPECT_EQ(zel_svec_contains(h, o(S("c"))), 0);
    EXPECT_EQ(zel_svec_index_of(h, nullptr), -1);
    EXPECT_EQ(str(o(zel_svec_join(h, o(S(","))))), ",a,ab,b");
    EXPECT_EQ(str(o(zel_svec_join(h, nullptr))), "aabb");
    EXPECT_EQ(zel_svec_remove(h, 0), 1);
    EXPECT_EQ(zel_svec_remove(h, 3), 0);
    EXPECT_EQ(items(h), (std::vector<std::string>{"a", "ab", "b"}));
    zel_svec_clear(h);
    EXPECT_EQ(zel_svec_len(h), 0);
    EXPECT_EQ(str(o(zel_svec_join(h, ab))), "");
    zel_svec_free(h);

    ZelString *x = o(S("x")), *y = o(S("y"));
    const ZelString *order[] = {y, nullptr, x};
    qsort(order, 3, sizeof order[0], cmp_zel_str_ptr);
    EXPECT_TRUE(order[0] == nullptr && order[1] == x && order[2] == y);
}

TEST(Svec, SplittingRules) {
    using V = std::vector<std::string>;
    struct Row {
        const char *text, *sep;
        V want;
    } fields[] = {
        {"a,b,c", ",", {"a", "b", "c"}}, {",a", ",", {"", "a"}},      {"a,,b", ",", {"a", "", "b"}},
        {"a,b,", ",", {"a", "b"}},       {",", ",", {""}},            {"abc", ",", {"abc"}},
        {"", ",", {}},                   {"abc", "", {"a", "b", "c"}}, {"a::b:", "::", {"a", "b:"}},
    };
    Owned o;
    for (const Row &r : fields) {
        int64_t h = zel_str_split(o(S(r.text)), r.sep ? o(S(r.sep)) : nullptr);
        EXPECT_EQ(items(h), r.want) << r.text;
        release(h);
    }
    struct Text {
        std::string text;
        V words, lines;
    } texts[] = {
        {"  a\t b\r\n", {"a", "b"}, {"  a\t b"}},
        {"a\nb\n", {"a", "b"}, {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}, {"a", "b"}},
        {"\n", {}, {""}},
        {"a\n\nb", {"a", "b"}, {"a", "", "b"}},
        {"a\r\r\n", {"a"}, {"a\r"}},
        {"x\v\f\xa0y", {"x\v\f\xa0y"}, {"x\v\f\xa0y"}},
        {"   ", {}, {"   "}},
    };
    for (const Text &t : texts) {
        int64_t w = zel_str_split_whitespace(o(S(t.text))), l = zel_str_lines(o(S(t.text)));
        EXPECT_EQ(items(w), t.words) << t.text;
        EXPECT_EQ(items(l), t.lines) << t.text;
        release(w);
        release(l);
    }
    EXPECT_EQ(zel_svec_len(zel_str_lines(nullptr)) + zel_svec_len(zel_str_split(nullptr, nullptr)), 0);
}

// Arena mode carves the pieces of a split straight out of the arena block; a
// split larger than one block must still give every piece.
TEST(Svec, SplitsAgreeInBothModes) {
    std::string text;
    for (int i = 0; i < 300000; ++i) text += std::to_string(i % 1000) + (i % 7 ? "," : ",a long field here,");
    ZelString t = {text.data(), (int64_t)text.size(), (int64_t)text.size()}, comma = {(char *)",", 1, 1};
    auto take = [&](bool arena) {
        zel_arena_mode(arena);
        std::vector<std::string> r;
        int64_t h = zel_str_split(&t, &comma);
        ZelVec *v = zel_string_split(&t, &comma);
        for (int64_t i = 0; i < v->len; ++i) r.push_back(str((ZelString *)v->items[i]));
        EXPECT_EQ(items(h), std::vector<std::string>(r.begin(), r.end() - 1));
        if (!arena) {
            for (int64_t i = 0; i < v->len; ++i) zel_string_free((ZelString *)v->items[i]);
            release(h);
        }
        zel_vec_free(v);
        zel_svec_free(h);
        zel_arena_destroy();
        return r;
    };
    std::vector<std::string> heap = take(false), arena = take(true);
    EXPECT_EQ(heap.size(), 300000u + 300000u / 7 + 2);
    EXPECT_EQ(heap, arena);
}

}  // namespace
