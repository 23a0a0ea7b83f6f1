#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collections/fail_alloc.h"
#include "support.h"

namespace {

using zt::S;
using zt::str;

uint64_t fnv(const std::string &k) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : k) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

// Looks a key up through a record of its own, released right after.
int64_t get(ZelStrmap *m, const std::string &t) {
    ZelString *s = S(t);
    int64_t v = zel_strmap_get(m, s);
    zel_string_free(s);
    return v;
}

void put(ZelStrmap *m, const std::string &t, int64_t v) {
    ZelString *s = S(t);
    EXPECT_EQ(strmap_insert(m, s, v), 1);
    zel_string_free(s);
}

std::vector<std::string> keys(ZelStrmap *m) {
    ZelVec *v = zel_strmap_keys(m);
    std::vector<std::string> r;
    for (int64_t i = 0; i < v->len; ++i) {
        auto *s = reinterpret_cast<ZelString *>(v->items[i]);
        EXPECT_EQ(s->cap, s->len);
        r.push_back(str(s));
        zel_string_free(s);
    }
    zel_vec_free(v);
    return r;
}

// Keys that share a bucket under `mask`, and under `mask` * 2 + 1 as well.
std::vector<std::string> same_bucket(int n, uint64_t mask) {
    std::vector<std::string> r;
    uint64_t want = fnv("s0") & (mask * 2 + 1);
    for (int i = 0; static_cast<int>(r.size()) < n; ++i)
        if ((fnv("s" + std::to_string(i)) & (mask * 2 + 1)) == want) r.push_back("s" + std::to_string(i));
    return r;
}

TEST(Strmap, AnswersAndRefusals) {
    ZelStrmap *m = zel_strmap_new();
    EXPECT_EQ(m->nbuckets, 64);
    EXPECT_EQ(get(m, "a"), -1);
    ZelString *a = S("a");
    EXPECT_EQ(zel_strmap_remove(m, a), 0);
    put(m, "a", 5);
    put(m, "a", 6);
    EXPECT_EQ(zel_strmap_size(m), 1);
    EXPECT_EQ(get(m, "a"), 6);
    put(m, "", 7);
    EXPECT_EQ(get(m, ""), 7);
    EXPECT_EQ(zel_strmap_contains(m, a), 1);
    EXPECT_EQ(zel_strmap_remove(m, a), 6);
    EXPECT_EQ(strmap_contains(m, a), 0);
    EXPECT_EQ(strmap_size(m), 1);

    ZelString hollow = {nullptr, 0, 0};
    EXPECT_EQ(zel_strmap_insert(m, &hollow, 1), 0);
    EXPECT_EQ(zel_strmap_insert(m, nullptr, 1), 0);
    EXPECT_EQ(zel_strmap_insert(nullptr, a, 1), 0);
    EXPECT_EQ(zel_strmap_get(m, &hollow), -1);
    EXPECT_EQ(zel_strmap_contains(m, nullptr), 0);
    EXPECT_EQ(zel_strmap_remove(m, &hollow), 0);
    EXPECT_EQ(zel_strmap_size(m), 1);
    EXPECT_EQ(zel_strmap_size(nullptr), 0);
    EXPECT_EQ(zel_strmap_get(nullptr, a), -1);
    EXPECT_EQ(keys(nullptr), std::vector<std::string>{});
    zel_strmap_free(nullptr);
    zel_string_free(a);
    strmap_free(m);
}

TEST(Strmap, ZeroBytesAreKeyBytes) {
    ZelStrmap *m = zel_strmap_new();
    const std::string ks[] = {"a", std::string("a\0", 2), std::string("a\0b", 3), std::string("a\0c", 3),
                              std::string("\0", 1)};
    for (int i = 0; i < 5; ++i) put(m, ks[i], i);
    EXPECT_EQ(zel_strmap_size(m), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(get(m, ks[i]), i);
    std::vector<std::string> listed = keys(m);
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> want(ks, ks + 5);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(listed, want);
    zel_strmap_free(m);
}

TEST(Strmap, ChainsAndGrowth) {
    ZelStrmap *m = zel_strmap_new();
    EXPECT_EQ(keys(m), std::vector<std::string>{});
    std::vector<std::string> pair = same_bucket(2, 63);  // also one bucket of 128
    put(m, pair[0], 1);
    put(m, pair[1], 2);
    EXPECT_EQ(keys(m), (std::vector<std::string>{pair[1], pair[0]}));  // newest first
    ZelVec *values = zel_strmap_values(m);
    EXPECT_EQ(values->items[0], 2);
    zel_vec_free(values);

    for (int i = 0; zel_strmap_size(m) < 49; ++i) put(m, "f" + std::to_string(i), i);
    EXPECT_EQ(m->nbuckets, 64);
    put(m, pair[0], 1);  // a replacing insert grows too
    EXPECT_EQ(m->nbuckets, 128);
    // Growth walks each old chain from its head and pushes onto the new heads.
    std::vector<std::string> order;
    for (const std::string &t : keys(m))
        if (t == pair[0] || t == pair[1]) order.push_back(t);
    EXPECT_EQ(order, (std::vector<std::string>{pair[0], pair[1]}));
    for (int i = 0; i < 47; ++i) EXPECT_EQ(get(m, "f" + std::to_string(i)), i);
    EXPECT_EQ(get(m, pair[1]), 2);

    for (int i = 0; i < 20000; ++i) put(m, "g" + std::to_string(i), i);
    EXPECT_EQ(m->nbuckets, 32768);
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(get(m, "g" + std::to_string(i)), i);
    zel_strmap_free(m);
}

TEST(Strmap, ExhaustedMemoryEndsTheProcess) {
    auto fatal = [](std::function<void()> fn) {
        zt::ChildResult r = zt::run_child([&] {
            fn();
            return 0;
        });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "[zel] FATAL: out of memory\n");
    };
    fatal([] {
        zt::FailAllocations fail;
        zel_strmap_new();
    });
    fatal([] {
        ZelStrmap *m = zel_strmap_new();
        ZelString *k = S("key");
        zt::FailAllocations fail;
        zel_strmap_insert(m, k, 1);
    });
    fatal([] {
        ZelStrmap *m = zel_strmap_new();
        put(m, "key", 1);
        zt::FailAllocations fail(1);  // the vector's record, then its storage
        zel_strmap_keys(m);
    });
}

}  // namespace
