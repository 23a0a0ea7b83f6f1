#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fail_alloc.h"
#include "support.h"

namespace {

using Texts = std::vector<std::string>;

uint64_t fnv(const std::string &k) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : k) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

// Calls op with a record of its own, released right after: the map keeps copies.
template <typename F>
int64_t with_key(const std::string &t, F op) {
    ZelString *s = zt::S(t);
    int64_t r = op(s);
    zel_string_free(s);
    return r;
}
int64_t get(ZelStrmap *m, const std::string &t) { return with_key(t, [m](ZelString *s) { return zel_strmap_get(m, s); }); }
void put(ZelStrmap *m, const std::string &t, int64_t v) {
    EXPECT_EQ(with_key(t, [m, v](ZelString *s) { return strmap_insert(m, s, v); }), 1);
}

Texts keys(ZelStrmap *m) {
    ZelVec *v = zel_strmap_keys(m);
    Texts r;
    for (int64_t i = 0; i < v->len; ++i) {
        auto *s = reinterpret_cast<ZelString *>(v->items[i]);
        EXPECT_EQ(s->cap, s->len);
        r.push_back(zt::str(s));
        zel_string_free(s);
    }
    zel_vec_free(v);
    return r;
}

TEST(Strmap, AnswersRefusalsAndZeroBytes) {
    ZelStrmap *m = zel_strmap_new();
    EXPECT_EQ(get(m, "a"), -1);
    EXPECT_EQ(with_key("a", [m](ZelString *s) { return zel_strmap_remove(m, s); }), 0);
    put(m, "a", 5);
    put(m, "a", 6);
    put(m, "", 7);
    EXPECT_EQ(zel_strmap_size(m), 2);
    EXPECT_EQ(get(m, "a"), 6);
    EXPECT_EQ(get(m, ""), 7);
    EXPECT_EQ(with_key("a", [m](ZelString *s) { return zel_strmap_remove(m, s); }), 6);
    EXPECT_EQ(with_key("a", [m](ZelString *s) { return strmap_contains(m, s); }), 0);

    ZelString hollow = {nullptr, 0, 0};
    EXPECT_EQ(zel_strmap_insert(m, &hollow, 1) | zel_strmap_insert(m, nullptr, 1) | zel_strmap_insert(nullptr, &hollow, 1) |
                  zel_strmap_contains(m, &hollow) | zel_strmap_remove(m, &hollow) | zel_strmap_size(nullptr),
              0);
    EXPECT_EQ(zel_strmap_get(m, &hollow), -1);
    EXPECT_EQ(zel_strmap_get(nullptr, nullptr), -1);
    EXPECT_EQ(keys(nullptr), Texts{});
    zel_strmap_free(nullptr);
    strmap_free(m);

    // Zero bytes are key bytes like any other.
    m = zel_strmap_new();
    Texts ks = {"a", std::string("a\0", 2), std::string("a\0b", 3), std::string("a\0c", 3), std::string("\0", 1)};
    for (size_t i = 0; i < ks.size(); ++i) put(m, ks[i], static_cast<int64_t>(i));
    for (size_t i = 0; i < ks.size(); ++i) EXPECT_EQ(get(m, ks[i]), static_cast<int64_t>(i));
    Texts listed = keys(m);
    std::sort(listed.begin(), listed.end());
    std::sort(ks.begin(), ks.end());
    EXPECT_EQ(listed, ks);
    zel_strmap_free(m);
}

TEST(Strmap, ChainsAndGrowth) {
    ZelStrmap *m = zel_strmap_new();
    EXPECT_EQ(m->nbuckets, 64);
    Texts pair;  // one bucket of 64 and of 128
    for (int i = 0; pair.size() < 2; ++i)
        if ((fnv("s" + std::to_string(i)) & 127) == (fnv("s0") & 127)) pair.push_back("s" + std::to_string(i));
    put(m, pair[0], 1);
    put(m, pair[1], 2);
    EXPECT_EQ(keys(m), (Texts{pair[1], pair[0]}));  // newest first
    ZelVec *values = zel_strmap_values(m);
    EXPECT_EQ(values->items[0], 2);
    zel_vec_free(values);

    for (int i = 0; zel_strmap_size(m) < 49; ++i) put(m, "f" + std::to_string(i), i);
    EXPECT_EQ(m->nbuckets, 64);
    put(m, pair[0], 1);  // a replacing insert grows too
    EXPECT_EQ(m->nbuckets, 128);
    // Each old chain is walked from its head onto the new heads: the pair turns round.
    Texts order;
    for (const std::string &t : keys(m))
        if (t[0] == 's') order.push_back(t);
    EXPECT_EQ(order, pair);
    for (int i = 0; i < 47; ++i) EXPECT_EQ(get(m, "f" + std::to_string(i)), i);
    for (int i = 0; i < 20000; ++i) put(m, "g" + std::to_string(i), i);
    EXPECT_EQ(m->nbuckets, 32768);
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(get(m, "g" + std::to_string(i)), i);
    zel_strmap_free(m);
}

TEST(Strmap, ExhaustedMemoryEndsTheProcess) {
    ZelStrmap *m = zel_strmap_new();
    put(m, "key", 1);
    ZelString *other = zt::S("other");
    std::function<void()> cases[] = {
        [] { zel_strmap_new(); },
        [&] { zel_strmap_insert(m, other, 1); },
        [&] { zel_strmap_keys(m); },
    };
    for (auto &fn : cases) {
        zt::ChildResult r = zt::run_child([&] {
            zt::FailAllocations fail;
            fn();
            return 0;
        });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "[zel] FATAL: out of memory\n");
    }
    zel_string_free(other);
    zel_strmap_free(m);
}

}  // namespace
