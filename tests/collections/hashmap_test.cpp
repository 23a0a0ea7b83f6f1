#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fail_alloc.h"
#include "support.h"

namespace {

using V = std::vector<int64_t>;
constexpr int64_t kAbsent = INT64_MIN, kSlots = 131072;

V items(ZelVec *v) {
    V r(v->items, v->items + v->len);
    zel_vec_free(v);
    return r;
}

uint64_t home(int64_t key) {
    uint64_t h = static_cast<uint64_t>(key) * 0x517cc1b727220a95ull;
    return (h ^ (h >> 32)) & (kSlots - 1);
}

TEST(Hashmap, AnswersAndSentinels) {
    ZelHashmap *m = hashmap_new();
    EXPECT_EQ(hashmap_get(m, 5), kAbsent);
    EXPECT_EQ(hashmap_insert(m, 5, 0), 0);
    EXPECT_EQ(hashmap_get(m, 5), 0);
    EXPECT_EQ(hashmap_contains(m, 5), 1);
    EXPECT_EQ(hashmap_insert(m, 7, 70), 0);
    EXPECT_EQ(hashmap_insert(m, 7, 71), 70);
    for (int64_t k : {int64_t{0}, int64_t{-1}, kAbsent, INT64_MAX}) hashmap_insert(m, k, k / 2);
    for (int64_t k : {int64_t{0}, int64_t{-1}, kAbsent, INT64_MAX}) EXPECT_EQ(hashmap_get(m, k), k / 2);
    EXPECT_EQ(hashmap_remove(m, 8), kAbsent);
    EXPECT_EQ(hashmap_remove(m, 7), 71);
    EXPECT_EQ(hashmap_contains(m, 7), 0);
    EXPECT_EQ(hashmap_len(m), 5);
    hashmap_free(m);

    EXPECT_EQ(hashmap_len(nullptr) | hashmap_insert(nullptr, 1, 1) | hashmap_contains(nullptr, 1), 0);
    EXPECT_EQ(hashmap_get(nullptr, 1), kAbsent);
    EXPECT_EQ(hashmap_remove(nullptr, 1), kAbsent);
    EXPECT_EQ(items(hashmap_values(nullptr)), V{});
    hashmap_free(nullptr);
}

TEST(Hashmap, CollisionsDeletedSlotsAndSlotOrder) {
    V c;  // keys sharing key 1's home slot
    for (int64_t k = 2; c.size() < 3; ++k)
        if (home(k) == home(1)) c.push_back(k);
    ZelHashmap *m = hashmap_new();
    hashmap_insert(m, 1, 10);
    hashmap_insert(m, c[0], 20);
    EXPECT_EQ(hashmap_remove(m, 1), 10);
    EXPECT_EQ(hashmap_insert(m, c[0], 21), 20);  // found behind the deleted marker
    EXPECT_EQ(items(hashmap_keys(m)), (V{c[0]}));
    hashmap_insert(m, c[1], 30);  // takes the first deleted slot, ahead of c[0]
    hashmap_insert(m, c[2], 40);
    EXPECT_EQ(items(hashmap_keys(m)), (V{c[1], c[0], c[2]}));
    EXPECT_EQ(items(hashmap_values(m)), (V{30, 21, 40}));
    hashmap_free(m);

    m = hashmap_new();
    V keys = {-3, 99, 1 << 20, 12345, INT64_MAX};
    for (int64_t k : keys) hashmap_insert(m, k, k);
    std::sort(keys.begin(), keys.end(), [](int64_t a, int64_t b) { return home(a) < home(b); });
    ZelVec *listed = hashmap_keys(m);
    EXPECT_EQ(listed->capacity, 8);
    EXPECT_EQ(items(listed), keys);
    hashmap_free(m);
}

TEST(Hashmap, FullTable) {
    ZelHashmap *m = hashmap_new();
    for (int64_t k = 0; k < kSlots; ++k) hashmap_insert(m, k, k + 1);
    EXPECT_EQ(hashmap_insert(m, -1, 5), 0);
    EXPECT_EQ(hashmap_len(m), kSlots);
    EXPECT_EQ(hashmap_get(m, -1), kAbsent);  // probes the whole table, then stops
    EXPECT_EQ(hashmap_insert(m, 77, 0), 78);
    EXPECT_EQ(hashmap_remove(m, 3), 4);
    hashmap_insert(m, -1, 5);
    EXPECT_EQ(hashmap_get(m, -1), 5);
    ZelVec *keys = hashmap_keys(m);
    EXPECT_EQ(keys->capacity, kSlots);
    EXPECT_EQ(keys->len, kSlots);
    zel_vec_free(keys);
    hashmap_free(m);
}

TEST(Hashmap, ExhaustedMemory) {
    for (int64_t skip : {0, 1}) {  // the record, then the table
        zt::FailAllocations fail(skip, 1);
        EXPECT_EQ(hashmap_new(), nullptr);
    }
    ZelHashmap *m = hashmap_new();
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
