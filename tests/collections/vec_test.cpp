#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "zel.h"

namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

ZelVec *make(std::initializer_list<int64_t> values) {
    ZelVec *v = zel_vec_new();
    for (int64_t x : values) zel_vec_push(v, x);
    return v;
}

std::vector<int64_t> items(const ZelVec *v) { return std::vector<int64_t>(v->items, v->items + v->len); }

using V = std::vector<int64_t>;

TEST(Vec, GrowthSequence) {
    ZelVec *v = zel_vec_new();
    EXPECT_EQ(zel_vec_cap(v), 8);
    EXPECT_EQ(zel_vec_len(v), 0);
    for (int64_t i = 0; i < 8; ++i) EXPECT_EQ(zel_vec_push(v, i * 10), v);
    EXPECT_EQ(zel_vec_cap(v), 8);
    zel_vec_push(v, 80);
    EXPECT_EQ(zel_vec_cap(v), 16);
    for (int64_t i = 9; i < 16; ++i) zel_vec_push(v, i * 10);
    EXPECT_EQ(zel_vec_cap(v), 16);
    zel_vec_push(v, 160);
    EXPECT_EQ(zel_vec_cap(v), 32);
    EXPECT_EQ(zel_vec_len(v), 17);
    for (int64_t i = 0; i < 17; ++i) ASSERT_EQ(zel_vec_get(v, i), i * 10);
    zel_vec_set(v, 3, -3);
    EXPECT_EQ(zel_vec_get(v, 3), -3);
    EXPECT_EQ(zel_vec_len(v), 17);
    zel_vec_free(v);

    for (int64_t n : {int64_t{0}, int64_t{1}, int64_t{-5}, kMin}) {
        ZelVec *w = zel_vec_with_capacity(n);
        EXPECT_EQ(zel_vec_cap(w), 1) << n;
        EXPECT_EQ(zel_vec_len(w), 0);
        zel_vec_push(w, 1);
        EXPECT_EQ(zel_vec_cap(w), 1);
        zel_vec_push(w, 2);
        EXPECT_EQ(zel_vec_cap(w), 2);
        zel_vec_push(w, 3);
        EXPECT_EQ(zel_vec_cap(w), 4);
        EXPECT_EQ(items(w), (V{1, 2, 3}));
        zel_vec_free(w);
    }
    ZelVec *w = zel_vec_with_capacity(2);
    EXPECT_EQ(zel_vec_cap(w), 2);
    zel_vec_free(w);
    w = zel_vec_with_capacity(1000);
    EXPECT_EQ(zel_vec_cap(w), 1000);
    for (int i = 0; i < 1001; ++i) zel_vec_push(w, i);
    EXPECT_EQ(zel_vec_cap(w), 2000);
    zel_vec_free(w);
}

TEST(Vec, PopClearKeepCapacity) {
    ZelVec *v = zel_vec_new();
    EXPECT_EQ(zel_vec_pop(v), 0);
    EXPECT_EQ(zel_vec_len(v), 0);
    for (int i = 1; i <= 20; ++i) zel_vec_push(v, i);
    EXPECT_EQ(zel_vec_pop(v), 20);
    EXPECT_EQ(zel_vec_pop(v), 19);
    EXPECT_EQ(zel_vec_len(v), 18);
    EXPECT_EQ(zel_vec_cap(v), 32);
    zel_vec_clear(v);
    EXPECT_EQ(zel_vec_len(v), 0);
    EXPECT_EQ(zel_vec_cap(v), 32);
    EXPECT_EQ(zel_vec_pop(v), 0);
    EXPECT_EQ(zel_vec_len(v), 0);
    zel_vec_free(v);
}

TEST(Vec, RemoveAndInsertClamp) {
    ZelVec *v = make({10, 20, 30, 40});
    EXPECT_EQ(zel_vec_remove(v, -1), 0);
    EXPECT_EQ(zel_vec_remove(v, 4), 0);
    EXPECT_EQ(zel_vec_remove(v, kMin), 0);
    EXPECT_EQ(zel_vec_remove(v, kMax), 0);
    EXPECT_EQ(items(v), (V{10, 20, 30, 40}));
    EXPECT_EQ(zel_vec_remove(v, 1), 20);
    EXPECT_EQ(items(v), (V{10, 30, 40}));
    EXPECT_EQ(zel_vec_remove(v, 2), 40);
    EXPECT_EQ(zel_vec_remove(v, 0), 10);
    EXPECT_EQ(items(v), (V{30}));
    EXPECT_EQ(zel_vec_cap(v), 8);
    zel_vec_free(v);

    v = make({1, 2, 3});
    zel_vec_insert(v, -3, 0);
    EXPECT_EQ(items(v), (V{0, 1, 2, 3}));
    zel_vec_insert(v, 100, 4);
    EXPECT_EQ(items(v), (V{0, 1, 2, 3, 4}));
    zel_vec_insert(v, 2, 9);
    EXPECT_EQ(items(v), (V{0, 1, 9, 2, 3, 4}));
    zel_vec_insert(v, 6, 5);
    zel_vec_insert(v, kMin, -1);
    zel_vec_insert(v, kMax, 6);
    EXPECT_EQ(items(v), (V{-1, 0, 1, 9, 2, 3, 4, 5, 6}));
    EXPECT_EQ(zel_vec_cap(v), 16);
    zel_vec_free(v);

    // Inserting into a full vector grows it by doubling.
    v = zel_vec_with_capacity(0);
    zel_vec_insert(v, 0, 7);
    EXPECT_EQ(zel_vec_cap(v), 1);
    zel_vec_insert(v, 0, 6);
    EXPECT_EQ(zel_vec_cap(v), 2);
    zel_vec_insert(v, 1, 8);
    EXPECT_EQ(zel_vec_cap(v), 4);
    EXPECT_EQ(items(v), (V{6, 8, 7}));
    zel_vec_free(v);
}

TEST(Vec, SliceAndCopy) {
    ZelVec *v = make({10, 20, 30, 40});
    struct Case {
        int64_t start, end;
        V want;
        int64_t cap;
    } cases[] = {
        {1, 3, {20, 30}, 2},   {-5, 2, {10, 20}, 2},     {3, 1, {}, 8},   {2, 99, {30, 40}, 2},
        {0, 4, {10, 20, 30, 40}, 4}, {4, 4, {}, 8},      {-9, -1, {}, 8}, {kMax, kMin, {}, 8},
        {kMin, kMax, {10, 20, 30, 40}, 4}, {3, 4, {40}, 1},
    };
    for (const Case &c : cases) {
        ZelVec *s = zel_vec_slice(v, c.start, c.end);
        EXPECT_EQ(items(s), c.want) << c.start << ".." << c.end;
        EXPECT_EQ(zel_vec_cap(s), c.cap) << c.start << ".." << c.end;
        zel_vec_push(s, 1);  // independent storage
        zel_vec_free(s);
    }
    EXPECT_EQ(items(v), (V{10, 20, 30, 40}));

    ZelVec *c = zel_vec_copy(v);
    EXPECT_EQ(items(c), items(v));
    EXPECT_EQ(zel_vec_cap(c), 4);
    EXPECT_NE(c->items, v->items);
    zel_vec_set(c, 0, -1);
    EXPECT_EQ(zel_vec_get(v, 0), 10);
    zel_vec_free(c);

    ZelVec *one = make({5});
    c = zel_vec_copy(one);
    EXPECT_EQ(zel_vec_cap(c), 1);
    EXPECT_EQ(items(c), (V{5}));
    zel_vec_free(c);
    zel_vec_free(one);

    ZelVec *empty = zel_vec_new();
    c = zel_vec_copy(empty);
    EXPECT_EQ(zel_vec_cap(c), 8);
    EXPECT_EQ(zel_vec_len(c), 0);
    zel_vec_free(c);
    zel_vec_free(empty);
    zel_vec_free(v);
}

TEST(Vec, SortSignedAndLarge) {
    ZelVec *v = make({3, -1, 2, -1});
    zel_vec_sort(v);
    EXPECT_EQ(items(v), (V{-1, -1, 2, 3}));
    zel_vec_free(v);

    v = make({kMax, 0, kMin, -1, 1});
    zel_vec_sort(v);
    EXPECT_EQ(items(v), (V{kMin, -1, 0, 1, kMax}));
    zel_vec_free(v);

    v = make({});
    zel_vec_sort(v);
    EXPECT_EQ(zel_vec_len(v), 0);
    zel_vec_push(v, 4);
    zel_vec_sort(v);
    EXPECT_EQ(items(v), (V{4}));
    zel_vec_free(v);

    std::mt19937_64 rng(42);
    for (int64_t n : {int64_t{17}, int64_t{1000}, int64_t{200000}}) {
        v = zel_vec_new();
        std::vector<int64_t> ref;
        for (int64_t i = 0; i < n; ++i) {
            // Mix full-range values with a narrow band so there are many ties.
            int64_t x = i % 2 ? static_cast<int64_t>(rng()) : static_cast<int64_t>(rng() % 64) - 32;
            zel_vec_push(v, x);
            ref.push_back(x);
        }
        std::stable_sort(ref.begin(), ref.end());
        zel_vec_sort(v);
        ASSERT_EQ(items(v), ref) << n;
        zel_vec_free(v);
    }
}

TEST(Vec, DedupReverseFillSearch) {
    ZelVec *v = make({1, 1, 2, 1, 1});
    zel_vec_dedup(v);
    EXPECT_EQ(items(v), (V{1, 2, 1}));
    EXPECT_EQ(zel_vec_cap(v), 8);
    zel_vec_free(v);

    v = make({5, 5, 5, 5, 5, 5, 5, 5, 5});
    zel_vec_dedup(v);
    EXPECT_EQ(items(v), (V{5}));
    EXPECT_EQ(zel_vec_cap(v), 16);
    zel_vec_free(v);

    v = make({-1, 2, 2, 3, 3, 3, -1, -1});
    zel_vec_dedup(v);
    EXPECT_EQ(items(v), (V{-1, 2, 3, -1}));
    zel_vec_reverse(v);
    EXPECT_EQ(items(v), (V{-1, 3, 2, -1}));
    zel_vec_push(v, 9);
    zel_vec_reverse(v);
    EXPECT_EQ(items(v), (V{9, -1, 2, 3, -1}));

    EXPECT_EQ(zel_vec_index_of(v, -1), 1);
    EXPECT_EQ(zel_vec_index_of(v, 9), 0);
    EXPECT_EQ(zel_vec_index_of(v, 4), -1);
    EXPECT_EQ(zel_vec_contains(v, 3), 1);
    EXPECT_EQ(zel_vec_contains(v, 4), 0);
    zel_vec_swap(v, 0, 4);
    EXPECT_EQ(items(v), (V{-1, -1, 2, 3, 9}));
    // Stale slots past len are not elements.
    zel_vec_pop(v);
    EXPECT_EQ(zel_vec_contains(v, 9), 0);
    EXPECT_EQ(zel_vec_index_of(v, 9), -1);

    zel_vec_fill(v, 7);
    EXPECT_EQ(items(v), (V{7, 7, 7, 7}));
    EXPECT_EQ(v->items[4], 9);  // fill stops at len
    zel_vec_free(v);

    v = zel_vec_new();
    zel_vec_dedup(v);
    zel_vec_reverse(v);
    zel_vec_fill(v, 1);
    EXPECT_EQ(zel_vec_len(v), 0);
    EXPECT_EQ(zel_vec_index_of(v, 0), -1);
    EXPECT_EQ(zel_vec_contains(v, 0), 0);
    zel_vec_free(v);
}

TEST(Vec, Extend) {
    ZelVec *a = make({1, 2, 3});
    ZelVec *b = make({4, 5, 6, 7, 8, 9});
    zel_vec_extend(a, b);
    EXPECT_EQ(items(a), (V{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(zel_vec_cap(a), 16);
    EXPECT_EQ(items(b), (V{4, 5, 6, 7, 8, 9}));

    // Several doublings in one call.
    ZelVec *c = zel_vec_with_capacity(1);
    zel_vec_extend(c, a);
    EXPECT_EQ(zel_vec_cap(c), 16);
    EXPECT_EQ(items(c), items(a));
    // Exactly filling the capacity does not grow.
    ZelVec *d = zel_vec_with_capacity(4);
    zel_vec_free(c);
    c = zel_vec_new();
    zel_vec_extend(d, c);
    EXPECT_EQ(zel_vec_cap(d), 4);
    EXPECT_EQ(zel_vec_len(d), 0);
    zel_vec_free(c);

    c = make({1, 2, 3, 4});
    zel_vec_extend(d, c);
    EXPECT_EQ(zel_vec_cap(d), 4);
    zel_vec_extend(d, c);
    EXPECT_EQ(zel_vec_cap(d), 8);
    EXPECT_EQ(items(d), (V{1, 2, 3, 4, 1, 2, 3, 4}));
    zel_vec_free(c);
    zel_vec_free(d);

    // Self-extend: the storage must move, and exactly one copy is appended.
    ZelVec *s = make({1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_EQ(zel_vec_cap(s), 8);
    zel_vec_extend(s, s);
    EXPECT_EQ(items(s), (V{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(zel_vec_cap(s), 16);
    zel_vec_extend(s, s);
    EXPECT_EQ(zel_vec_len(s), 32);
    EXPECT_EQ(zel_vec_cap(s), 32);
    for (int64_t i = 0; i < 32; ++i) ASSERT_EQ(zel_vec_get(s, i), i % 8 + 1);
    zel_vec_free(s);
    zel_vec_free(a);
    zel_vec_free(b);
}

TEST(Vec, Aggregates) {
    ZelVec *v = zel_vec_new();
    EXPECT_EQ(zel_vec_min(v), kMax);
    EXPECT_EQ(zel_vec_max(v), kMin);
    EXPECT_EQ(zel_vec_product(v), 1);
    EXPECT_EQ(zel_vec_sum(v), 0);

    for (int64_t x : {3, -7, 12, 0, 5}) zel_vec_push(v, x);
    EXPECT_EQ(zel_vec_min(v), -7);
    EXPECT_EQ(zel_vec_max(v), 12);
    EXPECT_EQ(zel_vec_sum(v), 13);
    EXPECT_EQ(zel_vec_product(v), 0);
    zel_vec_free(v);

    v = make({kMax, 1});
    EXPECT_EQ(zel_vec_sum(v), kMin);
    zel_vec_push(v, 2);
    EXPECT_EQ(zel_vec_product(v), -2);
    zel_vec_free(v);

    v = make({-1, -2, -3});
    EXPECT_EQ(zel_vec_max(v), -1);
    EXPECT_EQ(zel_vec_min(v), -3);
    EXPECT_EQ(zel_vec_product(v), -6);
    zel_vec_free(v);

    v = make({int64_t{1} << 32, int64_t{1} << 32});
    EXPECT_EQ(zel_vec_product(v), 0);
    zel_vec_free(v);
}

TEST(Vec, AliasesShareBehaviour) {
    ZelVec *v = vec_new();
    EXPECT_EQ(vec_cap(v), 8);
    for (int64_t i = 0; i < 9; ++i) EXPECT_EQ(vec_push(v, 9 - i), v);
    EXPECT_EQ(zel_vec_len(v), 9);
    EXPECT_EQ(zel_vec_cap(v), 16);
    EXPECT_EQ(vec_len(v), 9);
    EXPECT_EQ(vec_get(v, 0), 9);
    vec_set(v, 0, 0);
    EXPECT_EQ(zel_vec_get(v, 0), 0);
    vec_sort(v);
    EXPECT_EQ(items(v), (V{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    vec_reverse(v);
    vec_swap(v, 0, 8);
    EXPECT_EQ(items(v), (V{0, 7, 6, 5, 4, 3, 2, 1, 8}));
    EXPECT_EQ(vec_pop(v), 8);
    EXPECT_EQ(vec_remove(v, 0), 0);
    EXPECT_EQ(vec_remove(v, -1), 0);
    vec_insert(v, -4, 7);
    EXPECT_EQ(items(v), (V{7, 7, 6, 5, 4, 3, 2, 1}));
    vec_dedup(v);
    EXPECT_EQ(vec_index_of(v, 5), 2);
    EXPECT_EQ(vec_contains(v, 7), 1);
    EXPECT_EQ(vec_sum(v), 28);
    EXPECT_EQ(vec_product(v), 5040);
    EXPECT_EQ(vec_min(v), 1);
    EXPECT_EQ(vec_max(v), 7);

    ZelVec *s = vec_slice(v, 1, 3);
    EXPECT_EQ(items(s), (V{6, 5}));
    EXPECT_EQ(vec_cap(s), 2);
    ZelVec *c = vec_copy(v);
    EXPECT_EQ(vec_cap(c), 7);
    vec_extend(c, s);
    EXPECT_EQ(items(c), (V{7, 6, 5, 4, 3, 2, 1, 6, 5}));
    vec_fill(s, 3);
    EXPECT_EQ(items(s), (V{3, 3}));
    vec_clear(c);
    EXPECT_EQ(zel_vec_len(c), 0);
    EXPECT_EQ(zel_vec_cap(c), 14);
    ZelVec *w = vec_with_capacity(-1);
    EXPECT_EQ(zel_vec_cap(w), 1);
    vec_free(w);
    vec_free(c);
    vec_free(s);
    vec_free(v);
}

TEST(Vec, IndependentOfArena) {
    // A fresh thread starts with no arena blocks, so any arena use shows up.
    uint64_t used = ~uint64_t{0};
    std::thread t([&] {
        zel_arena_mode(1);
        ZelVec *v = zel_vec_new();
        for (int i = 0; i < 1000; ++i) zel_vec_push(v, i);
        ZelVec *c = zel_vec_copy(v);
        ZelVec *s = zel_vec_slice(v, 10, 20);
        used = zel_arena_usage();
        zel_arena_mode(0);
        zel_vec_free(s);
        zel_vec_free(c);
        zel_vec_free(v);
        zel_arena_destroy();
    });
    t.join();
    EXPECT_EQ(used, 0u);
}

TEST(VecDeathTest, ImpossibleSizeIsOutOfMemory) {
    EXPECT_EXIT(zel_vec_with_capacity(kMax), testing::ExitedWithCode(1), "out of memory");
    EXPECT_EXIT(zel_vec_with_capacity(kMax / 8 + 1), testing::ExitedWithCode(1), "out of memory");
}

}  // namespace
