#include <gtest/gtest.h>
#include <stdlib.h>

#include <thread>
#include <vector>

#include "zel.h"

namespace {

using V = std::vector<int64_t>;

const int64_t *elems(const ZelArray *a) { return reinterpret_cast<const int64_t *>(a + 1); }
V items(const ZelArray *a) { return V(elems(a), elems(a) + a->len); }

ZelArray *empty() {
    static int64_t header[2] = {0, 0};
    return reinterpret_cast<ZelArray *>(header);
}

// Heap-mode arrays have no release operation; the tests give their blocks back
// so that the leak checker sees only what the library loses.
struct Held {
    std::vector<ZelArray *> blocks;
    ~Held() {
        for (ZelArray *a : blocks) free(a);
    }
    ZelArray *operator()(ZelArray *a) {
        if (a != empty()) blocks.push_back(a);
        return a;
    }
};

ZelArray *make(Held &h, const V &values) {
    ZelArray *a = empty();
    for (int64_t x : values) a = h(zel_array_push(a, x));
    return a;
}

TEST(Array, DerivedArraysLeaveTheirArgumentsAlone) {
    Held h;
    ZelArray *one = h(zel_array_push(empty(), 7));
    EXPECT_EQ(one->capacity, 1);
    EXPECT_EQ(zel_array_len(one), 1);
    EXPECT_EQ(zel_array_len(empty()), 0);

    ZelArray *a = make(h, {1, 2, 3});
    ZelArray *p = h(zel_array_pop(a));
    EXPECT_EQ(items(p), (V{1, 2}));
    EXPECT_EQ(p->capacity, 2);
    EXPECT_EQ(items(a), (V{1, 2, 3}));
    EXPECT_EQ(zel_array_pop(empty()), empty());

    ZelArray *c = h(zel_array_concat(one, empty()));
    EXPECT_NE(c, one);
    EXPECT_EQ(items(c), (V{7}));
    ZelArray *ab = h(zel_array_concat(a, p));
    EXPECT_EQ(items(ab), (V{1, 2, 3, 1, 2}));
    EXPECT_EQ(ab->capacity, 5);
    zel_array_set_safe(ab, 0, 9);
    EXPECT_EQ(items(a), (V{1, 2, 3}));
}

TEST(Array, SliceClamps) {
    Held h;
    ZelArray *a = make(h, {10, 20, 30, 40});
    struct {
        int64_t start, end;
        V want;
    } cases[] = {{1, 3, {20, 30}}, {-5, 2, {10, 20}}, {3, 1, {}}, {7, 9, {}}, {0, -1, {}},
                 {2, 99, {30, 40}}, {INT64_MIN, INT64_MAX, {10, 20, 30, 40}}, {INT64_MAX, INT64_MIN, {}}};
    for (const auto &c : cases) {
        ZelArray *s = h(zel_array_slice(a, c.start, c.end));
        EXPECT_EQ(items(s), c.want) << c.start << ".." << c.end;
        EXPECT_EQ(s->capacity, s->len);
        EXPECT_NE(s, a);
    }
}

TEST(Array, BlocksComeFromTheArenaInArenaMode) {
    uint64_t used = 0;
    std::thread t([&] {
        zel_arena_mode(1);
        ZelArray *a = empty();
        for (int64_t x : {1, 2, 3}) a = zel_array_push(a, x);
        used = zel_arena_usage();
        EXPECT_EQ(items(zel_array_slice(a, 1, 3)), (V{2, 3}));
        zel_arena_mode(0);
        zel_arena_destroy();
    });
    t.join();
    EXPECT_GT(used, 0u);
}

}  // namespace
