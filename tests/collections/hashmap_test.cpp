#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "collections/fail_alloc.h"
#include "support.h"

namespace {

using V = std::vector<int64_t>;
constexpr int64_t kAbsent = INT64_MIN;
constexpr int64_t kSlots = 131072;

V items(ZelVec *v) {
    V r(v->items, v->items + v->len);
    zel_vec_free(v);
    return r;
}

uint64_t home(int64_t key) {
    uint64_t h = static_cast<uint64_t>(key) * 0x517cc1b727220a95ull;
    return (h ^ (h >> 32)) & (kSlots - 1);
}

// Keys after `key` that share its home slot.
V colliding(int64_t key, int n) {
    V r;
    for (int64_t k = key + 1; static_cast<int>(r.size()) < n; ++k)
        if (home(k) == home(key)) r.push_back(k);
    return r;
}

TEST(Hashmap, AnswersAndSentinels) {
    ZelHashmap *m = hashmap_new();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->capacity, kSlots);
    EXPECT_EQ(hashmap_get(m, 5), kAbsent);
    EXPECT_EQ(hashmap_insert(m, 5, 0), 0);
    EXPECT_EQ(hashmap_get(m, 5), 0);
    EXPECT_EQ(hashmap_contains(m, 5), 1);
    EXPECT_EQ(hashmap_insert(m, 7, 70), 0);
    EXPECT_EQ(hashmap_insert(m, 7, 71), 70);
    for (int64_t k : {int64_t{0}, int64_t{-1}, kAbsent, INT64_MAX}) EXPECT_EQ(hashmap_insert(m, k, k / 2), 0);
    for (int64_t k : {int64_t{0}, int64_t{-1}, kAbsent, INT64_MAX}) EXPECT_EQ(hashmap_get(m, k), k / 2);
    EXPECT_EQ(hashmap_len(m), 6);
    EXPECT_EQ(hashmap_remove(m, 8), kAbsent);
    EXPECT_EQ(hashmap_remove(m, 7), 71);
    EXPECT_EQ(hashmap_remove(m, 7), kAbsent);
    EXPECT_EQ(hashmap_contains(m, 7), 0);
    EXPECT_EQ(hashmap_len(m), 5);
    hashmap_free(m);

    EXPECT_EQ(hashmap_len(nullptr), 0);
    EXPECT_EQ(hashmap_insert(nullptr, 1, 1), 0);
    EXPECT_EQ(hashmap_get(nullptr, 1), kAbsent);
    EXPECT_EQ(hashmap_remove(nullptr, 1), kAbsent);
    EXPECT_EQ(hashmap_contains(nullptr, 1), 0);
    EXPECT_EQ(items(hashmap_keys(nullptr)), V{});
    hashmap_free(nullptr);
}

TEST(Hashmap, CollisionsDeletedSlotsAndSlotOrder) {
    ZelHashmap *m = hashmap_new();
    V c = colliding(1, 3);  // 1, c[0], c[1], c[2] share a home slot
    hashmap_insert(m, 1, 10);
    hashmap_insert(m, c[0], 20);
    EXPECT_EQ(hashmap_remove(m, 1), 10);
    // B is still found behind the deleted marker, so it is replaced, not doubled.
    EXPECT_EQ(hashmap_insert(m, c[0], 21), 20);
    EXPECT_EQ(hashmap_len(m), 1);
    EXPECT_EQ(items(hashmap_keys(m)), (V{c[0]}));
    // A new key takes the first deleted slot, ahead of B.
    hashmap_insert(m, c[1], 30);
    hashmap_insert(m, c[2], 40);
    EXPECT_EQ(items(hashmap_keys(m)), (V{c[1], c[0], c[2]}));
    EXPECT_EQ(items(hashmap_values(m)), (V{30, 21, 40}));

    // Listings walk the table: keys come out ordered by home slot.
    ZelHashmap *w = hashmap_new();
    V keys = {-3, 99, 1 << 20, 12345, INT64_MAX};
    for (int64_t k : keys) hashmap_insert(w, k, k);
    std::sort(keys.begin(), keys.end(), [](int64_t a, int64_t b) { return home(a) < home(b); });
    ZelVec *listed = hashmap_keys(w);
    EXPECT_EQ(listed->capacity, 8);
    EXPECT_EQ(items(listed), keys);
    hashmap_free(w);
    hashmap_free(m);
}

TEST(Hashmap, FullTable) {
    ZelHashmap *m = hashmap_new();
    for (int64_t k = 0; k < kSlots; ++k) ASSERT_EQ(hashmap_insert(m, k, k + 1), 0);
    EXPECT_EQ(hashmap_insert(m, -1, 5), 0);
    EXPECT_EQ(hashmap_len(m), kSlots);
    EXPECT_EQ(hashmap_get(m, -1), kAbsent);  // probes the whole table and stops
    EXPECT_EQ(hashmap_insert(m, 77, 0), 78);
    EXPECT_EQ(hashmap_remove(m, 3), 4);
    EXPECT_EQ(hashmap_insert(m, -1, 5), 0);
    EXPECT_EQ(hashmap_get(m, -1), 5);
    ZelVec *keys = hashmap_keys(m);
    EXPECT_EQ(keys->len, kSlots);
    EXPECT_EQ(keys->capacity, kSlots);
    zel_vec_free(keys);
    hashmap_free(m);
}

TEST(Hashmap, ExhaustedMemory) {
    for (int64_t skip : {0, 1}) {  // the record, then the table
        zt::FailAllocations fail(skip, 1);
        EXPECT_EQ(hashmap_new(), nullptr);
    }
    ZelHashmap *m = hashmap_new();
    hashmap_insert(m, 1, 2);
    zt::ChildResult r = zt::run_child([m] {
        zt::FailAllocations fail;
        hashmap_keys(m);
        return 0;
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "[zel] FATAL: out of memory\n");
    hashmap_free(m);
}

}  // namespace
