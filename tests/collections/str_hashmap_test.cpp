#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "collections/fail_alloc.h"
#include "support.h"

namespace {

using zt::S;
using zt::str;

uint64_t folded(const std::string &k) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : k) h = (h ^ c) * 0x100000001b3ull;
    return h ^ (h >> 32);
}

// Owns key records for one test.
struct Keys {
    std::vector<ZelString *> held;
    ~Keys() {
        for (ZelString *s : held) zel_string_free(s);
    }
    ZelString *operator()(const std::string &t) { return held.emplace_back(S(t)); }
};

std::vector<std::string> texts(ZelVec *v) {
    std::vector<std::string> r;
    for (int64_t i = 0; i < v->len; ++i) r.push_back(str(reinterpret_cast<ZelString *>(v->items[i])));
    zel_vec_free(v);
    return r;
}

std::vector<std::string> handle_texts(int64_t h) {
    std::vector<std::string> r;
    for (int64_t i = 0; i < zel_svec_len(h); ++i) r.push_back(str(zel_svec_get(h, i)));
    return r;
}

TEST(StrHashmap, KeysAndAnswers) {
    Keys k;
    ZelStrHashmap *m = zel_str_hashmap_new();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->capacity, 4096);
    ZelString *a1 = k("alpha"), *a2 = k("alpha");
    EXPECT_EQ(str_hashmap_insert(m, a1, 1), 0);
    EXPECT_EQ(zel_str_hashmap_insert(m, a2, 2), 1);  // equal bytes: the same key
    EXPECT_EQ(zel_str_hashmap_update(m, a2, 3), 0);
    EXPECT_EQ(str_hashmap_len(m), 1);
    ZelVec *keys = str_hashmap_keys(m);
    EXPECT_EQ(reinterpret_cast<ZelString *>(keys->items[0]), a1);  // the first record stays
    zel_vec_free(keys);

    EXPECT_EQ(str_hashmap_get(m, k("beta")), 0);
    str_hashmap_insert(m, k("zero"), 0);
    EXPECT_EQ(str_hashmap_contains(m, k("zero")), 1);
    EXPECT_EQ(str_hashmap_contains(m, k("beta")), 0);
    // Null and empty keys are two different keys.
    str_hashmap_insert(m, nullptr, 10);
    str_hashmap_insert(m, k(""), 20);
    EXPECT_EQ(str_hashmap_get(m, nullptr), 10);
    EXPECT_EQ(str_hashmap_get(m, k("")), 20);
    EXPECT_EQ(str_hashmap_get(m, k(std::string("alpha\0", 6))), 0);

    ZelString *n = k("n");
    zel_str_hashmap_inc(m, n, 1);
    zel_str_hashmap_inc(m, k("n"), 1);
    EXPECT_EQ(zel_str_hashmap_get(m, n), 2);
    zel_str_hashmap_inc(m, n, INT64_MAX);
    EXPECT_EQ(zel_str_hashmap_get(m, n), INT64_MIN + 1);  // wraps

    std::pair<const char *, int64_t> stored[] = {{"alpha", 3}, {"zero", 0}, {"", 20}, {"n", INT64_MIN + 1}};
    for (auto [t, v] : stored) EXPECT_EQ(zel_str_hashmap_remove(m, k(t)), v) << t;
    EXPECT_EQ(str_hashmap_remove(m, k("alpha")), 0);
    EXPECT_EQ(str_hashmap_remove(m, nullptr), 10);
    EXPECT_EQ(zel_str_hashmap_len(m), 0);
    ZelVec *values = zel_str_hashmap_values(m);
    EXPECT_EQ(values->len, 0);
    EXPECT_EQ(values->capacity, 8);
    zel_vec_free(values);
    EXPECT_EQ(zel_svec_len(zel_str_hashmap_keys(m)), 0);
    EXPECT_EQ(zel_str_hashmap_free(m), 0);

    EXPECT_EQ(str_hashmap_insert(nullptr, a1, 1), 0);
    EXPECT_EQ(zel_str_hashmap_inc(nullptr, a1, 1), 0);
    EXPECT_EQ(str_hashmap_get(nullptr, a1), 0);
    EXPECT_EQ(str_hashmap_len(nullptr), 0);
    EXPECT_EQ(texts(str_hashmap_keys(nullptr)), std::vector<std::string>{});
    EXPECT_EQ(zel_svec_len(zel_str_hashmap_sorted_keys(nullptr)), 0);
    EXPECT_EQ(zel_str_hashmap_free(nullptr), 0);
}

TEST(StrHashmap, CollisionsAndSlotOrder) {
    Keys k;
    // Three keys with one home slot, in probe order.
    std::vector<std::string> same;
    uint64_t want = folded("k0") & 4095;
    for (int i = 0; same.size() < 3; ++i)
        if ((folded("k" + std::to_string(i)) & 4095) == want) same.push_back("k" + std::to_string(i));
    ZelStrHashmap *m = str_hashmap_new();
    str_hashmap_insert(m, k(same[0]), 1);
    str_hashmap_insert(m, k(same[1]), 2);
    EXPECT_EQ(str_hashmap_remove(m, k(same[0])), 1);
    EXPECT_EQ(str_hashmap_insert(m, k(same[1]), 3), 2);
    EXPECT_EQ(str_hashmap_len(m), 1);
    EXPECT_EQ(texts(str_hashmap_keys(m)), (std::vector<std::string>{same[1]}));
    str_hashmap_insert(m, k(same[2]), 4);  // into the deleted slot ahead of same[1]
    EXPECT_EQ(texts(str_hashmap_keys(m)), (std::vector<std::string>{same[2], same[1]}));

    // The handle shares the map's key records.
    int64_t h = zel_str_hashmap_keys(m);
    ZelVec *keys = str_hashmap_keys(m);
    EXPECT_EQ(zel_svec_len(h), 2);
    EXPECT_EQ(zel_svec_get(h, 1), reinterpret_cast<ZelString *>(keys->items[1]));
    zel_vec_free(keys);
    str_hashmap_free(m);

    m = str_hashmap_new();
    for (const char *t : {"b", "a", "ab"}) str_hashmap_insert(m, k(t), 0);
    EXPECT_EQ(handle_texts(zel_str_hashmap_sorted_keys(m)), (std::vector<std::string>{"a", "ab", "b"}));
    str_hashmap_free(m);
}

// Keys listed in table order: probe keys with home slots far apart (inserted
// first, so they sit at home) come out ordered by home slot, before and after growth.
std::vector<std::string> probe_order(const std::vector<std::string> &listed, const std::vector<std::string> &probes) {
    std::vector<std::string> r;
    for (const std::string &t : listed)
        if (std::find(probes.begin(), probes.end(), t) != probes.end()) r.push_back(t);
    return r;
}

std::vector<std::string> by_home(std::vector<std::string> probes, uint64_t mask) {
    std::sort(probes.begin(), probes.end(),
              [mask](const std::string &a, const std::string &b) { return (folded(a) & mask) < (folded(b) & mask); });
    return probes;
}

TEST(StrHashmap, KeysAgreeingInTheLowHashHalfAreToldApart) {
    // Two 16-byte keys whose folded hashes share the low 32 bits: one home slot
    // in every table up to 2^32 slots, so only their bytes tell them apart.
    std::unordered_map<uint32_t, std::string> seen;
    std::string a, b;
    char buf[17];
    for (int i = 0; b.empty(); ++i) {
        snprintf(buf, sizeof buf, "k%015d", i);
        auto [it, fresh] = seen.emplace(static_cast<uint32_t>(folded(buf)), buf);
        if (!fresh) a = it->second, b = buf;
    }
    Keys k;
    ZelStrHashmap *m = str_hashmap_new();
    str_hashmap_insert(m, k(a), 1);
    EXPECT_EQ(str_hashmap_get(m, k(b)), 0);
    str_hashmap_insert(m, k(b), 2);
    EXPECT_EQ(str_hashmap_len(m), 2);
    EXPECT_EQ(str_hashmap_get(m, k(a)), 1);
    EXPECT_EQ(str_hashmap_get(m, k(b)), 2);
    EXPECT_EQ(str_hashmap_remove(m, k(a)), 1);
    EXPECT_EQ(str_hashmap_get(m, k(b)), 2);
    str_hashmap_free(m);
}

TEST(StrHashmap, GrowthPointKeepsEveryEntry) {
    Keys k;
    std::vector<std::string> probes;
    for (int i = 0; probes.size() < 8; ++i) {
        std::string t = "p" + std::to_string(i);
        bool apart = true;
        for (const std::string &p : probes) {
            uint64_t a = folded(t) & 8191, b = folded(p) & 8191;
            apart = apart && (a > b ? a - b : b - a) > 200 && (a & 4095) != (b & 4095);
        }
        if (apart) probes.push_back(t);
    }
    ASSERT_NE(by_home(probes, 4095), by_home(probes, 8191));

    ZelStrHashmap *m = str_hashmap_new();
    for (const std::string &p : probes) str_hashmap_insert(m, k(p), -1);
    std::vector<ZelString *> keys;
    for (int i = 0; i < 5000; ++i) keys.push_back(k("key" + std::to_string(i)));
    for (int i = 0; i < 2860; ++i) str_hashmap_insert(m, keys[i], i);
    EXPECT_EQ(str_hashmap_len(m), 2868);
    EXPECT_EQ(m->capacity, 4096);
    EXPECT_EQ(probe_order(texts(str_hashmap_keys(m)), probes), by_home(probes, 4095));
    str_hashmap_insert(m, keys[0], 0);  // a replacing insert grows too
    EXPECT_EQ(m->capacity, 8192);
    EXPECT_EQ(probe_order(texts(str_hashmap_keys(m)), probes), by_home(probes, 8191));
    for (int i = 2860; i < 5000; ++i) str_hashmap_insert(m, keys[i], i);
    EXPECT_EQ(m->capacity, 8192);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(str_hashmap_get(m, k("key" + std::to_string(i))), i);
    for (const std::string &p : probes) EXPECT_EQ(str_hashmap_get(m, k(p)), -1);
    str_hashmap_free(m);
}

TEST(StrHashmap, ExhaustedMemory) {
    Keys k;
    for (int64_t skip : {0, 1}) {
        zt::FailAllocations fail(skip, 1);
        EXPECT_EQ(str_hashmap_new(), nullptr);
    }
    // Growth that fails carries on in the old table until it is full.
    ZelStrHashmap *m = str_hashmap_new();
    std::vector<ZelString *> keys;
    for (int i = 0; i < 4097; ++i) keys.push_back(k(std::to_string(i)));
    {
        zt::FailAllocations fail;
        for (int i = 0; i < 4097; ++i) str_hashmap_insert(m, keys[i], i + 1);
    }
    EXPECT_EQ(m->capacity, 4096);
    EXPECT_EQ(str_hashmap_len(m), 4096);
    EXPECT_EQ(str_hashmap_contains(m, keys[4096]), 0);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(str_hashmap_get(m, keys[i]), i + 1);
    str_hashmap_insert(m, keys[4096], 4097);
    EXPECT_EQ(m->capacity, 8192);
    EXPECT_EQ(str_hashmap_get(m, keys[4096]), 4097);

    // The key handles answer -1 when the pool cannot grow.
    while (g_svec_pool_len < g_svec_pool_cap) zel_svec_new();
    {
        zt::FailAllocations fail;
        EXPECT_EQ(zel_str_hashmap_keys(m), -1);
        EXPECT_EQ(zel_str_hashmap_sorted_keys(m), -1);
    }
    zt::ChildResult r = zt::run_child([m] {
        zel_svec_new();  // grows the pool, so that only the items fail
        zt::FailAllocations fail;
        zel_str_hashmap_keys(m);
        return 0;
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "[zel] FATAL: out of memory\n");
    str_hashmap_free(m);
}

}  // namespace
