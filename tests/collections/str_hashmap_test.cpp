#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "fail_alloc.h"
#include "support.h"

namespace {

using Texts = std::vector<std::string>;

uint64_t folded(const std::string &k) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : k) h = (h ^ c) * 0x100000001b3ull;
    return h ^ (h >> 32);
}

// Key records for one test; the map holds them by pointer.
struct Keys {
    std::vector<ZelString *> held;
    ~Keys() {
        for (ZelString *s : held) zel_string_free(s);
    }
    ZelString *operator()(const std::string &t) { return held.emplace_back(zt::S(t)); }
};

Texts texts(ZelVec *v) {
    Texts r;
    for (int64_t i = 0; i < v->len; ++i) r.push_back(zt::str(reinterpret_cast<ZelString *>(v->items[i])));
    zel_vec_free(v);
    return r;
}

TEST(StrHashmap, KeysAndAnswers) {
    Keys k;
    ZelStrHashmap *m = zel_str_hashmap_new();
    EXPECT_EQ(m->capacity, 4096);
    ZelString *first = k("alpha");
    EXPECT_EQ(str_hashmap_insert(m, first, 1), 0);
    EXPECT_EQ(zel_str_hashmap_insert(m, k("alpha"), 2), 1);  // equal bytes: the same key
    EXPECT_EQ(zel_str_hashmap_update(m, k("alpha"), 3), 0);
    ZelVec *keys = str_hashmap_keys(m);
    EXPECT_EQ(keys->items[0], reinterpret_cast<int64_t>(first));  // the first record stays
    zel_vec_free(keys);
    str_hashmap_insert(m, k("zero"), 0);
    EXPECT_EQ(str_hashmap_get(m, k("beta")), 0);
    EXPECT_EQ(str_hashmap_contains(m, k("zero")), 1);
    EXPECT_EQ(str_hashmap_contains(m, k("beta")), 0);
    str_hashmap_insert(m, nullptr, 10);  // null and empty keys are two keys
    str_hashmap_insert(m, k(""), 20);
    EXPECT_EQ(str_hashmap_get(m, k(std::string("alpha\0", 6))), 0);
    zel_str_hashmap_inc(m, k("n"), 1);
    zel_str_hashmap_inc(m, k("n"), 1);
    EXPECT_EQ(zel_str_hashmap_get(m, k("n")), 2);
    zel_str_hashmap_inc(m, k("n"), INT64_MAX);
    std::pair<ZelString *, int64_t> stored[] = {
        {k("alpha"), 3}, {k("zero"), 0}, {k(""), 20}, {nullptr, 10}, {k("n"), INT64_MIN + 1}, {k("alpha"), 0}};
    for (auto [key, v] : stored) EXPECT_EQ(zel_str_hashmap_remove(m, key), v) << zt::str(key);
    EXPECT_EQ(zel_str_hashmap_len(m), 0);
    ZelVec *values = zel_str_hashmap_values(m);
    EXPECT_EQ(values->len, 0);
    zel_vec_free(values);
    EXPECT_EQ(zel_svec_len(zel_str_hashmap_keys(m)), 0);
    EXPECT_EQ(zel_str_hashmap_free(m), 0);

    EXPECT_EQ(str_hashmap_insert(nullptr, first, 1) | zel_str_hashmap_inc(nullptr, first, 1) |
                  str_hashmap_get(nullptr, first) | str_hashmap_len(nullptr) | zel_str_hashmap_free(nullptr),
              0);
    EXPECT_EQ(texts(str_hashmap_keys(nullptr)), Texts{});
    EXPECT_EQ(zel_svec_len(zel_str_hashmap_sorted_keys(nullptr)), 0);
}

TEST(StrHashmap, CollisionsAndListings) {
    Keys k;
    Texts same;  // one home slot, in probe order
    for (int i = 0; same.size() < 3; ++i)
        if ((folded("k" + std::to_string(i)) & 4095) == (folded("k0") & 4095)) same.push_back("k" + std::to_string(i));
    ZelStrHashmap *m = str_hashmap_new();
    str_hashmap_insert(m, k(same[0]), 1);
    str_hashmap_insert(m, k(same[1]), 2);
    EXPECT_EQ(str_hashmap_remove(m, k(same[0])), 1);
    EXPECT_EQ(str_hashmap_insert(m, k(same[1]), 3), 2);
    EXPECT_EQ(texts(str_hashmap_keys(m)), Texts{same[1]});
    str_hashmap_insert(m, k(same[2]), 4);  // into the deleted slot ahead of same[1]
    EXPECT_EQ(texts(str_hashmap_keys(m)), (Texts{same[2], same[1]}));
    int64_t h = zel_str_hashmap_keys(m);  // shares the map's key records
    EXPECT_EQ(zel_svec_get(h, 1), k.held[1]);
    str_hashmap_free(m);

    m = str_hashmap_new();
    for (const char *t : {"b", "a", "ab"}) str_hashmap_insert(m, k(t), 0);
    h = zel_str_hashmap_sorted_keys(m);
    Texts sorted;
    for (int64_t i = 0; i < zel_svec_len(h); ++i) sorted.push_back(zt::str(zel_svec_get(h, i)));
    EXPECT_EQ(sorted, (Texts{"a", "ab", "b"}));
    str_hashmap_free(m);
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
    EXPECT_EQ(str_hashmap_contains(m, k(b)), 0);
    str_hashmap_insert(m, k(b), 2);
    EXPECT_EQ(str_hashmap_remove(m, k(a)), 1);
    EXPECT_EQ(str_hashmap_get(m, k(b)), 2);
    str_hashmap_free(m);
}

// Probe keys inserted first sit at their home slots; far apart, they stay in
// home-slot order in the listings, before growth and after it.
Texts by_home(Texts t, uint64_t mask) {
    std::sort(t.begin(), t.end(), [mask](auto &a, auto &b) { return (folded(a) & mask) < (folded(b) & mask); });
    return t;
}

TEST(StrHashmap, GrowthPointKeepsEveryEntryAndReordersListings) {
    Texts probes;
    for (int i = 0; probes.size() < 8; ++i) {
        std::string t = "p" + std::to_string(i);
        uint64_t a = folded(t) & 8191;
        if (std::all_of(probes.begin(), probes.end(), [a](auto &p) {
                uint64_t b = folded(p) & 8191;
                return (a > b ? a - b : b - a) > 200 && (a & 4095) != (b & 4095);
            }))
            probes.push_back(t);
    }
    ASSERT_NE(by_home(probes, 4095), by_home(probes, 8191));
    auto listed_probes = [&](ZelStrHashmap *m) {
        Texts r;
        for (const std::string &t : texts(str_hashmap_keys(m)))
            if (t[0] == 'p') r.push_back(t);
        return r;
    };
    Keys k;
    ZelStrHashmap *m = str_hashmap_new();
    for (const std::string &p : probes) str_hashmap_insert(m, k(p), -1);
    for (int i = 0; i < 2860; ++i) str_hashmap_insert(m, k("key" + std::to_string(i)), i);
    EXPECT_EQ(str_hashmap_len(m), 2868);
    EXPECT_EQ(m->capacity, 4096);
    EXPECT_EQ(listed_probes(m), by_home(probes, 4095));
    str_hashmap_insert(m, k("key0"), 0);  // a replacing insert grows too
    EXPECT_EQ(m->capacity, 8192);
    EXPECT_EQ(listed_probes(m), by_home(probes, 8191));
    for (int i = 0; i < 2860; ++i) ASSERT_EQ(str_hashmap_get(m, k("key" + std::to_string(i))), i);
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
    for (int i = 0; i < 4097; ++i) k(std::to_string(i));
    {
        zt::FailAllocations fail;
        for (int i = 0; i < 4097; ++i) str_hashmap_insert(m, k.held[i], i + 1);
    }
    EXPECT_EQ(m->capacity, 4096);
    EXPECT_EQ(str_hashmap_len(m), 4096);
    EXPECT_EQ(str_hashmap_contains(m, k.held[4096]), 0);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(str_hashmap_get(m, k.held[i]), i + 1);
    str_hashmap_insert(m, k.held[4096], 4097);
    EXPECT_EQ(m->capacity, 8192);
    EXPECT_EQ(str_hashmap_get(m, k.held[4096]), 4097);

    while (g_svec_pool_len < g_svec_pool_cap) zel_svec_new();
    {
        zt::FailAllocations fail;  // no room for another handle
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
