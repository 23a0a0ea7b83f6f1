#include <gtest/gtest.h>
#include <stdlib.h>

#include <thread>
#include <vector>

#include "zel.h"

namespace {

using V = std::vector<int64_t>;

int64_t g_empty[2] = {0, 0};
ZelArray *const kEmpty = reinterpret_cast<ZelArray *>(g_empty);

V items(const ZelArray *a) {
    auto *e = reinterpret_cast<const int64_t *>(a + 1);
    EXPECT_EQ(a->capacity, a->len);
    return V(e, e + a->len);
}

// Heap-mode arrays have no release operation; the tests give their blocks back
// so that the leak checker sees only what the library loses.
struct Held {
    std::vector<ZelArray *> blocks;
    ~Held() {
        for (ZelArray *a : blocks) free(a);
    }
    ZelArray *operator()(ZelArray *a) { return a == kEmpty ? a : blocks.emplace_back(a); }
    ZelArray *make(const V &values) {
        ZelArray *a = kEmpty;
        for (int64_t x : values) a = (*this)(zel_array_push(a, x));
        return a;
    }
};

TEST(Array, DerivedArraysLeaveTheirArgumentsAlone) {
    Held h;
    ZelArray *one = h(zel_array_push(kEmpty, 7));
    EXPECT_EQ(items(one), V{7});
    EXPECT_EQ(zel_array_len(kEmpty), 0);
    ZelArray *a = h.make({1, 2, 3});
    ZelArray *p = h(zel_array_pop(a));
    EXPECT_EQ(items(p), (V{1, 2}));
    EXPECT_EQ(items(a), (V{1, 2, 3}));
    EXPECT_EQ(zel_array_pop(kEmpty), kEmpty);
    ZelArray *c = h(zel_array_concat(one, kEmpty));
    EXPECT_NE(c, one);
    EXPECT_EQ(items(c), V{7});
    ZelArray *ap = h(zel_array_concat(a, p));
    EXPECT_EQ(items(ap), (V{1, 2, 3, 1, 2}));
    zel_array_set_safe(ap, 0, 9);
    EXPECT_EQ(items(a), (V{1, 2, 3}));
}

TEST(Array, SliceClamps) {
    Held h;
    ZelArray *a = h.make({10, 20, 30, 40});
    struct {
        int64_t start, end;
        V want;
    } cases[] = {{1, 3, {20, 30}}, {-5, 2, {10, 20}}, {3, 1, {}},     {7, 9, {}},
                 {0, -1, {}},       {2, 99, {30, 40}}, {INT64_MIN, INT64_MAX, {10, 20, 30, 40}}, {INT64_MAX, INT64_MIN, {}}};
    for (const auto &c : cases) EXPECT_EQ(items(h(zel_array_slice(a, c.start, c.end))), c.want) << c.start << ".." << c.end;
}

TEST(Array, BlocksComeFromTheArenaInArenaMode) {
    uint64_t used = 0;
    std::thread t([&] {  // a fresh thread starts with an empty arena
        zel_arena_mode(1);
        zel_array_slice(zel_array_push(kEmpty, 1), 0, 1);
        used = zel_arena_usage();
        zel_arena_mode(0);
        zel_arena_destroy();
    });
    t.join();
    EXPECT_GT(used, 0u);
}

}  // namespace
